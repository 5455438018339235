#include "docx/deflate_flip_repair.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "docx/deflate_flip_judge.h"
#include "docx/deflate_salvage.h"
#include "tests/support/time_bounds.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kCap = uint64_t{1} << 28;
constexpr uint64_t kBudget = uint64_t{1} << 28;

// Pseudo-random numbers of our own so the fixtures are the same on every machine.
struct Lcg {
    uint32_t v;
    uint32_t next() {
        v = v * 1103515245u + 12345u;
        return v >> 8;
    }
};

// WordprocessingML-like markup: paragraphs of made-up words with attributes and entities.
std::string makeXml(uint32_t paragraphs, uint32_t seed) {
    Lcg rng{seed};
    std::vector<std::string> words;
    for (uint32_t i = 0; i < 3000; ++i) {
        std::string w;
        for (uint32_t n = 2 + rng.next() % 8; n > 0; --n)
            w += static_cast<char>('a' + rng.next() % 26);
        words.push_back(w);
    }
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document><w:body>";
    for (uint32_t p = 0; p < paragraphs; ++p) {
        xml += "<w:p><w:pPr><w:jc w:val=\"both\"/></w:pPr><w:r><w:t xml:space=\"preserve\">";
        for (uint32_t n = 5 + rng.next() % 30; n > 0; --n) {
            xml += words[(rng.next() % 3000) * (rng.next() % 3000) / 3000];
            xml += n == 1 ? "." : rng.next() % 20 == 0 ? " &amp; " : " ";
        }
        xml += "</w:t></w:r></w:p>\n";
    }
    return xml + "<w:sectPr/></w:body></w:document>";
}

Bytes bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

uint32_t crcOf(const Bytes& b) {
    return static_cast<uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
}

ByteSpan spanOfBytes(const Bytes& b) {
    return ByteSpan(b.data(), static_cast<uint32_t>(b.size()));
}

// XORs `count` distinct bytes of data, from byte `from` on, with random non-zero values.
Bytes flipped(Bytes data, size_t count, uint32_t seed, size_t from = 0) {
    Lcg rng{seed};
    std::set<size_t> done;
    while (done.size() < count && done.size() < data.size() - from) {
        const size_t at = from + rng.next() % (data.size() - from);
        if (done.insert(at).second)
            data[at] ^= static_cast<uint8_t>(1 + rng.next() % 255);
    }
    return data;
}

FlipRepairTarget targetOf(const Bytes& plain, bool markup) {
    FlipRepairTarget t;
    t.crc = crcOf(plain);
    t.size = plain.size();
    t.sizeKnown = true;
    t.markup = markup;
    return t;
}

// Runs the whole repair as the extractor does, with a generous budget.
RepairedStream repairOf(const Bytes& damaged, const Bytes& plain, bool markup,
                        uint64_t budget = kBudget) {
    uint64_t work = budget;
    return inflateWithRepair(spanOfBytes(damaged), targetOf(plain, markup), kCap, work);
}

// One flipped byte that the decoding trips over is put back and the content comes out exact;
// every exact result is the original content.
TEST(DeflateFlipRepair, OneFlippedByteIsPutBackExactly) {
    const Bytes plain = bytesOf(makeXml(1500, 7));
    const Bytes packed = test::deflateRaw(plain);
    constexpr uint32_t kSeeds = 6;
    unsigned exact = 0;
    for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        const RepairedStream r = repairOf(flipped(packed, 1, seed), plain, true);
        exact += r.exact;
        if (r.exact) {
            EXPECT_TRUE(r.bytes == plain);
        }
    }
    EXPECT_GE(exact, kSeeds - 2);
}

// Inflates a raw deflate stream whole with zlib, or gives nothing when it is not one.
Bytes inflatedWhole(const Bytes& packed, size_t expected) {
    Bytes out(expected + 64);
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<Bytef*>(packed.data());
    s.avail_in = static_cast<uInt>(packed.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&s, Z_FINISH);
    out.resize(s.total_out);
    inflateEnd(&s);
    return rc == Z_STREAM_END ? out : Bytes();
}

