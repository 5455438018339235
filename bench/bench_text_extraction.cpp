// Raw + filtered text extraction throughput on 50 MB images, beside a memcpy of the same bytes
// as the machine's baseline. Run: build/bench/bench_text_extraction
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "core/text_extraction.h"

namespace {

constexpr size_t kSize = 50u << 20;

// Short runs separated by two non-text bytes: nothing ever qualifies, so a rescanning
// extraction would read the file once for every threshold.
std::vector<uint8_t> noQualifyingRun() {
    std::vector<uint8_t> v(kSize);
    std::mt19937 rng(1);
    for (size_t i = 0; i < kSize; ++i)
        v[i] = (i % 7 < 5) ? static_cast<uint8_t>('a' + rng() % 26) : 0;
    return v;
}

// Body text: paragraphs of about 2 KB ending in CR, between pairs of zero bytes.
std::vector<uint8_t> documentText() {
    std::vector<uint8_t> v;
    v.reserve(kSize);
    const char* words = "the quick brown fox jumps over the lazy dog ";
    while (v.size() < kSize) {
        for (int k = 0; k < 46; ++k)
            for (const char* w = words; *w; ++w)
                v.push_back(static_cast<uint8_t>(*w));
        v.push_back('\r');
        v.push_back(0);
        v.push_back(0);
    }
    v.resize(kSize);
    return v;
}

void runExtraction(benchmark::State& state, const std::vector<uint8_t>& image) {
    morvel::RecoveryEnvironment env;
    for (auto _ : state) {
        state.PauseTiming();
        morvel::DocumentRecord rec;
        rec.fileData = image;
        rec.fileSize = static_cast<uint32_t>(image.size());
        state.ResumeTiming();
        morvel::ExtractRawText(rec, env);
        morvel::ExtractFilteredText(rec, env);
        benchmark::DoNotOptimize(rec.filteredLength);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

void BM_Extract_NoQualifyingRun(benchmark::State& state) {
    static const auto image = noQualifyingRun();
    runExtraction(state, image);
}

void BM_Extract_DocumentText(benchmark::State& state) {
    static const auto image = documentText();
    runExtraction(state, image);
}

void BM_Baseline_Memcpy(benchmark::State& state) {
    static const auto image = documentText();
    std::vector<uint8_t> copy(image.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), image.data(), image.size());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

}  // namespace

BENCHMARK(BM_Extract_NoQualifyingRun)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Extract_DocumentText)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Baseline_Memcpy)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK_MAIN();
