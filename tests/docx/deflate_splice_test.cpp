#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "docx/deflate_bit_writer.h"
#include "docx/deflate_format.h"
#include "docx/deflate_splice.h"
#include "docx/inflate_zip.h"
#include "docx/office_broken_repair_2007.h"
#include "docx/zip_broken_extractor.h"
#include "docx/zip_save_and_store.h"
#include "tests/support/prose_document.h"
#include "tests/support/test_files.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

std::vector<uint8_t> bytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

ByteSpan spanOfBytes(const std::vector<uint8_t>& b) {
    return ByteSpan(b.data(), static_cast<uint32_t>(b.size()));
}

// Inflates a raw stream with zlib, which must reach the stream's end; "<broken>" otherwise.
std::string zlibInflate(const std::vector<uint8_t>& stream, size_t size) {
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK)
        return "<broken>";
    std::string out(size + 1, '\0');
    s.next_in = const_cast<Bytef*>(stream.data());
    s.avail_in = static_cast<uInt>(stream.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&s, Z_FINISH);
    out.resize(s.total_out);
    inflateEnd(&s);
    return rc == Z_STREAM_END ? out : "<broken>";
}

// The same with libdeflate's whole-buffer decoder.
std::string libdeflateInflate(const std::vector<uint8_t>& stream, size_t size) {
    std::string out(size, '\0');
    InflateZip::StreamRun run;
    if (!InflateZip().InflateWhole(spanOfBytes(stream), reinterpret_cast<uint8_t*>(out.data()),
                                   size, run))
        return "<broken>";
    out.resize(run.produced);
    return out;
}

uint32_t crcOf(const std::string& s) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// The new content of a rewritten part: a new head, then the original from offset `from` on,
// pointing into the original as the rules' segments do.
struct Rewrite {
    std::string head;
    size_t from = 0;
};

std::vector<ByteSpan> segmentsOf(const Rewrite& r, const std::vector<uint8_t>& plain) {
    std::vector<ByteSpan> segments{spanOf(r.head)};
    segments.emplace_back(plain.data() + r.from, static_cast<uint32_t>(plain.size() - r.from));
    return segments;
}

std::string contentOf(const Rewrite& r, const std::vector<uint8_t>& plain) {
    return r.head + std::string(plain.begin() + static_cast<ptrdiff_t>(r.from), plain.end());
}

TEST(DeflateSplice, HeadChangesAtEveryLevelGiveExactlyTheNewContent) {
    const std::string decl = test::kPartDeclaration;
    const size_t declLength = decl.size() - 2;
    struct Case {
        const char* what;
        Rewrite rewrite;
    };
    const std::vector<Case> cases = {
        {"line end after the declaration dropped", {decl.substr(0, declLength), decl.size()}},
        {"head grown", {decl + "<!-- a longer head than before -->", decl.size()}},
        {"first 5000 bytes cut", {"<w:body>", 5000}},
        {"nothing kept of the head", {"", 20000}},
    };
    uint32_t seed = 1;
    for (const bool checked : {false, true})
        for (const int level : {1, 6, 9})
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.what) + " at level " + std::to_string(level) +
                             (checked ? ", original checked by the caller" : ""));
                // A new document each time, so the seams fall on many different bits.
                const std::vector<uint8_t> plain = bytesOf(test::proseDocument(600000, ++seed));
                const std::vector<uint8_t> stream = test::deflateRaw(plain, level);
                const std::vector<ByteSpan> segments = segmentsOf(c.rewrite, plain);
                const std::string expected = contentOf(c.rewrite, plain);
                std::vector<uint8_t> out{0xAB};  // what the archive held before
                const SpliceResult r =
                    spliceDeflate({spanOfBytes(stream), spanOfBytes(plain), checked},
                                  segments.data(), static_cast<uint32_t>(segments.size()), 6, out);
                ASSERT_EQ(r.outcome, SpliceOutcome::Spliced);
                EXPECT_EQ(r.plainLength, expected.size());
                EXPECT_EQ(r.crc, crcOf(expected));
                ASSERT_EQ(out[0], 0xAB);
                out.erase(out.begin());
                EXPECT_TRUE(zlibInflate(out, expected.size()) == expected);
                EXPECT_TRUE(libdeflateInflate(out, expected.size()) == expected);
                // The original's compressed bytes were reused, not made again.
                ASSERT_GT(out.size(), 4096u);
                EXPECT_TRUE(std::equal(out.end() - 4096, out.end(), stream.end() - 4096));
            }
}

