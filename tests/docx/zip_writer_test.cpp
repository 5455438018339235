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

// Rewritten content is deflated in place at the end of the archive: whatever room was
// reserved (none, too little, or what EntryRoom asks for), each entry reads back whole after
// entries written before it, and with EntryRoom's room the archive is never moved.
TEST(ZipSaveAndStore, DeflatesInPlaceWhateverTheRoomReserved) {
    // Hardly compressible text above the large-part threshold, and a small part.
    std::string large(kLargeDeflateThreshold + 4096, '\0');
    uint32_t x = 12345;
    for (char& c : large) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>('a' + (x >> 16) % 26);
    }
    const std::string small = "<w:document>small</w:document>";
    const std::string name = "word/document.xml";
    LocalEntry e;
    e.name = spanOf(name);
    e.nameLength = static_cast<uint16_t>(name.size());
    enum class Room { None, TooLittle, Planned };
    for (const Room room : {Room::None, Room::TooLittle, Room::Planned}) {
        SCOPED_TRACE(static_cast<int>(room));
        ZipSaveAndStore zip;
        zip.OpenMemory();
        const size_t planned = ZipSaveAndStore::EntryRoom(name.size(), small.size()) +
                               ZipSaveAndStore::EntryRoom(name.size(), large.size()) + 4096;
        if (room == Room::TooLittle)
            zip.Reserve(large.size() / 2);
        if (room == Room::Planned)
            zip.Reserve(planned);
        const uint8_t* before = zip.Bytes().data();
        const ByteSpan first = spanOf(small);
        zip.AddEntry(e, &first, 1, false);
        // The large part arrives in many pieces, as rewritten parts do.
        std::vector<ByteSpan> pieces;
        for (size_t at = 0; at < large.size(); at += 1000)
            pieces.emplace_back(reinterpret_cast<const uint8_t*>(large.data()) + at,
                                static_cast<uint32_t>(std::min<size_t>(1000, large.size() - at)));
        zip.AddEntry(e, pieces.data(), static_cast<uint32_t>(pieces.size()), false);
        zip.Finish();
        ASSERT_FALSE(zip.Failed());
        if (room == Room::Planned) {
            EXPECT_EQ(zip.Bytes().data(), before);
        }
        std::vector<uint8_t> b = zip.TakeBytes();
        ZipBrokenExtractor back;
        back.OpenMemory(b.data(), static_cast<uint32_t>(b.size()));
        ASSERT_EQ(back.EntryCount(), 2u);
        EXPECT_EQ(back.GetEntryData(0).view(), small);
        EXPECT_TRUE(back.GetEntryData(1).view() == large);
        EXPECT_EQ(back.Entry(1).uncompressedSize, large.size());
    }
}

}  // namespace
}  // namespace morvel
