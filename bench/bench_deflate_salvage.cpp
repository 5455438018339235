// Damaged-stream decoding against plain zlib inflate on the same data, in the same run:
//   clean:   a 1 MB markup stream decoded whole (the cost of the checks on good data);
//   damaged: the same stream with 8 bytes flipped in the middle (detection and resync);
//   random:  1 MB of random bytes, where the block-start search probes every bit;
//   zeros:   1 MB of zero bytes.
// Bytes processed are compressed input bytes, so the rates read as time per MB of input.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "docx/deflate_salvage.h"
#include "tests/support/zip_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The samples are deflated at zlib's default level, as word processors write them.
constexpr int kSampleLevel = 6;

uint32_t nextRandom(uint32_t& v) {
    v = v * 1103515245u + 12345u;
    return v >> 8;
}

Bytes markup(size_t size) {
    uint32_t v = 1;
    std::vector<std::string> words;
    for (int i = 0; i < 20000; ++i) {
        std::string w;
        for (uint32_t n = 2 + nextRandom(v) % 8; n > 0; --n)
            w += static_cast<char>('a' + nextRandom(v) % 26);
        words.push_back(w);
    }
    std::string xml = "<?xml version=\"1.0\"?>\n<w:document><w:body>";
    while (xml.size() < size) {
        xml +=
            "<w:p w:rsidR=\"00" + std::to_string(100000 + nextRandom(v) % 900000) + "\"><w:r><w:t>";
        for (uint32_t n = 5 + nextRandom(v) % 40; n > 0; --n)
            xml += words[(nextRandom(v) % 20000) * (nextRandom(v) % 20000) / 20000] + " ";
        xml += "</w:t></w:r></w:p>\n";
    }
    xml += "</w:body></w:document>";
    return Bytes(xml.begin(), xml.end());
}

// Compressed stream of about 1 MB.
const Bytes& cleanStream() {
    static const Bytes stream = morvel::test::deflateRaw(markup(3u << 20), kSampleLevel);
    return stream;
}

const Bytes& damagedStream() {
    static const Bytes stream = [] {
        Bytes s = cleanStream();
        for (size_t i = s.size() / 2; i < s.size() / 2 + 8; ++i)
            s[i] ^= 0x5A;
        return s;
    }();
    return stream;
}

const Bytes& randomBytes() {
    static const Bytes bytes = [] {
        Bytes b(1u << 20);
        uint32_t v = 99;
        for (uint8_t& x : b)
            x = static_cast<uint8_t>(nextRandom(v));
        return b;
    }();
    return bytes;
}

const Bytes& zeroBytes() {
    static const Bytes bytes(1u << 20, 0);
    return bytes;
}

void salvage(benchmark::State& state, const Bytes& in) {
    size_t out = 0;
    for (auto _ : state) {
        const morvel::SalvagedStream r = morvel::inflateDamaged(
            morvel::ByteSpan(in.data(), static_cast<uint32_t>(in.size())), UINT64_MAX);
        out = r.bytes.size();
        benchmark::DoNotOptimize(r.bytes.data());
    }
    state.counters["out_bytes"] = static_cast<double>(out);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

void BM_SalvageClean(benchmark::State& state) {
    salvage(state, cleanStream());
}
void BM_SalvageDamaged(benchmark::State& state) {
    salvage(state, damagedStream());
}
void BM_SalvageRandom(benchmark::State& state) {
    salvage(state, randomBytes());
}
void BM_SalvageZeros(benchmark::State& state) {
    salvage(state, zeroBytes());
}

// Baseline: plain zlib inflate of the clean stream.
void BM_ZlibInflateClean(benchmark::State& state) {
    const Bytes& in = cleanStream();
    Bytes out(8u << 20);
    for (auto _ : state) {
        z_stream s{};
        inflateInit2(&s, -15);
        s.next_in = const_cast<Bytef*>(in.data());
        s.avail_in = static_cast<uInt>(in.size());
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(out.size());
        inflate(&s, Z_FINISH);
        benchmark::DoNotOptimize(s.total_out);
        inflateEnd(&s);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

BENCHMARK(BM_ZlibInflateClean)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SalvageClean)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SalvageDamaged)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SalvageRandom)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SalvageZeros)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
