#include "docx/deflate_cut_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "docx/deflate_flip_repair.h"
#include "docx/zip_broken_extractor.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint64_t kBudget = uint64_t{1} << 28;
const std::string kMain = "word/document.xml";

// Pseudo-random numbers of our own so the fixtures are the same on every machine.
struct Lcg {
    uint32_t v;
    uint32_t next() {
        v = v * 1103515245u + 12345u;
        return v >> 8;
    }
};

// A main document of made-up words from a vocabulary, as real text repeats its words; long
// enough for several deflate blocks.
std::string makeDocument(uint32_t paragraphs, uint32_t seed) {
    Lcg rng{seed};
    std::vector<std::string> words(2000);
    for (std::string& w : words)
        for (uint32_t k = 2 + rng.next() % 7; k > 0; --k)
            w += static_cast<char>('a' + rng.next() % 26);
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document><w:body>";
    for (uint32_t p = 0; p < paragraphs; ++p) {
        xml += "<w:p><w:r><w:t xml:space=\"preserve\">";
        for (uint32_t n = 5 + rng.next() % 25; n > 0; --n) {
            xml += words[(rng.next() % words.size()) * (rng.next() % words.size()) / words.size()];
            xml += n == 1 ? "." : " ";
        }
        xml += "</w:t></w:r></w:p>\n";
    }
    return xml + "<w:sectPr/></w:body></w:document>";
}

// Bytes a compressor squeezes a little: a binary part.
std::string makeBinary(size_t size, uint32_t seed) {
    Lcg rng{seed};
    std::string s;
    for (size_t i = 0; i < size; ++i)
        s += static_cast<char>("ABCDEFGH"[rng.next() % 8] + (rng.next() % 64 == 0 ? 40 : 0));
    return s;
}

ByteSpan spanOfBytes(const Bytes& b) {
    return ByteSpan(b.data(), static_cast<uint32_t>(b.size()));
}

// What zlib gives of a raw deflate stream before its data runs out or breaks: every symbol
// read whole, nothing made up.
Bytes zlibReading(ByteSpan data) {
    z_stream s{};
    inflateInit2(&s, -15);
    Bytes out;
    Bytes chunk(1 << 16);
    s.next_in = const_cast<Bytef*>(data.data);
    s.avail_in = data.length;
    for (;;) {
        s.next_out = chunk.data();
        s.avail_out = static_cast<uInt>(chunk.size());
        const int rc = inflate(&s, Z_NO_FLUSH);
        out.insert(out.end(), chunk.begin(), chunk.end() - s.avail_out);
        if (rc != Z_OK || (s.avail_in == 0 && s.avail_out != 0))
            break;
    }
    inflateEnd(&s);
    return out;
}

// A package whose last entry is `name`, deflated at `level`, cut `cut` bytes into that
// entry's data (nothing of the central directory is left).
struct CutPackage {
    Bytes archive;
    size_t dataStart = 0;  // of the last entry
};
CutPackage cutPackage(const std::string& name, const std::string& content, int level,
                      bool descriptor = false) {
    test::ZipBuilder zip;
    test::ZipBuilder::Entry how;
    zip.add("[Content_Types].xml", "<Types/>");
    how.level = level;
    how.descriptor = descriptor;
    const size_t at = zip.add(name, content, how);
    CutPackage p;
    p.archive = zip.localPart();
    p.dataStart = at + 30 + name.size();
    return p;
}

// The target the extractor gives the repair of a damaged entry.
FlipRepairTarget targetOf(const std::string& content, bool markup) {
    FlipRepairTarget t;
    t.crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                        static_cast<uInt>(content.size())));
    t.size = content.size();
    t.sizeKnown = true;
    t.markup = markup;
    t.mayBeCut = true;
    return t;
}