TEST(DeflateSplice, SegmentsThatAreCopiesOfTheOriginalAreMatchedByContent) {
    const std::vector<uint8_t> plain = bytesOf(test::proseDocument(1000000, 7));
    const std::vector<uint8_t> stream = test::deflateRaw(plain, 6);
    // The new content in many small pieces of its own memory, the head split across two.
    const std::string content = "<?xml?>" + std::string(plain.begin() + 60, plain.end());
    std::vector<ByteSpan> segments;
    for (size_t at = 0; at < content.size(); at += 1000)
        segments.push_back(
            ByteSpan(reinterpret_cast<const uint8_t*>(content.data()) + at,
                     static_cast<uint32_t>(std::min<size_t>(1000, content.size() - at))));
    segments.insert(segments.begin() + 1, ByteSpan());  // an absent piece is no content
    std::vector<uint8_t> out;
    const SpliceResult r = spliceDeflate({spanOfBytes(stream), spanOfBytes(plain)}, segments.data(),
                                         static_cast<uint32_t>(segments.size()), 6, out);
    ASSERT_EQ(r.outcome, SpliceOutcome::Spliced);
    EXPECT_EQ(r.crc, crcOf(content));
    EXPECT_TRUE(zlibInflate(out, content.size()) == content);
}

TEST(DeflateSplice, StoredBlocksAreCopiedLikeAnyOther) {
    // Stored blocks start on a byte boundary of their own, which the copied bytes keep.
    const std::vector<uint8_t> plain = bytesOf(test::proseDocument(400000, 3));
    const std::vector<uint8_t> stream = test::deflateRaw(plain, 0);
    const Rewrite rewrite{"<?xml version=\"1.0\"?>", 57};
    const std::vector<ByteSpan> segments = segmentsOf(rewrite, plain);
    std::vector<uint8_t> out;
    const SpliceResult r =
        spliceDeflate({spanOfBytes(stream), spanOfBytes(plain)}, segments.data(), 2, 6, out);
    ASSERT_EQ(r.outcome, SpliceOutcome::Spliced);
    EXPECT_TRUE(zlibInflate(out, r.plainLength) == contentOf(rewrite, plain));
}

TEST(DeflateSplice, TheOriginalWholeIsItsStreamWithoutWhatFollowsIt) {
    const std::vector<uint8_t> plain = bytesOf(test::proseDocument(100000, 4));
    const std::vector<uint8_t> stream = test::deflateRaw(plain, 6);
    std::vector<uint8_t> padded = stream;
    padded.insert(padded.end(), {'P', 'K', 7, 8});  // a descriptor after the data
    const ByteSpan whole = spanOfBytes(plain);
    std::vector<uint8_t> out;
    const SpliceResult r = spliceDeflate({spanOfBytes(padded), whole}, &whole, 1, 6, out);
    EXPECT_EQ(r.outcome, SpliceOutcome::Copied);
    EXPECT_EQ(r.crc, crcOf(std::string(plain.begin(), plain.end())));
    EXPECT_EQ(out, stream);
}

