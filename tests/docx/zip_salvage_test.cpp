#include <gtest/gtest.h>

#include <functional>

#include "docx/zip_broken_extractor.h"
#include "platform/le_reader.h"
#include "tests/support/test_files.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

using test::ZipBuilder;
using Found = std::vector<std::pair<std::string, std::string>>;

Found salvage(const std::vector<uint8_t>& bytes) {
    ZipBrokenExtractor z;
    EXPECT_EQ(z.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size())), 0);
    Found found;
    for (uint32_t i = 0; i < z.EntryCount(); ++i)
        found.emplace_back(std::string(z.Entry(i).name.view()),
                           std::string(z.GetEntryData(i).view()));
    return found;
}

std::vector<uint8_t> garbage(size_t n) {
    std::vector<uint8_t> g(n);
    for (size_t i = 0; i < n; ++i)
        g[i] = static_cast<uint8_t>(i * 37 + 11);
    return g;
}

// Text that deflate cannot squeeze much, so cutting into its data really damages it.
const std::string kText = [] {
    std::string t;
    for (uint32_t i = 0, v = 7; i < 600; ++i, v = v * 1103515245u + 12345u)
        t += static_cast<char>('a' + (v >> 16) % 26);
    return t;
}();
const Found kThree = {{"a.xml", "<a/>"}, {"b.bin", "stored bytes"}, {"c.xml", kText}};

ZipBuilder threeEntries(std::vector<size_t>* offsets = nullptr) {
    ZipBuilder zip;
    size_t a = zip.add("a.xml", "<a/>");
    size_t b = zip.add("b.bin", "stored bytes", 0);
    size_t c = zip.add("c.xml", kText);
    if (offsets)
        *offsets = {a, b, c};
    return zip;
}

struct ScanCase {
    const char* what;
    std::function<std::vector<uint8_t>()> build;
    Found expected;
};

class ScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTest, FindsExactlyTheIntactEntries) {
    EXPECT_EQ(salvage(GetParam().build()), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, ScanTest,
    ::testing::Values(
        ScanCase{"intact", [] { return threeEntries().finish(); }, kThree},
        ScanCase{"central directory and end record zeroed",
                 [] {
                     ZipBuilder zip = threeEntries();
                     std::vector<uint8_t> b = zip.finish();
                     std::fill(b.begin() + zip.localPart().size(), b.end(), 0);
                     return b;
                 },
                 kThree},
        ScanCase{"garbage before and between entries",
                 [] {
                     ZipBuilder zip;
                     zip.addBytes(garbage(1024));
                     zip.add("a.xml", "<a/>");
                     zip.addBytes(garbage(77));
                     zip.add("b.bin", "stored bytes", 0);
                     zip.add("c.xml", kText);
                     return zip.finish();
                 },
                 kThree},
        ScanCase{"cut inside the last entry",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).localPart();
                     b.resize(at[2] + 60);
                     return b;
                 },
                 Found{kThree[0], kThree[1]}},
        ScanCase{"wrong compressed size",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).localPart();
                     // Both sizes: a stored entry whose sizes disagree keeps the one its CRC
                     // holds over.
                     writeU32LE(b, at[1] + 18, readU32LE(b, at[1] + 18) + 1);
                     writeU32LE(b, at[1] + 22, readU32LE(b, at[1] + 22) + 1);
                     return b;
                 },
                 Found{kThree[0], kThree[2]}},
        ScanCase{"declared uncompressed size too small",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).localPart();
                     writeU32LE(b, at[2] + 22, 100);
                     return b;
                 },
                 Found{kThree[0], kThree[1]}},
        ScanCase{"declared uncompressed size beyond what the data can hold",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).localPart();
                     writeU32LE(b, at[2] + 22, 0xFFFFFF00u);
                     return b;
                 },
                 Found{kThree[0], kThree[1]}},
        ScanCase{"ZIP64 markers with no ZIP64 field",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).localPart();
                     writeU32LE(b, at[0] + 18, 0xFFFFFFFFu);
                     writeU32LE(b, at[0] + 22, 0xFFFFFFFFu);
                     return b;
                 },
                 Found{kThree[1], kThree[2]}},
        ScanCase{"duplicate names are both kept",
                 [] {
                     ZipBuilder zip;
                     zip.add("a.xml", "first");
                     zip.add("a.xml", "second");
                     return zip.finish();
                 },
                 Found{{"a.xml", "first"}, {"a.xml", "second"}}},
        ScanCase{"stray central directory signature hides the entry inside its extent",
                 [] {
                     std::vector<uint8_t> stray(46, 0);
                     writeU32LE(stray, 0, 0x02014B50);
                     writeU16LE(stray, 28, 200);  // name length: the extent covers a.xml
                     ZipBuilder zip;
                     zip.addBytes(stray);
                     zip.add("a.xml", "<a/>");
                     zip.addBytes(garbage(200));
                     zip.add("c.xml", kText);
                     return zip.localPart();
                 },
                 Found{kThree[2]}},
        ScanCase{"archive stored inside a damaged entry",
                 [] {
                     ZipBuilder inner;
                     inner.add("inner.xml", "<in/>");
                     std::vector<uint8_t> in = inner.finish();
                     ZipBuilder zip;
                     size_t at = zip.add("outer.zip", std::string(in.begin(), in.end()), 0);
                     zip.add("a.xml", "<a/>");
                     zip.central()[0].crc ^= 1;
                     std::vector<uint8_t> b = zip.finish();
                     b[at + 14] ^= 1;  // CRC of the outer entry, in both maps
                     return b;
                 },
                 Found{{"inner.xml", "<in/>"}, kThree[0]}},
        ScanCase{"archive stored inside an intact entry stays hidden",
                 [] {
                     ZipBuilder inner;
                     inner.add("inner.xml", "<in/>");
                     std::vector<uint8_t> in = inner.finish();
                     ZipBuilder zip;
                     zip.add("outer.zip", std::string(in.begin(), in.end()), 0);
                     return zip.finish();
                 },
                 Found{{"outer.zip",
                        [] {
                            ZipBuilder inner;
                            inner.add("inner.xml", "<in/>");
                            std::vector<uint8_t> in = inner.finish();
                            return std::string(in.begin(), in.end());
                        }()}}},
        ScanCase{"deferred sizes with no stream after them: dropped, not taken as empty",
                 [] {
                     std::vector<uint8_t> h(30 + 5 + 12, 0);
                     writeU32LE(h, 0, 0x04034B50);
                     writeU16LE(h, 6, 0x0008);
                     writeU16LE(h, 8, 8);
                     writeU16LE(h, 26, 5);
                     std::copy_n("e.xml", 5, h.begin() + 30);
                     ZipBuilder zip;
                     zip.addBytes(h);
                     zip.add("a.xml", "<a/>");
                     return zip.finish();
                 },
                 Found{kThree[0]}},
        ScanCase{"CRC 0 over data that does not inflate: dropped, not taken as zeros",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).finish();
                     writeU32LE(b, at[2] + 14, 0);
                     b[at[2] + 30 + 5] = 0xFF;  // first byte of the stream: an invalid block type
                     return b;
                 },
                 Found{kThree[0], kThree[1]}},
        ScanCase{"empty deflated entry with no data at all",
                 [] {
                     std::vector<uint8_t> h(30 + 5, 0);
                     writeU32LE(h, 0, 0x04034B50);
                     writeU16LE(h, 8, 8);
                     writeU16LE(h, 26, 5);
                     std::copy_n("e.xml", 5, h.begin() + 30);
                     ZipBuilder zip;
                     zip.addBytes(h);
                     zip.add("a.xml", "<a/>");
                     return zip.finish();
                 },
                 Found{{"e.xml", ""}, kThree[0]}},
        ScanCase{"deferred sizes resolved from the data descriptor",
                 [] {
                     ZipBuilder zip;
                     zip.add("a.xml", "<a/>", 8, true);
                     zip.add("c.xml", kText, 8, true);
                     return zip.finish();
                 },
                 Found{kThree[0], kThree[2]}},
        ScanCase{"central record supplies sizes the local header lies about",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).finish();
                     writeU32LE(b, at[1] + 18, readU32LE(b, at[1] + 18) + 1);
                     writeU32LE(b, at[1] + 22, readU32LE(b, at[1] + 22) + 1);
                     writeU32LE(b, at[2] + 22, 100);
                     writeU32LE(b, at[0] + 18, 0xFFFFFFFFu);
                     writeU32LE(b, at[0] + 22, 0xFFFFFFFFu);
                     return b;
                 },
                 kThree},
        ScanCase{"central record finds an entry the walk cannot see",
                 [] {
                     std::vector<uint8_t> stray(46, 0);
                     writeU32LE(stray, 0, 0x02014B50);
                     writeU16LE(stray, 28, 200);
                     ZipBuilder zip;
                     zip.addBytes(stray);
                     zip.add("a.xml", "<a/>");
                     zip.addBytes(garbage(200));
                     zip.add("c.xml", kText);
                     return zip.finish();
                 },
                 Found{kThree[0], kThree[2]}},
        ScanCase{"local signature zeroed",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).finish();
                     writeU32LE(b, at[2], 0);
                     return b;
                 },
                 kThree},
        ScanCase{"local header and name zeroed",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).finish();
                     std::fill_n(b.begin() + static_cast<long>(at[1]), 30 + 5, 0);
                     std::fill_n(b.begin() + static_cast<long>(at[2]), 30, 0);
                     return b;
                 },
                 kThree},
        ScanCase{"ZIP64 field in the local header",
                 [] {
                     ZipBuilder::Entry how;
                     how.zip64Local = true;
                     ZipBuilder zip;
                     zip.add("a.xml", "<a/>", how);
                     how.method = 0;
                     zip.add("b.bin", "stored bytes", how);
                     return zip.localPart();
                 },
                 Found{kThree[0], kThree[1]}},
        ScanCase{"streamed: descriptor after real sizes in the header",
                 [] {
                     ZipBuilder::Entry how;
                     how.descriptor = how.headerSizes = true;
                     ZipBuilder zip;
                     zip.add("a.xml", "<a/>", how);
                     zip.add("c.xml", kText, how);
                     return zip.localPart();
                 },
                 Found{kThree[0], kThree[2]}},
        ScanCase{"streamed: ZIP64 descriptors, with and without signature",
                 [] {
                     ZipBuilder::Entry how;
                     how.descriptor = how.zip64Descriptor = true;
                     ZipBuilder zip;
                     zip.add("a.xml", "<a/>", how);
                     how.descriptorSignature = false;
                     zip.add("c.xml", kText, how);
                     return zip.localPart();
                 },
                 Found{kThree[0], kThree[2]}},
        ScanCase{"streamed: stored entries with descriptors",
                 [] {
                     ZipBuilder::Entry how;
                     how.method = 0;
                     how.descriptor = how.headerSizes = true;
                     ZipBuilder zip;
                     zip.add("a.xml", "<a/>", how);
                     how.headerSizes = false;  // sizes only in the descriptor
                     zip.add("b.bin", "stored bytes", how);
                     how.zip64Descriptor = true;
                     how.descriptorSignature = true;
                     zip.add("c.xml", kText, how);
                     return zip.localPart();
                 },
                 kThree},
        ScanCase{"stored sizes disagree: the one the CRC holds over is kept",
                 [] {
                     std::vector<size_t> at;
                     std::vector<uint8_t> b = threeEntries(&at).localPart();
                     writeU32LE(b, at[1] + 18, readU32LE(b, at[1] + 18) + 40);
                     return b;
                 },
                 kThree},
        ScanCase{"descriptor flag with a compressed size past the end of the file",
                 [] {
                     std::vector<uint8_t> h(30 + 5 + 2, 0);
                     writeU32LE(h, 0, 0x04034B50);
                     writeU16LE(h, 6, 0x0008);
                     writeU16LE(h, 8, 8);
                     writeU32LE(h, 18, 0x20000000);
                     writeU16LE(h, 26, 5);
                     std::copy_n("e.xml", 5, h.begin() + 30);
                     h[35] = 0x03;  // an empty final block: CRC 0 and size 0 hold
                     ZipBuilder zip;
                     zip.addBytes(h);
                     zip.add("a.xml", "<a/>");
                     return zip.finish();
                 },
                 Found{kThree[0]}},
        ScanCase{"three bytes",
                 [] {
                     return std::vector<uint8_t>{'P', 'K', 3};
                 },
                 Found{}}));

