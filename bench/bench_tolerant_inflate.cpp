// Tolerant inflate of a 20 MB XML stream, clean and with flipped bytes, against zlib's inflate
// of the same clean stream (the baseline).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "docx/tolerant_inflate.h"
#include "tests/support/zip_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The samples are deflated at zlib's default level, as word processors write them.
constexpr int kSampleLevel = 6;

constexpr size_t kXmlSize = 20u << 20;
constexpr uint64_t kCap = 64u << 20;

// Document-like XML: paragraphs of runs holding words drawn from a few thousand made-up ones.
Bytes documentXml(size_t size) {
    std::mt19937 rng(1);
    const char* syllables[] = {"ka", "lo", "mi",  "ne", "su", "tor", "vel", "qua",
                               "ri", "de", "mar", "so", "pe", "fé",  "zü",  "ex"};
    std::vector<std::string> vocab(4000);
    for (std::string& w : vocab)
        for (int k = 0, n = 1 + static_cast<int>(rng() % 4); k < n; ++k)
            w += syllables[rng() % 16];
    std::string x = "<?xml version=\"1.0\"?><w:document><w:body>";
    while (x.size() < size) {
        x += "<w:p><w:pPr><w:spacing w:after=\"" + std::to_string(rng() % 300) +
             "\"/></w:pPr><w:r><w:t xml:space=\"preserve\">";
        for (int k = 0, n = 5 + static_cast<int>(rng() % 20); k < n; ++k)
            x += vocab[rng() % vocab.size() * (rng() % 4 + 1) / 4] + " ";
        x += "</w:t></w:r></w:p>";
    }
    x += "</w:body></w:document>";
    return Bytes(x.begin(), x.end());
}

struct Streams {
    Bytes xml, clean, damaged;
};

const Streams& streams() {
    static const Streams s = [] {
        Streams t;
        t.xml = documentXml(kXmlSize);
        t.clean = morvel::test::deflateRaw(t.xml, kSampleLevel);
        t.damaged = t.clean;
        std::mt19937 rng(2);
        for (int i = 0; i < 64; ++i)
            t.damaged[1000 + rng() % (t.damaged.size() - 1000)] ^= 0x5A;
        return t;
    }();
    return s;
}

void BM_ZlibInflate(benchmark::State& state) {
    const Streams& s = streams();
    Bytes out(s.xml.size());
    for (auto _ : state) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef*>(s.clean.data());
        z.avail_in = static_cast<uInt>(s.clean.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END)
            state.SkipWithError("zlib failed");
        inflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.xml.size()));
}
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Clean stream; arg 0 binary mode, 1 text mode (markup checks on).
void BM_TolerantClean(benchmark::State& state) {
    const Streams& s = streams();
    const morvel::ByteSpan in(s.clean.data(), static_cast<uint32_t>(s.clean.size()));
    for (auto _ : state) {
        morvel::TolerantResult r = morvel::inflateTolerant(in, kCap, state.range(0) != 0);
        if (r.bytes.size() != s.xml.size())
            state.SkipWithError("output differs");
        benchmark::DoNotOptimize(r.bytes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.xml.size()));
}
BENCHMARK(BM_TolerantClean)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// 64 bytes flipped across the stream, text mode; throughput counted on the clean size.
void BM_TolerantDamaged(benchmark::State& state) {
    const Streams& s = streams();
    const morvel::ByteSpan in(s.damaged.data(), static_cast<uint32_t>(s.damaged.size()));
    uint32_t events = 0;
    for (auto _ : state) {
        morvel::TolerantResult r = morvel::inflateTolerant(in, kCap, true);
        events = r.damageEvents;
        benchmark::DoNotOptimize(r.bytes.data());
    }
    state.counters["damage_events"] = events;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.xml.size()));
}
BENCHMARK(BM_TolerantDamaged)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
