#include <gtest/gtest.h>

#include "docx/zip_broken_extractor.h"
#include "docx/zip_save_and_store.h"
#include "platform/le_reader.h"
#include "tests/support/test_files.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

TEST(ZipSaveAndStore, EmptyArchiveIsOneEndRecord) {
    test::TempDir dir;
    ZipSaveAndStore zip;
    zip.OpenOutput(dir.path() / "e.zip");
    zip.Finish();
    std::vector<uint8_t> b = test::readFile(dir.path() / "e.zip");
    ASSERT_EQ(b.size(), 22u);
    EXPECT_EQ(readU32LE(b, 0), kEndRecordSignature);
    EXPECT_FALSE(zip.Failed());
}

TEST(ZipSaveAndStore, RewrittenAndRawEntriesReadBack) {
    test::ZipBuilder src;
    src.add("word/document.xml", "<old/>");
    size_t imageAt = src.add("media/image1.bin", std::string(5000, 'z'), 8, true);
    std::vector<uint8_t> srcBytes = src.finish();
    ZipBrokenExtractor in;
    in.OpenMemory(srcBytes.data(), static_cast<uint32_t>(srcBytes.size()));
    ASSERT_EQ(in.EntryCount(), 2u);

    test::TempDir dir;
    const auto out = dir.path() / "o.zip";
    ZipSaveAndStore zip;
    zip.OpenOutput(out);
    const std::vector<ByteSpan> parts = {spanOf("<a>"), spanOf("text"), spanOf("</a>")};
    zip.AddEntry(in.Entry(0), parts.data(), 3, false);
    zip.AddEntry(in.Entry(1), &in.Entry(1).data, 1, true);
    zip.Finish();
    ASSERT_FALSE(zip.Failed());

    std::vector<uint8_t> b = test::readFile(out);
    ZipBrokenExtractor back;
    back.OpenMemory(b.data(), static_cast<uint32_t>(b.size()));
    ASSERT_EQ(back.EntryCount(), 2u);
    EXPECT_EQ(back.GetEntryData(0).view(), "<a>text</a>");
    EXPECT_EQ(back.Entry(0).method, kMethodDeflate);
    EXPECT_EQ(back.Entry(0).flags, 0);
    EXPECT_EQ(back.Entry(0).uncompressedSize, 11u);
    EXPECT_EQ(back.GetEntryData(1).view(), std::string(5000, 'z'));
    EXPECT_EQ(back.Entry(1).method, 8);
    EXPECT_EQ(back.Entry(1).modDate, readU16LE(srcBytes, imageAt + 12));

    // Central directory: one record per entry with time and date 0 and the right offsets,
    // found through the end record as any reader finds it.
    const size_t end = b.size() - 22;
    ASSERT_EQ(readU32LE(b, end), kEndRecordSignature);
    EXPECT_EQ(readU16LE(b, end + 10), 2);
    size_t cd = readU32LE(b, end + 16);
    EXPECT_EQ(cd + readU32LE(b, end + 12), end);
    for (uint32_t i = 0; i < 2; ++i) {
        ASSERT_EQ(readU32LE(b, cd), kCentralHeaderSignature);
        EXPECT_EQ(readU32LE(b, cd + 12), 0u);
        EXPECT_EQ(readU32LE(b, cd + 16), back.Entry(i).crc);
        EXPECT_EQ(readU32LE(b, cd + 42), back.Entry(i).offset);
        cd += 46 + readU16LE(b, cd + 28);
    }
}

TEST(ZipSaveAndStore, UnwritableOutputIsReportedAndWritesNothing) {
    test::TempDir dir;
    ZipSaveAndStore zip;
    EXPECT_EQ(zip.OpenOutput(dir.path() / "no" / "such" / "dir.zip"), 0);
    const ByteSpan part = spanOf("x");
    LocalEntry e;
    zip.AddEntry(e, &part, 1, false);
    zip.Finish();
    EXPECT_TRUE(zip.Failed());
    EXPECT_EQ(zip.Written(), 0u);
}

}  // namespace
}  // namespace morvel
