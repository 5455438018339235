#include "docx/deflate_salvage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "docx/deflate_salvage_probe.h"

namespace morvel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kNoCap = UINT64_MAX;

// The time bound catches a search that grows faster than its input, not slow machines; the
// sanitizers slow everything down several times, so the bound grows with them.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kHostileSeconds = 30.0;
#else
constexpr double kHostileSeconds = 5.0;
#endif

// Pseudo-random numbers of our own so the fixtures are the same on every machine.
struct Lcg {
    uint32_t v;
    uint32_t next() {
        v = v * 1103515245u + 12345u;
        return v >> 8;
    }
};

// WordprocessingML-like markup of about `paragraphs` paragraphs: words of a vocabulary of
// 20000 made-up words, drawn with a Zipf-like skew as in real prose, so the stream runs to
// many deflate blocks.
std::string makeXml(uint32_t paragraphs, uint32_t seed = 1) {
    constexpr uint32_t kVocabulary = 20000;
    Lcg rng{seed};
    std::vector<std::string> words;
    for (uint32_t i = 0; i < kVocabulary; ++i) {
        std::string w;
        for (uint32_t n = 2 + rng.next() % 8; n > 0; --n)
            w += static_cast<char>('a' + rng.next() % 26);
        words.push_back(w);
    }
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document><w:body>";
    for (uint32_t p = 0; p < paragraphs; ++p) {
        xml += "<w:p w:rsidR=\"00" + std::to_string(100000 + rng.next() % 900000) + "\"><w:r><w:t>";
        for (uint32_t n = 5 + rng.next() % 40; n > 0; --n) {
            // log-uniform rank: word k is drawn about 1/k as often as the first
            const double u = (rng.next() % 100000) / 100000.0;
            xml += words[static_cast<uint32_t>(std::pow(kVocabulary, u)) - 1];
            xml += n == 1 ? "." : " ";
        }
        xml += "</w:t></w:r></w:p>\n";
    }
    return xml + "</w:body></w:document>";
}