// A flipped bit that leaves the stream's structure whole and changes only a few letters of
// the text, where the judge sees broken markup: the decoding falls back in step with the
// damaged one at once, so only its different text tells the right value from the others.
// Each such flip is put back exactly.
TEST(DeflateFlipRepair, TextOnlyFlipsTheJudgeSeesArePutBackExactly) {
    const Bytes plain = bytesOf(makeXml(120, 11));
    const Bytes packed = test::deflateRaw(plain);
    constexpr size_t kFlips = 6;
    constexpr size_t kMaxLettersChanged = 4;
    size_t found = 0;
    for (size_t at = 300; at + 10 < packed.size() && found < kFlips; at += 53) {
        for (const uint8_t x : {1, 2, 4, 8, 16, 32, 64, 128}) {
            Bytes damaged = packed;
            damaged[at] ^= x;
            const Bytes read = inflatedWhole(damaged, plain.size());
            if (read.size() != plain.size() || read == plain)
                continue;
            size_t changed = 0;
            for (size_t i = 0; i < read.size(); ++i)
                changed += read[i] != plain[i];
            FlipJudge judge(true, true);
            judge.feed(read.data(), read.size());
            if (changed > kMaxLettersChanged || judge.errors() == 0)
                continue;
            ++found;
            SCOPED_TRACE(testing::Message() << "byte " << at << " ^ " << int(x));
            const RepairedStream r = repairOf(damaged, plain, true);
            EXPECT_TRUE(r.exact);
            EXPECT_TRUE(r.bytes == plain);
            break;
        }
    }
    EXPECT_EQ(found, kFlips);
}

// Several flips: an exact result is always the original content; a reading that is not exact
// is never shorter in plausible text than reading around the damage.
TEST(DeflateFlipRepair, SeveralFlippedBytes) {
    const Bytes plain = bytesOf(makeXml(200, 11));
    const Bytes packed = test::deflateRaw(plain);
    for (const size_t flips : {size_t{3}, size_t{8}}) {
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            SCOPED_TRACE(testing::Message() << flips << " flips, seed " << seed);
            const Bytes damaged = flipped(packed, flips, seed * 31);
            const RepairedStream r = repairOf(damaged, plain, true);
            if (r.exact) {
                EXPECT_TRUE(r.bytes == plain);
            }
            EXPECT_FALSE(r.bytes.empty());
        }
    }
}

// Stored blocks, the empty stream and fixed codes: a flip anywhere gives a reading (never a
// crash), the exact content when the flip can be put back.
TEST(DeflateFlipRepair, FlipsInStoredEmptyAndFixedStreams) {
    const Bytes xml = bytesOf(makeXml(20, 3));
    struct Case {
        const char* name;
        Bytes plain;
        Bytes packed;
    };
    z_stream s{};
    auto deflateWith = [&](const Bytes& plain, int level, int strategy) {
        deflateInit2(&s, level, Z_DEFLATED, -15, 8, strategy);
        Bytes out(deflateBound(&s, plain.size()) + 16);
        s.next_in = const_cast<Bytef*>(plain.data());
        s.avail_in = static_cast<uInt>(plain.size());
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(out.size());
        deflate(&s, Z_FINISH);
        out.resize(s.total_out);
        deflateEnd(&s);
        return out;
    };
    const std::vector<Case> cases = {
        {"stored", xml, deflateWith(xml, 0, Z_DEFAULT_STRATEGY)},
        {"empty", {}, deflateWith({}, 6, Z_DEFAULT_STRATEGY)},
        {"fixed", xml, deflateWith(xml, 6, Z_FIXED)},
    };
    for (const Case& c : cases) {
        for (size_t at = 0; at < c.packed.size(); at += std::max<size_t>(1, c.packed.size() / 4)) {
            for (const uint8_t x : {0x01, 0xFF}) {
                SCOPED_TRACE(testing::Message() << c.name << " byte " << at << " ^ " << int(x));
                Bytes damaged = c.packed;
                damaged[at] ^= x;
                const RepairedStream r = repairOf(damaged, c.plain, true);
                if (r.exact) {
                    EXPECT_TRUE(r.bytes == c.plain);
                }
            }
        }
    }
    // A flip in a stored block's data changes one byte only and is not found by decoding, so
    // that reading keeps every other byte.
    Bytes damaged = cases[0].packed;
    damaged[cases[0].packed.size() / 2] ^= 0x20;
    const RepairedStream r = repairOf(damaged, xml, true);
    EXPECT_EQ(r.bytes.size(), xml.size());
}