// A package cut anywhere inside its last entry's deflate stream: the entry decodes to exactly
// what its data holds (no byte made up from bits past the cut, none of a cut stored block
// lost), costs no repair work, and the extractor gives it as a partial part.
TEST(DeflateCutStream, CutStreamKeepsItsCleanDecodingWithoutRepairWork) {
    const std::string document = makeDocument(600, 3);
    struct Case {
        const char* what;
        std::string name, content;
        int level;
    };
    const Case cases[] = {
        {"markup, best compression", kMain, document, 9},
        {"markup, fast compression", kMain, document, 1},
        {"markup in stored blocks", kMain, document, 0},
        {"binary part", "word/media/image1.bin", makeBinary(60000, 9), 6},
    };
    for (const Case& c : cases) {
        const CutPackage whole = cutPackage(c.name, c.content, c.level);
        const size_t dataLength = whole.archive.size() - whole.dataStart;
        // Points spread over the data, each with its next few bytes, so that cuts fall inside
        // headers, codes and matches alike.
        for (size_t share = 1; share < 20; ++share) {
            for (size_t step = 0; step < 4; ++step) {
                const size_t keep = dataLength * share / 20 + step;
                SCOPED_TRACE(testing::Message()
                             << c.what << ", " << keep << " of " << dataLength << " bytes of data");
                const Bytes archive(whole.archive.begin(),
                                    whole.archive.begin() + whole.dataStart + keep);
                ZipBrokenExtractor zip;
                zip.OpenSpan(archive);
                const uint32_t d = zip.FindDamaged(spanOf(c.name));
                ASSERT_NE(d, kEntryNotFound);
                const ByteSpan data = zip.Damaged(d).data;
                ASSERT_EQ(data.length, keep);
                const Bytes expected = zlibReading(data);

                uint64_t work = kBudget;
                const RepairedStream r = inflateWithRepair(
                    data, targetOf(c.content, c.name == kMain), c.content.size() + 1, work);
                EXPECT_TRUE(r.cut);
                EXPECT_FALSE(r.exact);
                EXPECT_EQ(r.corrections, 0u);
                EXPECT_EQ(work, kBudget);
                EXPECT_TRUE(r.bytes == expected)
                    << r.bytes.size() << " bytes against " << expected.size();

                const ZipBrokenExtractor::DecodedPart part = zip.DecodeDamaged(d);
                EXPECT_EQ(part.state, PartState::Partial);
                EXPECT_TRUE(part.bytes == expected);
            }
        }
    }
}

// A stream cut and also flipped before the cut, where the flip breaks the decoding while data
// is left: the search still runs there and puts the byte back, so the reading goes on to the
// cut. (A flip that decodes silently into other letters looks like no damage at all; its
// stream is taken as cut and read as its data stands.)
TEST(DeflateCutStream, CutAndFlippedStreamStillGetsItsFlipRepaired) {
    const std::string document = makeDocument(1500, 5);
    const CutPackage whole = cutPackage(kMain, document, 9);
    const size_t dataLength = whole.archive.size() - whole.dataStart;
    const size_t keep = dataLength * 4 / 5;
    Bytes archive(whole.archive.begin(), whole.archive.begin() + whole.dataStart + keep);
    const Bytes clean =
        zlibReading(ByteSpan(archive.data() + whole.dataStart, static_cast<uint32_t>(keep)));
    constexpr unsigned kBroken = 6;
    unsigned broken = 0, repaired = 0;
    for (uint32_t seed = 1; seed <= 40 && broken < kBroken; ++seed) {
        Lcg rng{seed};
        const size_t at = whole.dataStart + keep / 4 + rng.next() % (keep / 2);
        Bytes damaged = archive;
        damaged[at] ^= static_cast<uint8_t>(1 + rng.next() % 255);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", byte " << at - whole.dataStart);
        ZipBrokenExtractor zip;
        zip.OpenSpan(damaged);
        const uint32_t d = zip.FindDamaged(spanOf(kMain));
        ASSERT_NE(d, kEntryNotFound);
        const ByteSpan data = zip.Damaged(d).data;
        const CutStreamReading reading = decodeCutStream(data, true, document.size() + 1);

        uint64_t work = kBudget;
        const RepairedStream r =
            inflateWithRepair(data, targetOf(document, true), document.size() + 1, work);
        EXPECT_TRUE(zip.DecodeDamaged(d).bytes == r.bytes);
        if (reading.end == CutStreamEnd::Cut) {
            EXPECT_TRUE(r.cut);
            EXPECT_TRUE(r.bytes == zlibReading(data));
            continue;
        }
        EXPECT_EQ(reading.end, CutStreamEnd::Damaged);
        ++broken;
        EXPECT_FALSE(r.cut);
        EXPECT_LT(work, kBudget);
        if (r.corrections > 0 && r.bytes == clean)
            ++repaired;
    }
    EXPECT_EQ(broken, kBroken);
    EXPECT_GE(repaired, kBroken - 2);
}