Bytes deflateAt(const Bytes& plain, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream s{};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&s, plain.size()) + 64);
    s.next_in = const_cast<Bytef*>(plain.data());
    s.avail_in = static_cast<uInt>(plain.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// Plain zlib over the data: what it gives before its first error, and each block boundary
// as (bit position, output offset).
struct PlainInflate {
    Bytes out;
    std::vector<std::pair<uint64_t, size_t>> boundaries;
};

PlainInflate plainInflate(const Bytes& data) {
    PlainInflate r;
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    uint8_t buf[4096];
    for (;;) {
        s.next_out = buf;
        s.avail_out = sizeof buf;
        const int rc = inflate(&s, Z_BLOCK);
        r.out.insert(r.out.end(), buf, buf + (sizeof buf - s.avail_out));
        if (rc != Z_OK)
            break;
        if (s.data_type & 128)
            r.boundaries.emplace_back(s.total_in * 8 - (s.data_type & 63), r.out.size());
        else if (s.avail_in == 0 && s.avail_out != 0)
            break;
    }
    inflateEnd(&s);
    return r;
}

SalvagedStream salvage(const Bytes& data, uint64_t cap = kNoCap) {
    return resumeAtBlocks(ByteSpan(data.data(), static_cast<uint32_t>(data.size())), cap);
}

std::vector<std::string> wordsOf(const uint8_t* p, size_t n) {
    std::vector<std::string> words;
    std::string w;
    for (size_t i = 0; i <= n; ++i) {
        if (i < n && std::isalnum(p[i])) {
            w += static_cast<char>(p[i]);
        } else if (!w.empty()) {
            words.push_back(w);
            w.clear();
        }
    }
    return words;
}

// Share of the original's words from `from` on that the output holds in the same order,
// matched in runs of kRun words so stray noise cannot pass for text.
double shareFoundInOrder(const Bytes& original, size_t from, const Bytes& output) {
    constexpr size_t kRun = 6;
    const auto want = wordsOf(original.data() + from, original.size() - from);
    const auto have = wordsOf(output.data(), output.size());
    auto runAt = [](const std::vector<std::string>& w, size_t i) {
        std::string key;
        for (size_t k = 0; k < kRun; ++k)
            key += w[i + k] + ' ';
        return key;
    };
    std::unordered_map<std::string, std::vector<size_t>> where;
    for (size_t i = 0; i + kRun <= have.size(); ++i)
        where[runAt(have, i)].push_back(i);
    size_t found = 0, cursor = 0;
    for (size_t j = 0; j + kRun <= want.size();) {
        auto it = where.find(runAt(want, j));
        if (it != where.end()) {
            auto next = std::lower_bound(it->second.begin(), it->second.end(), cursor);
            if (next != it->second.end()) {
                found += kRun;
                cursor = *next + kRun;
                j += kRun;
                continue;
            }
        }
        ++j;
    }
    return want.empty() ? 1.0 : static_cast<double>(found) / static_cast<double>(want.size());
}

// True when `part` appears in `whole` (from `from` on) in order, with gaps allowed.
bool isSubsequence(const Bytes& part, const Bytes& whole, size_t from) {
    size_t j = from;
    for (uint8_t b : part) {
        while (j < whole.size() && whole[j] != b)
            ++j;
        if (j == whole.size())
            return false;
        ++j;
    }
    return true;
}

// Output offset where the first block starting at or after bit `bit` begins.
size_t blockOutputAfter(const PlainInflate& clean, uint64_t bit) {
    for (const auto& [pos, out] : clean.boundaries)
        if (pos >= bit)
            return out;
    return clean.out.size();
}

struct Damage {
    const char* name;
    double at;      // where it starts, as a share of the compressed size
    size_t length;  // bytes damaged
    bool zeroFill;  // zeros instead of flipped bits
    bool cutOff;    // the stream ends at `at`
};

class DamagedXml : public ::testing::TestWithParam<int> {
  protected:
    static const Bytes& plain() {
        static const Bytes xml = [] {
            const std::string s = makeXml(2500);
            return Bytes(s.begin(), s.end());
        }();
        return xml;
    }
};

TEST_P(DamagedXml, CleanStreamComesBackWhole) {
    const Bytes packed = deflateAt(plain(), GetParam());
    const SalvagedStream r = salvage(packed);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.gaps, 0u);
    EXPECT_EQ(r.firstDamage, SalvagedStream::kNoDamage);
    EXPECT_TRUE(r.bytes == plain());
}

TEST_P(DamagedXml, TextBeforeDamageExactAndMostTextAfterResumes) {
    const Damage kDamages[] = {
        {"cut at 50 %", 0.5, 0, false, true},
        {"8 bytes flipped", 0.5, 8, false, false},
        {"4 KiB zeroed", 0.5, 4096, true, false},
        {"first 4 KiB zeroed", 0.0, 4096, true, false},
        {"two flipped regions", 0.3, 8, false, false},
    };
    const Bytes packed = deflateAt(plain(), GetParam());
    ASSERT_GT(packed.size(), 40000u);
    const PlainInflate clean = plainInflate(packed);
    ASSERT_GT(clean.boundaries.size(), 4u);
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.name);
        Bytes damaged = packed;
        const size_t at = static_cast<size_t>(d.at * packed.size());
        size_t end = at + d.length;
        if (d.cutOff) {
            damaged.resize(at);
        } else {
            for (size_t i = at; i < end; ++i)
                damaged[i] = d.zeroFill ? 0 : damaged[i] ^ 0x5A;
        }
        if (std::string(d.name) == "two flipped regions") {
            for (size_t i = packed.size() * 7 / 10; i < packed.size() * 7 / 10 + 8; ++i)
                damaged[i] ^= 0xA5;
            end = packed.size() * 7 / 10 + 8;
        }
        const SalvagedStream r = salvage(damaged);
        EXPECT_FALSE(r.complete);
        EXPECT_EQ(std::count(r.bytes.begin(), r.bytes.end(), 0), 0) << "placeholder leaked";

        // Everything zlib decodes from the bytes before the damage comes back exactly.
        const Bytes before(damaged.begin(), damaged.begin() + at);
        const PlainInflate prefix = plainInflate(before);
        ASSERT_GE(r.bytes.size(), prefix.out.size());
        EXPECT_TRUE(std::equal(prefix.out.begin(), prefix.out.end(), r.bytes.begin()));
        if (d.cutOff) {
            EXPECT_TRUE(r.bytes == prefix.out);
            EXPECT_EQ(r.gaps, 0u);
            continue;
        }
        ASSERT_GE(r.gaps, 1u);
        ASSERT_EQ(r.gapOffsets.size(), r.gaps);
        EXPECT_NE(r.firstDamage, SalvagedStream::kNoDamage);
        EXPECT_LE(r.firstDamage, at);
        // Past the first gap nothing is invented: bytes copied from lost history are left
        // out, so what remains is the original's text in order, with holes.
        const Bytes last(r.bytes.begin() + r.gapOffsets.back(), r.bytes.end());
        // (A second damage met while copies of lost history are still being left out can go
        // unnoticed when the decoder falls back into step by itself; not checked there.)
        if (r.gaps == 1 && std::string(d.name) != "two flipped regions") {
            EXPECT_TRUE(isSubsequence(last, plain(), prefix.out.size()));
        }
        const size_t after = blockOutputAfter(clean, uint64_t{end} * 8);
        const double share = shareFoundInOrder(plain(), after, r.bytes);
        const double bytesShare =
            static_cast<double>(last.size()) / static_cast<double>(plain().size() - after);
        std::printf(
            "level %d, %s: %.3f of the words and %.3f of the bytes after the damaged "
            "block recovered (%llu bytes from lost history left out)\n",
            GetParam(), d.name, share, bytesShare, static_cast<unsigned long long>(r.unknownBytes));
        EXPECT_GT(last.size(), 0u);
    }
}

