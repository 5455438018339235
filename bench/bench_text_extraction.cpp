// Raw + filtered text extraction throughput on 64 MB images, beside a memcpy of the same bytes
// as the machine's baseline, on 8-bit text, on UTF-16LE text (most Word 97 and later files)
// and on a file where no run ever qualifies. Also the illegal UTF-16 test over 64 MB against
// the plain one-unit-at-a-time loop. Each figure is the median of five runs.
// Run: build/bench/bench_text_extraction
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "core/text_extraction.h"
#include "platform/windows1252.h"

namespace {

constexpr size_t kSize = 64u << 20;

// Short runs separated by two non-text bytes: nothing ever qualifies, so a rescanning
// extraction would read the file once for every threshold.
std::vector<uint8_t> noQualifyingRun() {
    std::vector<uint8_t> v(kSize);
    std::mt19937 rng(1);
    for (size_t i = 0; i < kSize; ++i)
        v[i] = (i % 7 < 5) ? static_cast<uint8_t>('a' + rng() % 26) : 0;
    return v;
}

// Body text: paragraphs of about 2 KB ending in CR, between pairs of zero bytes; with `wide`,
// each character is a UTF-16LE unit (its zero high byte follows it).
std::vector<uint8_t> documentText(bool wide) {
    std::vector<uint8_t> v;
    v.reserve(kSize);
    const char* words = "the quick brown fox jumps over the lazy dog ";
    auto put = [&](uint8_t c) {
        v.push_back(c);
        if (wide)
            v.push_back(0);
    };
    while (v.size() < kSize) {
        for (int k = 0; k < 46; ++k)
            for (const char* w = words; *w; ++w)
                put(static_cast<uint8_t>(*w));
        put('\r');
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

void BM_Extract_DocumentText8Bit(benchmark::State& state) {
    static const auto image = documentText(false);
    runExtraction(state, image);
}

void BM_Extract_DocumentTextUtf16(benchmark::State& state) {
    static const auto image = documentText(true);
    runExtraction(state, image);
}

void BM_Baseline_Memcpy(benchmark::State& state) {
    static const auto image = documentText(false);
    std::vector<uint8_t> copy(image.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), image.data(), image.size());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

void BM_HoldsIllegalUtf16(benchmark::State& state) {
    static const auto image = documentText(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(morvel::holdsIllegalUtf16(image));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

// The same test one unit at a time, as the baseline the vectorised one is measured against.
[[gnu::noinline]] bool illegalUnitByUnit(const std::vector<uint8_t>& chunk) {
    for (size_t i = 0; i + 1 < chunk.size(); i += 2) {
        const uint16_t unit = static_cast<uint16_t>(chunk[i] | (chunk[i + 1] << 8));
        if (unit == 0xFFFF || unit == 0xFFFE || unit == 0x0A0D)
            return true;
    }
    return false;
}

void BM_Baseline_IllegalUtf16UnitByUnit(benchmark::State& state) {
    static const auto image = documentText(true);
    for (auto _ : state)
        benchmark::DoNotOptimize(illegalUnitByUnit(image));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

void fiveRuns(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->MinTime(0.3)->Repetitions(5)->ReportAggregatesOnly(true);
}

}  // namespace

BENCHMARK(BM_Extract_NoQualifyingRun)->Apply(fiveRuns);
BENCHMARK(BM_Extract_DocumentText8Bit)->Apply(fiveRuns);
BENCHMARK(BM_Extract_DocumentTextUtf16)->Apply(fiveRuns);
BENCHMARK(BM_Baseline_Memcpy)->Apply(fiveRuns);
BENCHMARK(BM_HoldsIllegalUtf16)->Apply(fiveRuns);
BENCHMARK(BM_Baseline_IllegalUtf16UnitByUnit)->Apply(fiveRuns);
BENCHMARK_MAIN();
