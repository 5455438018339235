// Salvage of a 100 MB compound file whose header is zeroed, against a single memchr pass
// over the same image (the cost of reading the bytes once).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "doc/doc_salvage.h"
#include "platform/compound_file_writer.h"

namespace {

std::vector<uint8_t> letters(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = static_cast<uint8_t>('a' + (seed >> 16) % 26);
    }
    return out;
}

const std::vector<uint8_t>& damagedImage() {
    static const std::vector<uint8_t> image = [] {
        morvel::CompoundFileWriter w;
        w.root().setClass(morvel::kWordDocumentClassId);
        std::vector<uint8_t> word = letters(100u << 20, 1);
        word[0] = 0xEC, word[1] = 0xA5, word[2] = 0xC1, word[3] = 0;
        w.root().createStream("WordDocument").write(word);
        w.root().createStream("1Table").write(letters(20000, 2));
        w.root().createStream("Data").write(letters(3000, 3));
        std::vector<uint8_t> file = w.serialize();
        std::memset(file.data(), 0, 512);
        return file;
    }();
    return image;
}

void BM_SalvageZeroedHeader(benchmark::State& state) {
    const std::vector<uint8_t>& image = damagedImage();
    for (auto _ : state) {
        morvel::DocContext ctx;
        morvel::DocSalvage s = morvel::SalvageDocFile(image, ctx);
        if (s.result != morvel::kSalvageReadable || !s.storage->table1()) {
            state.SkipWithError("salvage failed");
            break;
        }
        benchmark::DoNotOptimize(s.storage->table1());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(BM_SalvageZeroedHeader)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Baseline: one memchr over the image for a byte it does not hold.
void BM_MemchrBaseline(benchmark::State& state) {
    const std::vector<uint8_t>& image = damagedImage();
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memchr(image.data(), 0xFE, image.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(BM_MemchrBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