// What cannot be spliced leaves the output as it was, for the caller to deflate the content.
TEST(DeflateSplice, FallsBackWithTheOutputUntouched) {
    const std::vector<uint8_t> plain = bytesOf(test::proseDocument(1000000, 5));
    const std::vector<uint8_t> stream = test::deflateRaw(plain, 6);
    std::vector<uint8_t> lying = plain;  // says the stream ends otherwise than it does
    lying[lying.size() - 100] ^= 1;
    const std::vector<uint8_t> cut(stream.begin(),
                                   stream.begin() + static_cast<ptrdiff_t>(stream.size() * 4 / 5));
    std::vector<uint8_t> noise(stream.size());
    uint32_t v = 99;
    for (auto& b : noise)
        b = static_cast<uint8_t>(v = v * 1103515245u + 12345u);
    const std::vector<uint8_t> shortPlain(plain.begin(), plain.begin() + 30000);
    const std::vector<uint8_t> shortStream = test::deflateRaw(shortPlain, 6);

    const Rewrite dropLineEnd{"<?xml?>", 57};
    struct Case {
        const char* what;
        const std::vector<uint8_t>& stream;
        const std::vector<uint8_t>& plain;
        Rewrite rewrite;
        SpliceOutcome expected;
    };
    const std::vector<Case> cases = {
        {"too short for a boundary a window past the change", shortStream, shortPlain, dropLineEnd,
         SpliceOutcome::NoBoundary},
        {"change near the end", stream, plain, {"x", plain.size() - 10}, SpliceOutcome::NoBoundary},
        {"most of the content new",
         stream,
         plain,
         {std::string(700000, 'x'), 700000},
         SpliceOutcome::NotWorthIt},
        {"stream that inflates to other bytes", stream, lying, dropLineEnd, SpliceOutcome::Failed},
        {"stream cut off", cut, plain, dropLineEnd, SpliceOutcome::Failed},
        {"stream of noise", noise, plain, dropLineEnd, SpliceOutcome::NoBoundary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<ByteSpan> segments = segmentsOf(c.rewrite, c.plain);
        std::vector<uint8_t> out{1, 2, 3};
        const SpliceResult r = spliceDeflate({spanOfBytes(c.stream), spanOfBytes(c.plain)},
                                             segments.data(), 2, 6, out);
        EXPECT_EQ(r.outcome, c.expected);
        EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    }
}

// A fixed-code literal, as deflate packs it.
deflate::Bits fixedLiteral(uint8_t c) {
    return c < 144 ? deflate::huffman(0x30u + c, 8) : deflate::huffman(0x190u + c - 144, 9);
}

TEST(DeflateSplice, EmptyBlocksReachEveryBitOfAByte) {
    for (uint32_t residue = 0; residue < 8; ++residue) {
        SCOPED_TRACE(residue);
        // A non-final stored block of "abc", then the empty blocks, then a final fixed block
        // of "xyz" that starts wherever they end.
        std::vector<uint8_t> stream{0x00, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'};
        deflate::BitWriter w(stream);
        deflate::putEmptyBlocksToBit(w, residue);
        EXPECT_EQ(w.pendingCount(), residue);
        w.put({1, 1});
        w.put({deflate::kFixedType, 2});
        for (const char c : std::string("xyz"))
            w.put(fixedLiteral(static_cast<uint8_t>(c)));
        w.put({0, 7});
        w.alignToByte();
        EXPECT_EQ(zlibInflate(stream, 6), "abcxyz");
        EXPECT_EQ(libdeflateInflate(stream, 6), "abcxyz");
    }
}

const std::vector<uint8_t>& realStore() {
    static const std::vector<uint8_t> store = test::readFile(MORVEL_TEMPLATE_STORE);
    return store;
}

TEST(DeflateSplice, FullPackageReusesTheMainDocumentsCompressedBytes) {
    const std::string document = test::proseDocument(1000000, 11);
    test::ZipBuilder::Entry how;
    how.level = 6;
    test::ZipBuilder zip;
    zip.add("[Content_Types].xml",
            std::string(test::kPartDeclaration) +
                "<Types><Override PartName=\"/word/document.xml\" ContentType=\"m\"/></Types>",
            how);
    zip.add("word/document.xml", document, how);
    const std::vector<uint8_t> package = zip.finish();

    OfficeBrokenRepair_2007 engine;
    ASSERT_EQ(engine.OpenDamaged(package), 0);
    engine.LoadTemplateStore(realStore().data(), static_cast<uint32_t>(realStore().size()));
    std::vector<uint8_t> full;
    ASSERT_EQ(engine.WriteFullPackage(full), 0);

    ZipBrokenExtractor before, after;
    before.OpenMemory(package.data(), static_cast<uint32_t>(package.size()));
    after.OpenMemory(full.data(), static_cast<uint32_t>(full.size()));
    const uint32_t b = before.FindEntry(spanOf("word/document.xml"));
    const uint32_t a = after.FindEntry(spanOf("word/document.xml"));
    ASSERT_NE(a, kEntryNotFound);
    // The rules drop the line end after the declaration and keep the rest as it is.
    const std::string decl = test::kPartDeclaration;
    EXPECT_TRUE(after.GetEntryData(a).view() ==
                decl.substr(0, decl.size() - 2) + document.substr(decl.size()));
    const ByteSpan oldData = before.Entry(b).data, newData = after.Entry(a).data;
    ASSERT_GT(newData.length, 4096u);
    EXPECT_EQ(std::string_view(newData.view()).substr(newData.length - 4096),
              std::string_view(oldData.view()).substr(oldData.length - 4096));
}

}  // namespace
}  // namespace morvel