TEST_P(DamagedXml, OutputStopsAtTheCap) {
    const Bytes packed = deflateAt(plain(), GetParam());
    Bytes damaged = packed;
    for (size_t i = packed.size() / 3; i < packed.size() / 3 + 8; ++i)
        damaged[i] ^= 0xFF;
    for (uint64_t cap : {uint64_t{1}, uint64_t{1000}, uint64_t{plain().size() * 2 / 3}}) {
        const SalvagedStream r = salvage(damaged, cap);
        EXPECT_LE(r.bytes.size(), cap);
        EXPECT_TRUE(std::equal(r.bytes.begin(), r.bytes.begin() + std::min<size_t>(cap, 1000),
                               plain().begin()));
    }
}

TEST_P(DamagedXml, BestReadingKeepsAtLeastTheBlockSearchAndTheCleanStream) {
    const Bytes packed = deflateAt(plain(), GetParam());
    const ByteSpan clean(packed.data(), static_cast<uint32_t>(packed.size()));
    const SalvagedStream whole = inflateDamaged(clean, kNoCap);
    EXPECT_TRUE(whole.complete);
    EXPECT_TRUE(whole.bytes == plain());
    for (size_t seed = 1; seed <= 3; ++seed) {
        Bytes damaged = packed;
        for (size_t i = 0; i < 8; ++i)
            damaged[(packed.size() * (seed + 1) / 5 + i * 97) % packed.size()] ^= 0x5A;
        const ByteSpan bytes(damaged.data(), static_cast<uint32_t>(damaged.size()));
        const SalvagedStream blocks = resumeAtBlocks(bytes, kNoCap);
        const SalvagedStream best = inflateDamaged(bytes, kNoCap);
        EXPECT_FALSE(best.complete);
        // Chosen by the bytes each keeps, so the word shares may differ by a hair.
        EXPECT_GE(shareFoundInOrder(plain(), 0, best.bytes) + 0.01,
                  shareFoundInOrder(plain(), 0, blocks.bytes))
            << "seed " << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, DamagedXml, ::testing::Values(6, 9));

// Every real block start passes the header check, for each block type zlib writes.
TEST(DeflateSalvageProbe, AcceptsRealBlockStarts) {
    const std::string xml = makeXml(400, 7);
    const Bytes plain(xml.begin(), xml.end());
    struct Case {
        const char* name;
        int level, strategy;
        BlockKind kind;
    };
    const Case kCases[] = {{"dynamic", 6, Z_DEFAULT_STRATEGY, BlockKind::Dynamic},
                           {"fixed", 6, Z_FIXED, BlockKind::Fixed},
                           {"stored", 0, Z_DEFAULT_STRATEGY, BlockKind::Stored}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const Bytes packed = deflateAt(plain, c.level, c.strategy);
        const ByteSpan span(packed.data(), static_cast<uint32_t>(packed.size()));
        std::vector<uint64_t> starts = {0};
        for (const auto& [bit, out] : plainInflate(packed).boundaries)
            starts.push_back(bit);
        starts.pop_back();  // the end of the stream
        for (uint64_t bit : starts)
            EXPECT_EQ(probeBlock(span, bit, ContentKind::Text).kind, c.kind) << "bit " << bit;
        if (c.kind != BlockKind::Fixed) {
            for (uint64_t bit : starts)
                EXPECT_EQ(probeBlock(span, bit, ContentKind::Binary).kind, c.kind);
        }
    }
}

// Binary content with real NUL bytes: a cut-off stream keeps every byte, NULs included, and
// after a resync only bytes that copy lost history are left out, never real NULs.
TEST(DeflateSalvage, BinaryContentKeepsItsNulBytes) {
    // UTF-16LE markup: half its bytes are NUL, so it is judged as binary.
    const std::string xml = makeXml(2500, 3);
    Bytes plain;
    for (char c : xml) {
        plain.push_back(static_cast<uint8_t>(c));
        plain.push_back(0);
    }
    const Bytes packed = deflateAt(plain, 6);

    const Bytes cut(packed.begin(), packed.begin() + packed.size() / 2);
    const SalvagedStream front = salvage(cut);
    EXPECT_TRUE(front.bytes == plainInflate(cut).out);
    EXPECT_GT(front.bytes.size(), plain.size() / 4);

    Bytes damaged = packed;
    std::fill(damaged.begin(), damaged.begin() + 4096, 0);
    const SalvagedStream r = salvage(damaged);
    EXPECT_EQ(r.gaps, 1u);
    EXPECT_TRUE(isSubsequence(r.bytes, plain, 0));
    EXPECT_GT(std::count(r.bytes.begin(), r.bytes.end(), 0), 1000);
}

TEST(DeflateSalvage, HostileInputsEndQuicklyWithLittleOutput) {
    struct Case {
        const char* name;
        Bytes data;
    };
    Lcg rng{99};
    Bytes random(1 << 20);
    for (uint8_t& b : random)
        b = static_cast<uint8_t>(rng.next());
    // A stored-block header repeated: every position looks like a block start.
    Bytes storedHeaders;
    while (storedHeaders.size() < (1 << 20))
        storedHeaders.insert(storedHeaders.end(),
                             {0x00, 0x04, 0x00, 0xFB, 0xFF, 'a', 'b', 'c', 'd'});
    const Case kCases[] = {{"1 MiB random", random},
                           {"zeros", Bytes(1 << 20, 0)},
                           {"0xFF", Bytes(1 << 20, 0xFF)},
                           {"stored headers", storedHeaders},
                           {"empty", Bytes()},
                           {"one byte", Bytes{0x03}}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        // Processor time, so a busy machine does not count against the bound.
        const std::clock_t t0 = std::clock();
        const SalvagedStream r = salvage(c.data);
        const double seconds = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
        EXPECT_LT(seconds, kHostileSeconds);
        EXPECT_FALSE(r.complete && !c.data.empty() && c.name != std::string("one byte"));
        if (std::string(c.name) != "stored headers") {
            EXPECT_LT(r.bytes.size(), 4096u);
        }
    }
}

TEST(DeflateSalvage, TrailingBytesAfterACleanEnd) {
    const std::string xml = makeXml(50, 5);
    const Bytes plain(xml.begin(), xml.end());
    Bytes packed = deflateAt(plain, 6);
    // A data descriptor or the next ZIP record after the stream is not damage.
    for (const char* tail : {"PK\x07\x08 and a descriptor of no interest to anyone here ok",
                             "PK\x03\x04 followed by the next local record and its name here"}) {
        Bytes withTail = packed;
        withTail.insert(withTail.end(), tail, tail + std::strlen(tail));
        withTail.resize(withTail.size() + 100, 'x');
        const SalvagedStream r = salvage(withTail);
        EXPECT_TRUE(r.complete);
        EXPECT_TRUE(r.bytes == plain);
    }
}

}  // namespace
}  // namespace morvel