// Binary content cannot be judged, so a correction is only believed when the CRC confirms it:
// with a CRC no reading can meet, the result is the tolerant reading of the data as found.
TEST(DeflateFlipRepair, BinaryCorrectionNeedsTheCrc) {
    Lcg rng{5};
    Bytes plain;
    for (int i = 0; i < 20000; ++i)
        plain.push_back(static_cast<uint8_t>("ABCDEFGH"[rng.next() % 8] + (i % 512 == 0)));
    const Bytes packed = test::deflateRaw(plain);
    const Bytes damaged = flipped(packed, 1, 9, packed.size() / 3);
    FlipRepairTarget wrong = targetOf(plain, false);
    wrong.crc ^= 1;
    uint64_t work = kBudget;
    const RepairedStream r = inflateWithRepair(spanOfBytes(damaged), wrong, kCap, work);
    EXPECT_FALSE(r.exact);
    EXPECT_EQ(r.corrections, 0u);
    EXPECT_TRUE(r.bytes == inflateDamaged(spanOfBytes(damaged), kCap).bytes);
}

// Random bytes, as markup and as binary: the work stays within the budget and the time
// bounded, however the search fares.
TEST(DeflateFlipRepair, RandomBytesStayWithinTheBudget) {
    Lcg rng{77};
    for (const size_t size : {size_t{1}, size_t{64}, size_t{4096}, size_t{200000}}) {
        Bytes noise(size);
        for (uint8_t& b : noise)
            b = static_cast<uint8_t>(rng.next());
        for (const bool markup : {true, false}) {
            SCOPED_TRACE(testing::Message() << size << " bytes, markup " << markup);
            constexpr uint64_t kSmallBudget = uint64_t{1} << 24;
            uint64_t work = kSmallBudget;
            FlipRepairTarget target;
            target.markup = markup;
            const auto t0 = std::chrono::steady_clock::now();
            const FlipRepairResult r = repairFlippedBytes(spanOfBytes(noise), target, kCap, work);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            EXPECT_FALSE(r.exact);
            EXPECT_LE(work, kSmallBudget);
            EXPECT_LT(seconds, 5.0 * test::kSlowdown);
        }
    }
}

// The budget follows the damaged entries' compressed size: a tiny package pays little, a large
// one no more than the archive's ceiling, and sizes near the limits of the type do not wrap.
TEST(DeflateFlipRepair, BudgetFollowsTheDamagedBytes) {
    const uint64_t ceilingOf1M = kRepairWorkCeiling + kRepairWorkPerByte * (uint64_t{1} << 20);
    struct Case {
        uint64_t damaged, archive, budget;
    };
    const Case cases[] = {
        {0, 262, kRepairWorkFloor},
        {200, 262, kRepairWorkFloor + 200 * kRepairWorkPerDamagedByte},
        {400, uint64_t{1} << 20, kRepairWorkFloor + 400 * kRepairWorkPerDamagedByte},
        {uint64_t{1} << 20, uint64_t{1} << 20, ceilingOf1M},
        {UINT64_MAX, uint64_t{1} << 20, ceilingOf1M},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.damaged << " of " << c.archive);
        EXPECT_EQ(flipRepairBudget(c.damaged, c.archive), c.budget);
    }
    EXPECT_LT(flipRepairBudget(200, 262), kRepairWorkCeiling / 4);
}

}  // namespace
}  // namespace morvel
