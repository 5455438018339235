#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "docx/zip_broken_extractor.h"
#include "docx/zip_save_and_store.h"
#include "docx/zip_save_and_store_runs.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

// Raw inflate of a whole entry's data into a buffer of its declared size; empty on failure.
std::string inflateAll(ByteSpan data, uint32_t size) {
    std::string out(size, '\0');
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK)
        return {};
    s.next_in = const_cast<Bytef*>(data.data);
    s.avail_in = data.length;
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = size;
    const int rc = inflate(&s, Z_FINISH);
    const bool whole = rc == Z_STREAM_END && s.avail_out == 0 && s.avail_in == 0;
    inflateEnd(&s);
    return whole ? out : std::string();
}

uint32_t crcOf(const std::string& s) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// A part past the large-part threshold, deflated as a list of segments: its long runs of one
// byte go out as blocks of their own. Whatever the run lengths (a run block's tail of
// matches and literals differs with the length mod 258) the entry inflates back to the same
// bytes with the CRC and sizes its header gives.
TEST(LargePartDeflate, RunsOfEveryTailLengthReadBack) {
    const std::vector<uint32_t> runLengths = {
        kLongRunLength,  kLongRunLength + 1, kLongRunLength * 2 + 2, 258 * 100,
        258 * 100 + 259, 258 * 100 + 260,    258 * 101 + 3,          kLongRunLength * 3 - 1};
    std::vector<std::string> pieces;
    // Text that holds no long run, then runs of several byte values (below and above 143,
    // whose literal codes differ in length) between short pieces of markup.
    std::string text;
    for (int i = 0; text.size() < (1u << 20); ++i)
        text += "<w:t>word " + std::to_string(i) + "</w:t>";
    pieces.push_back(text);
    for (size_t i = 0; i < runLengths.size(); ++i) {
        pieces.push_back(std::string(runLengths[i], i % 2 ? ' ' : static_cast<char>(0xE9)));
        pieces.push_back("<p" + std::to_string(i) + "/>");
    }
    // A run that alone takes the part past the threshold, split across two segments.
    const std::string big(static_cast<size_t>(kLargeDeflateThreshold), 'a');
    pieces.push_back(big);
    pieces.push_back(big.substr(0, 1000) + "tail");
    std::vector<ByteSpan> segments;
    std::string whole;
    for (const std::string& p : pieces) {
        segments.push_back(spanOf(p));
        whole += p;
    }

    LocalEntry entry;
    entry.name = spanOf("word/document.xml");
    entry.nameLength = static_cast<uint16_t>(entry.name.length);
    std::vector<uint8_t> data;
    ASSERT_TRUE(ZipSaveAndStore::DeflateEntry(entry, segments.data(),
                                              static_cast<uint32_t>(segments.size()), data));
    EXPECT_EQ(entry.uncompressedSize, whole.size());
    EXPECT_EQ(entry.compressedSize, data.size());
    EXPECT_EQ(entry.crc, crcOf(whole));
    EXPECT_LT(data.size(), whole.size() / 20);
    EXPECT_EQ(inflateAll(entry.data, entry.uncompressedSize), whole);
}

// A part deflated ahead of its place and then added as a raw copy gives the very bytes of
// one deflated in place, below the large-part threshold and above it.
TEST(LargePartDeflate, DeflatedAheadMatchesDeflatedInPlace) {
    const std::vector<std::string> contents = {
        "<r><x/>short part</r>",
        "<r>" + std::string(static_cast<size_t>(kLargeDeflateThreshold), ' ') + "</r>"};
    for (const std::string& content : contents) {
        SCOPED_TRACE(content.size());
        LocalEntry entry;
        entry.name = spanOf("word/_rels/document.xml.rels");
        entry.nameLength = static_cast<uint16_t>(entry.name.length);
        entry.modDate = 0x1234;
        const ByteSpan segment = spanOf(content);

        ZipSaveAndStore inPlace;
        inPlace.OpenMemory();
        inPlace.AddEntry(entry, &segment, 1, false);
        inPlace.Finish();

        LocalEntry ahead = entry;
        std::vector<uint8_t> data;
        ASSERT_TRUE(ZipSaveAndStore::DeflateEntry(ahead, &segment, 1, data));
        ZipSaveAndStore raw;
        raw.OpenMemory();
        raw.AddEntry(ahead, &ahead.data, 1, true);
        raw.Finish();

        ASSERT_FALSE(inPlace.Failed());
        EXPECT_EQ(raw.Bytes(), inPlace.Bytes());
        ZipBrokenExtractor back;
        back.OpenMemory(raw.Bytes().data(), static_cast<uint32_t>(raw.Bytes().size()));
        ASSERT_EQ(back.EntryCount(), 1u);
        EXPECT_EQ(back.GetEntryData(0).view(), content);
    }
}

// Parts arrive as many segments, some empty or absent, below and above the large-part
// threshold and with or without long runs: each way of deflating them (gathered into one
// buffer at either level, or streamed around runs) reads back as the segments joined, with
// the CRC and sizes its header gives.
TEST(LargePartDeflate, SegmentsJoinWhateverTheWayTheyAreDeflated) {
    std::string words;
    for (int i = 0; words.size() < (kLargeDeflateThreshold + (1u << 20)); ++i)
        words += "<w:t>word " + std::to_string(i * 7919 % 100003) + "</w:t>";
    const std::string small = words.substr(0, 5000);
    struct Case {
        const char* what;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"one small segment", {small}},
        {"small segments with empty ones between", {"<r>", "", small, "", "</r>"}},
        {"large segments without runs", {words.substr(0, 3u << 20), "", words.substr(3u << 20)}},
        {"large segments with a long run",
         {words, std::string(kLongRunLength * 2, ' '), "<tail/>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ByteSpan> segments;
        std::string whole;
        for (const std::string& p : c.pieces) {
            segments.push_back(spanOf(p));
            whole += p;
        }
        // An absent segment (no bytes at all) counts as empty.
        segments.insert(segments.begin() + 1, ByteSpan());
        LocalEntry entry;
        entry.name = spanOf("word/document.xml");
        entry.nameLength = static_cast<uint16_t>(entry.name.length);
        std::vector<uint8_t> data;
        ASSERT_TRUE(ZipSaveAndStore::DeflateEntry(entry, segments.data(),
                                                  static_cast<uint32_t>(segments.size()), data));
        EXPECT_EQ(entry.uncompressedSize, whole.size());
        EXPECT_EQ(entry.compressedSize, data.size());
        EXPECT_EQ(entry.crc, crcOf(whole));
        EXPECT_LT(data.size(), whole.size() / 2);
        EXPECT_EQ(inflateAll(entry.data, entry.uncompressedSize), whole);
    }
}

// Runs are found wherever they start, and shorter ones are passed over.
TEST(LargePartDeflate, FindsLongRunsOnly) {
    const std::string data = "head" + std::string(kLongRunLength - 1, 'x') + "mid" +
                             std::string(kLongRunLength * 2 + 7, 'y') + "end";
    const auto run = findLongRun(spanOf(data), 0);
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->byte, 'y');
    EXPECT_EQ(run->begin, 4 + kLongRunLength - 1 + 3);
    EXPECT_EQ(run->end - run->begin, kLongRunLength * 2 + 7);
    EXPECT_FALSE(findLongRun(spanOf(data), run->end).has_value());
}

}  // namespace
}  // namespace morvel