TEST(ZipBrokenExtractor, StoredContentIsNotCopiedAndDeflatedContentIsOwned) {
    std::vector<uint8_t> bytes = threeEntries().finish();
    ZipBrokenExtractor z;
    z.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_EQ(z.EntryCount(), 3u);
    EXPECT_EQ(z.GetEntryData(1).data, z.Entry(1).data.data);
    ByteSpan first = z.GetEntryData(2);
    ByteSpan again = z.GetEntryData(2);
    EXPECT_EQ(first.data, again.data);  // kept until released, not inflated anew
    EXPECT_EQ(first.view(), kText);
    z.ReleaseEntryData(2);
    EXPECT_EQ(z.GetEntryData(2).view(), kText);
    EXPECT_TRUE(z.GetEntryData(3).absent());
    EXPECT_EQ(z.FindEntry(spanOf("c.xml")), 2u);
    EXPECT_EQ(z.FindEntry(spanOf("C.xml")), kEntryNotFound);
}

TEST(ZipBrokenExtractor, OpenFileReportsOnlyUnreadableOrEmptyFiles) {
    test::TempDir dir;
    ZipBrokenExtractor z;
    EXPECT_EQ(z.OpenFile(dir.path() / "missing.docx"), 1);
    test::writeFile(dir.path() / "empty.docx", {});
    EXPECT_EQ(z.OpenFile(dir.path() / "empty.docx"), 1);
    test::writeFile(dir.path() / "junk.docx", garbage(500));
    EXPECT_EQ(z.OpenFile(dir.path() / "junk.docx"), 0);
    EXPECT_EQ(z.EntryCount(), 0u);
}

}  // namespace
}  // namespace morvel