// How a strict decoding ends: a whole stream (its ZIP record lost after it) ends and gives
// all its bytes; a stream broken early is damaged; a fault of the markup shortly before the
// cut is the cut's, one well before it is damage.
TEST(DeflateCutStream, TellsCutFromEndedAndDamaged) {
    const std::string document = makeDocument(400, 7);
    const Bytes plain(document.begin(), document.end());
    const Bytes packed = test::deflateRaw(plain);
    EXPECT_EQ(decodeCutStream(spanOfBytes(packed), true, plain.size() + 1).end,
              CutStreamEnd::Ended);
    EXPECT_TRUE(decodeCutStream(spanOfBytes(packed), true, plain.size() + 1).bytes == plain);

    // Cut inside the descriptor of a whole stream: exact without any repair work (the
    // extractor, which knows no CRC for it then, keeps every byte).
    const CutPackage described = cutPackage(kMain, document, 9, true);
    const Bytes archive(described.archive.begin(), described.archive.end() - 6);
    ZipBrokenExtractor zip;
    zip.OpenSpan(archive);
    const uint32_t d = zip.FindDamaged(spanOf(kMain));
    ASSERT_NE(d, kEntryNotFound);
    uint64_t work = kBudget;
    const RepairedStream r =
        inflateWithRepair(zip.Damaged(d).data, targetOf(document, true), plain.size() + 1, work);
    EXPECT_TRUE(r.exact);
    EXPECT_TRUE(r.bytes == plain);
    EXPECT_EQ(work, kBudget);
    EXPECT_TRUE(zip.DecodeDamaged(d).bytes == plain);

    // An invalid block type in the first header, with most of the data left.
    Bytes broken = packed;
    broken[0] |= 0x06;
    const Bytes brokenCut(broken.begin(), broken.begin() + broken.size() / 2);
    EXPECT_EQ(decodeCutStream(spanOfBytes(brokenCut), true, plain.size() + 1).end,
              CutStreamEnd::Damaged);

    // Character data holding '>' is a fault of the markup; in stored blocks the cut decides
    // exactly how far after it the decoding ends.
    std::string faulty = document;
    const size_t fault = faulty.find("</w:t>", faulty.size() / 2) - 1;
    faulty[fault] = '>';
    const Bytes faultyPlain(faulty.begin(), faulty.end());
    const Bytes stored = test::deflateRaw(faultyPlain, 0);
    auto endAfter = [&](uint64_t outputBytes) {
        // The shortest cut of the stored stream whose data holds that much output.
        size_t lo = 0, hi = stored.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            const Bytes prefix(stored.begin(), stored.begin() + static_cast<ptrdiff_t>(mid));
            if (zlibReading(spanOfBytes(prefix)).size() >= outputBytes)
                hi = mid;
            else
                lo = mid + 1;
        }
        const Bytes cut(stored.begin(), stored.begin() + static_cast<ptrdiff_t>(lo));
        const CutStreamReading reading = decodeCutStream(spanOfBytes(cut), true, plain.size() + 1);
        if (reading.end == CutStreamEnd::Cut) {
            EXPECT_EQ(reading.bytes.size(), outputBytes);
            EXPECT_TRUE(
                std::equal(reading.bytes.begin(), reading.bytes.end(), faultyPlain.begin()));
        }
        return reading.end;
    };
    EXPECT_EQ(endAfter(fault - 10), CutStreamEnd::Cut);
    EXPECT_EQ(endAfter(fault + kCutTailBytes / 2), CutStreamEnd::Cut);
    EXPECT_EQ(endAfter(fault + kCutTailBytes * 2), CutStreamEnd::Damaged);
}

// The fast reading (zlib up to the last block boundary, strict decoding after it) must end
// and give bytes exactly as the strict decoding from the start does: cut anywhere, at every
// level, for markup sound or faulty early or late, for binary content and with a low cap.
TEST(DeflateCutStream, FastReadingMatchesStrictDecoding) {
    std::string faultyEarly = makeDocument(2000, 11);
    faultyEarly[faultyEarly.find("</w:t>", faultyEarly.size() / 5) - 1] = '>';
    std::string faultyLate = makeDocument(2000, 12);
    faultyLate[faultyLate.find("</w:t>", faultyLate.size() * 9 / 10) - 1] = '>';
    struct Case {
        const char* name;
        std::string content;
        bool markup;
        uint64_t capShort;  // cap this far below the content's size; 0 for room to spare
    };
    const Case cases[] = {
        {"sound", makeDocument(2000, 10), true, 0},
        {"faulty early", faultyEarly, true, 0},
        {"faulty late", faultyLate, true, 0},
        {"binary", makeBinary(200000, 13), false, 0},
        {"capped", makeDocument(1500, 14), true, 50000},
    };
    unsigned cutsSeen = 0;
    for (const Case& c : cases) {
        const Bytes plain(c.content.begin(), c.content.end());
        const uint64_t cap = c.capShort ? plain.size() - c.capShort : plain.size() + 1;
        for (int level : {0, 1, 6, 9}) {
            const Bytes packed = test::deflateRaw(plain, level);
            Lcg rng{static_cast<uint32_t>(level + 100)};
            std::vector<size_t> cuts = {
                packed.size(), packed.size() - 1, packed.size() / 2, packed.size() * 4 / 5, 1, 5};
            for (int k = 0; k < 10; ++k)
                cuts.push_back(1 + rng.next() % (packed.size() - 1));
            for (size_t cut : cuts) {
                SCOPED_TRACE(testing::Message() << c.name << ", level " << level << ", cut " << cut
                                                << " of " << packed.size());
                const ByteSpan data(packed.data(), static_cast<uint32_t>(cut));
                const CutStreamReading fast = decodeCutStream(data, c.markup, cap);
                const CutStreamReading strict = decodeCutStreamStrict(data, c.markup, cap);
                EXPECT_EQ(fast.end, strict.end);
                EXPECT_TRUE(fast.bytes == strict.bytes);
                cutsSeen += strict.end == CutStreamEnd::Cut;
            }
        }
    }
    EXPECT_GT(cutsSeen, 100u);
}

}  // namespace
}  // namespace morvel
