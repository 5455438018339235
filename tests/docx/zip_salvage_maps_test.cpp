// The salvage scan's second map (central records), its damaged entries, its findings, the
// true sizes it hands the writer, and its cost on hostile input.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "docx/zip_broken_extractor.h"
#include "docx/zip_save_and_store.h"
#include "platform/le_reader.h"
#include "tests/support/external_tools.h"
#include "tests/support/hostile_inputs.h"
#include "tests/support/test_files.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

using test::ZipBuilder;

const std::string kText = [] {
    std::string t;
    for (uint32_t i = 0, v = 7; i < 600; ++i, v = v * 1103515245u + 12345u)
        t += static_cast<char>('a' + (v >> 16) % 26);
    return t;
}();

struct Opened {
    std::vector<uint8_t> bytes;
    ZipBrokenExtractor zip;
    explicit Opened(std::vector<uint8_t> b) : bytes(std::move(b)) { zip.OpenSpan(bytes); }
};

double secondsToOpen(const std::vector<uint8_t>& bytes, ZipBrokenExtractor& z) {
    const auto t0 = std::chrono::steady_clock::now();
    z.OpenSpan(bytes);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

TEST(ZipSalvageMaps, EachEntryKnowsWhichMapSuppliedIt) {
    ZipBuilder zip;
    zip.add("a.xml", "<a/>");
    const size_t b = zip.add("b.xml", kText);
    std::vector<uint8_t> bytes = zip.finish();
    writeU32LE(bytes, b, 0);  // b's local signature gone: only its central record knows it
    bytes.insert(bytes.begin(), 1000, 'x');  // and everything moved: the end record tells
    Opened o(bytes);
    ASSERT_EQ(o.zip.EntryCount(), 2u);
    EXPECT_EQ(o.zip.Entry(0).source, EntrySource::Both);
    EXPECT_EQ(o.zip.Entry(1).source, EntrySource::Central);
    EXPECT_EQ(o.zip.Entry(1).offset, b + 1000);
    EXPECT_EQ(o.zip.GetEntryData(1).view(), kText);

    Opened local(zip.localPart());
    ASSERT_EQ(local.zip.EntryCount(), 2u);
    EXPECT_EQ(local.zip.Entry(0).source, EntrySource::Local);

    Opened both(zip.finish());
    ASSERT_EQ(both.zip.EntryCount(), 2u);
    EXPECT_EQ(both.zip.Entry(1).source, EntrySource::Both);

    std::vector<uint8_t> zeroed = zip.finish();
    writeU32LE(zeroed, b, 0);
    Opened central(zeroed);
    ASSERT_EQ(central.zip.EntryCount(), 2u);
    EXPECT_EQ(central.zip.Entry(0).source, EntrySource::Both);
    const LocalEntry& e = central.zip.Entry(1);
    EXPECT_EQ(e.source, EntrySource::Central);
    EXPECT_EQ(e.signature, kLocalHeaderSignature);  // what the writer puts out
    EXPECT_EQ(e.offset, b);
    EXPECT_EQ(central.zip.GetEntryData(1).view(), kText);
}

TEST(ZipSalvageMaps, NestedArchiveInAnEntryTheCentralRecordVouchesForStaysHidden) {
    ZipBuilder inner;
    inner.add("inner.xml", "<in/>");
    const std::vector<uint8_t> in = inner.finish();
    ZipBuilder zip;
    const size_t at = zip.add("outer.zip", std::string(in.begin(), in.end()), 0);
    zip.add("a.xml", "<a/>");
    std::vector<uint8_t> bytes = zip.finish();
    bytes[at + 14] ^= 1;  // only the local CRC: the central record still vouches for it
    Opened o(bytes);
    ASSERT_EQ(o.zip.EntryCount(), 2u);
    EXPECT_EQ(o.zip.Entry(0).name.view(), "outer.zip");
    EXPECT_EQ(o.zip.Entry(0).source, EntrySource::Central);
    EXPECT_EQ(o.zip.Entry(1).name.view(), "a.xml");
    EXPECT_EQ(o.zip.DamagedCount(), 0u);
}

TEST(ZipSalvageMaps, StoredEntryCarriesItsTrueSizes) {
    ZipBuilder zip;
    const size_t at = zip.add("b.bin", "stored bytes", 0);
    zip.add("a.xml", "<a/>");
    std::vector<uint8_t> bytes = zip.localPart();
    writeU32LE(bytes, at + 22, 4000);  // uncompressed size that the data does not have
    Opened o(bytes);
    ASSERT_EQ(o.zip.EntryCount(), 2u);
    EXPECT_EQ(o.zip.Entry(0).compressedSize, 12u);
    EXPECT_EQ(o.zip.Entry(0).uncompressedSize, 12u);
    EXPECT_EQ(o.zip.GetEntryData(0).view(), "stored bytes");
}

struct DamageCase {
    const char* what;
    std::function<std::vector<uint8_t>()> build;
    std::string name;      // the damaged entry expected
    PartState state;       // what decoding it gives
    bool wholeText;        // decoded bytes are kText, else a proper prefix of it
    uint32_t intactCount;  // entries still intact
};

class DamagedEntries : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedEntries, AreKeptOncePerNameAndDecodeAsFarAsTheDataGoes) {
    const DamageCase& c = GetParam();
    Opened o(c.build());
    EXPECT_EQ(o.zip.EntryCount(), c.intactCount) << c.what;
    ASSERT_EQ(o.zip.DamagedCount(), 1u) << c.what;
    EXPECT_EQ(o.zip.Damaged(0).name.view(), c.name);
    EXPECT_EQ(o.zip.FindDamaged(spanOf(c.name)), 0u);
    EXPECT_EQ(o.zip.FindEntry(spanOf(c.name)), kEntryNotFound);
    const ZipBrokenExtractor::DecodedPart part = o.zip.DecodeDamaged(0);
    const std::string got(part.bytes.begin(), part.bytes.end());
    EXPECT_EQ(part.state, c.state) << c.what;
    EXPECT_EQ(part.declaredSize, kText.size());
    if (c.wholeText) {
        EXPECT_EQ(got, kText) << c.what;
    } else {
        EXPECT_LT(got.size(), kText.size()) << c.what;
        EXPECT_EQ(got, kText.substr(0, got.size())) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedEntries,
    ::testing::Values(DamageCase{"CRC spoiled in both maps, data whole",
                                 [] {
                                     ZipBuilder zip;
                                     zip.add("a.xml", "<a/>");
                                     const size_t at = zip.add("c.xml", kText);
                                     zip.central()[1].crc ^= 1;
                                     std::vector<uint8_t> b = zip.finish();
                                     b[at + 14] ^= 1;
                                     return b;
                                 },
                                 "c.xml", PartState::Repaired, true, 1},
                      DamageCase{"stored entry with a spoiled CRC",
                                 [] {
                                     ZipBuilder zip;
                                     const size_t at = zip.add("c.xml", kText, 0);
                                     zip.add("a.xml", "<a/>");
                                     std::vector<uint8_t> b = zip.localPart();
                                     b[at + 14] ^= 1;
                                     return b;
                                 },
                                 "c.xml", PartState::Repaired, true, 1},
                      DamageCase{"cut off by the end of the file",
                                 [] {
                                     ZipBuilder zip;
                                     zip.add("a.xml", "<a/>");
                                     const size_t at = zip.add("c.xml", kText);
                                     std::vector<uint8_t> b = zip.localPart();
                                     b.resize(at + 30 + 5 + 200);
                                     return b;
                                 },
                                 "c.xml", PartState::Partial, false, 1},
                      DamageCase{
                          "local header zeroed and CRC failing: found through the central record",
                          [] {
                              ZipBuilder zip;
                              zip.add("a.xml", "<a/>");
                              const size_t at = zip.add("c.xml", kText);
                              zip.central()[1].crc ^= 1;
                              std::vector<uint8_t> b = zip.finish();
                              std::fill_n(b.begin() + static_cast<long>(at), 30, 0);
                              return b;
                          },
                          "c.xml", PartState::Repaired, true, 1},
                      DamageCase{"two damaged copies: the more complete one is kept",
                                 [] {
                                     ZipBuilder zip;
                                     const size_t first = zip.add("c.xml", kText);
                                     zip.add("a.xml", "<a/>");
                                     zip.add("a.xml", "<a/>");
                                     const size_t second = zip.add("c.xml", kText);
                                     std::vector<uint8_t> b = zip.localPart();
                                     writeU32LE(b, first + 18, 100);  // data cut short
                                     b[second + 14] ^= 1;             // whole data, bad CRC
                                     return b;
                                 },
                                 "c.xml", PartState::Repaired, true, 2}));

TEST(ZipSalvageMaps, DamagedEntryWithAnIntactCopyIsNotListed) {
    ZipBuilder zip;
    const size_t at = zip.add("c.xml", kText);
    zip.add("c.xml", kText);
    std::vector<uint8_t> bytes = zip.localPart();
    bytes[at + 14] ^= 1;
    Opened o(bytes);
    EXPECT_EQ(o.zip.EntryCount(), 1u);
    EXPECT_EQ(o.zip.DamagedCount(), 0u);
}

TEST(ZipSalvageMaps, FindingsRecordEveryRecordAndRefusal) {
    ZipBuilder zip;
    zip.add("a.xml", "<a/>");
    const size_t at = zip.add("c.xml", kText);
    std::vector<uint8_t> bytes = zip.finish();
    bytes[at + 14] ^= 1;
    Opened o(bytes);
    const std::vector<ZipFinding>& f = o.zip.Findings();
    auto has = [&](ZipRecordKind kind, std::string_view name, std::string_view message,
                   FindingGrade grade) {
        for (const ZipFinding& x : f)
            if (x.kind == kind && x.name == name && x.message == message && x.grade == grade)
                return true;
        return false;
    };
    EXPECT_TRUE(
        has(ZipRecordKind::LocalHeader, "a.xml", zipfinding::kAccepted, FindingGrade::None));
    EXPECT_TRUE(has(ZipRecordKind::CentralHeader, "a.xml", zipfinding::kCentralConfirms,
                    FindingGrade::None));
    EXPECT_TRUE(has(ZipRecordKind::LocalHeader, "c.xml", zipfinding::kCrcMismatch,
                    FindingGrade::Incorrect));
    EXPECT_TRUE(has(ZipRecordKind::CentralHeader, "c.xml", zipfinding::kFromCentral,
                    FindingGrade::Potential));
    EXPECT_TRUE(has(ZipRecordKind::EndRecord, "", zipfinding::kEndRecord, FindingGrade::None));

    Opened junk(std::vector<uint8_t>(100, 'x'));
    ASSERT_EQ(junk.zip.Findings().size(), 1u);
    EXPECT_EQ(junk.zip.Findings()[0].grade, FindingGrade::Fatal);
}

// Writes every intact entry as the writer copies it and asks unzip whether the result is a
// sound archive with no warnings.
void expectCleanCopy(ZipBrokenExtractor& z, const std::filesystem::path& out) {
    ZipSaveAndStore w;
    w.OpenOutput(out);
    for (uint32_t i = 0; i < z.EntryCount(); ++i)
        w.AddEntry(z.Entry(i), &z.Entry(i).data, 1, true);
    w.Finish();
    ASSERT_FALSE(w.Failed());
    std::string said;
    EXPECT_EQ(test::runCommand("unzip -t " + test::shellQuote(out.string()) + " 2>&1", said), 0)
        << said;
    EXPECT_EQ(said.find("warning"), std::string::npos) << said;
}

TEST(ZipSalvageMaps, StreamedPackageFromZipToAPipeIsReadWholeAndCopiedSound) {
    if (!test::haveProgram("zip") || !test::haveProgram("unzip"))
        GTEST_SKIP() << "zip and unzip are needed";
    test::TempDir dir;
    const auto src = dir.path() / "src";
    std::filesystem::create_directories(src / "word");
    test::writeFile(src / "word" / "document.xml", test::bytesOf(kText + kText));
    test::writeFile(src / "[Content_Types].xml", test::bytesOf("<Types/>"));
    test::writeFile(src / "empty.bin", {});
    std::string said;
    ASSERT_EQ(test::runCommand("cd " + test::shellQuote(src.string()) +
                                   " && zip -q -r - . | cat > ../streamed.docx",
                               said),
              0)
        << said;
    ZipBrokenExtractor z;
    ASSERT_EQ(z.OpenFile(dir.path() / "streamed.docx"), 0);
    ASSERT_NE(z.FindEntry(spanOf("word/document.xml")), kEntryNotFound);
    EXPECT_EQ(z.GetEntryData(z.FindEntry(spanOf("word/document.xml"))).view(), kText + kText);
    EXPECT_NE(z.FindEntry(spanOf("[Content_Types].xml")), kEntryNotFound);
    EXPECT_NE(z.FindEntry(spanOf("empty.bin")), kEntryNotFound);
    EXPECT_EQ(z.DamagedCount(), 0u);
    expectCleanCopy(z, dir.path() / "copy.zip");
}

TEST(ZipSalvageMaps, StoredEntryWithDisagreeingSizesIsCopiedSound) {
    if (!test::haveProgram("unzip"))
        GTEST_SKIP() << "unzip is needed";
    ZipBuilder zip;
    const size_t at = zip.add("b.bin", "stored bytes", 0);
    std::vector<uint8_t> bytes = zip.localPart();
    writeU32LE(bytes, at + 22, 99);
    Opened o(bytes);
    ASSERT_EQ(o.zip.EntryCount(), 1u);
    test::TempDir dir;
    expectCleanCopy(o.zip, dir.path() / "copy.zip");
}

// Raw deflate of `blocks` MiB of zeros, built from one flushed block repeated so a test can
// have a stream of a gigabyte's output without deflating a gigabyte.
std::vector<uint8_t> zeroKernel(uint32_t blocks) {
    z_stream s{};
    deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> zeros(1 << 20, 0), out(1 << 16);
    auto run = [&](uInt in, int flush) {
        s.next_in = zeros.data();
        s.avail_in = in;
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(out.size());
        deflate(&s, flush);
        return std::vector<uint8_t>(out.begin(), out.end() - s.avail_out);
    };
    const std::vector<uint8_t> first = run(static_cast<uInt>(zeros.size()), Z_FULL_FLUSH);
    const std::vector<uint8_t> block = run(static_cast<uInt>(zeros.size()), Z_FULL_FLUSH);
    const std::vector<uint8_t> tail = run(0, Z_FINISH);
    deflateEnd(&s);
    std::vector<uint8_t> kernel = first;
    for (uint32_t i = 1; i < blocks; ++i)
        kernel.insert(kernel.end(), block.begin(), block.end());
    kernel.insert(kernel.end(), tail.begin(), tail.end());
    return kernel;
}

TEST(ZipSalvageHostile, BackToBackStoredHeadersReachingTheEndCostLinearTime) {
    // 1 MB of stored local headers, each declaring data to the end of the file.
    constexpr size_t kSize = 1 << 20, kHeader = 31;
    std::vector<uint8_t> bytes(kSize, 0);
    for (size_t at = 0; at + kHeader <= kSize; at += kHeader) {
        writeU32LE(bytes, at, kLocalHeaderSignature);
        writeU32LE(bytes, at + 14, 0x12345678);
        writeU32LE(bytes, at + 18, static_cast<uint32_t>(kSize - at - kHeader));
        writeU32LE(bytes, at + 22, static_cast<uint32_t>(kSize - at - kHeader));
        writeU16LE(bytes, at + 26, 1);
        bytes[at + 30] = 'n';
    }
    ZipBrokenExtractor z;
    EXPECT_LT(secondsToOpen(bytes, z), 5.0);
    EXPECT_EQ(z.EntryCount(), 0u);
    EXPECT_EQ(z.DamagedCount(), 1u);  // one per name
}

TEST(ZipSalvageHostile, OverlappingHeadersOnOneGigabyteKernelInflateItOnceWithinBudget) {
    const std::vector<uint8_t> kernel = zeroKernel(1024);
    constexpr size_t kHeaders = 2000, kHeader = 31;
    const size_t dataStart = kHeaders * kHeader;
    std::vector<uint8_t> bytes(dataStart, 0);
    for (size_t i = 0; i < kHeaders; ++i) {
        const size_t at = i * kHeader;
        writeU32LE(bytes, at, kLocalHeaderSignature);
        writeU16LE(bytes, at + 8, kMethodDeflate);
        writeU32LE(bytes, at + 14, 0x12345678);  // wrong: every header fails its check
        writeU32LE(bytes, at + 18, static_cast<uint32_t>(kernel.size()));
        writeU32LE(bytes, at + 22, 1u << 30);
        writeU16LE(bytes, at + 26, 1);
        writeU16LE(bytes, at + 28, static_cast<uint16_t>(dataStart - at - kHeader));
        bytes[at + 30] = 'n';
    }
    bytes.insert(bytes.end(), kernel.begin(), kernel.end());
    ZipBrokenExtractor z;
    EXPECT_LT(secondsToOpen(bytes, z), 5.0);
    EXPECT_EQ(z.EntryCount(), 0u);
    EXPECT_TRUE(z.InflateBudgetExhausted());
}

TEST(ZipSalvageHostile, OverlappingHeadersListedInTheDirectoryInflateTheSharedStreamOnce) {
    // Each header's data quotes the next header and all end in one 1 GiB stream; the first
    // header is sound, so its stream is inflated once in full, and the central records of
    // the headers inside its data cost nothing (checking each took over 15 minutes).
    const std::vector<uint8_t> bytes = test::overlappingHeadersSharingOneStream(1);
    ZipBrokenExtractor z;
    EXPECT_LT(secondsToOpen(bytes, z), 30.0);
    EXPECT_EQ(z.EntryCount(), 1u);
}

TEST(ZipSalvageHostile, GigabyteEntryVouchedForByBothMapsIsNotStarved) {
    // The budget follows what intact entries declare: a kernel both maps agree on is
    // checked in full, while the same bytes with no central directory run out of budget.
    const std::vector<uint8_t> kernel = zeroKernel(128);
    const uint32_t size = 128u << 20;
    ZipBuilder zip;
    const size_t at = zip.add("big.bin", "", 0);
    std::vector<uint8_t> local = zip.localPart();
    writeU16LE(local, at + 8, kMethodDeflate);
    std::vector<uint8_t> zeros(1 << 20, 0);
    uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
    for (int i = 0; i < 128; ++i)
        crc = static_cast<uint32_t>(crc32(crc, zeros.data(), static_cast<uInt>(zeros.size())));
    writeU32LE(local, at + 14, crc);
    writeU32LE(local, at + 18, static_cast<uint32_t>(kernel.size()));
    writeU32LE(local, at + 22, size);
    local.insert(local.end(), kernel.begin(), kernel.end());
    {
        ZipBrokenExtractor z;
        z.OpenSpan(local);
        EXPECT_EQ(z.EntryCount(), 0u);
        EXPECT_TRUE(z.InflateBudgetExhausted());
    }
    ZipBuilder::Central c{
        "big.bin", kMethodDeflate, 0, crc, static_cast<uint32_t>(kernel.size()), size, 0, {}};
    std::vector<uint8_t> whole = local;
    const auto cd = static_cast<uint32_t>(whole.size());
    ZipBuilder central;
    central.central().push_back(c);
    std::vector<uint8_t> tail = central.finish();
    writeU32LE(tail, tail.size() - 6, cd);
    whole.insert(whole.end(), tail.begin(), tail.end());
    ZipBrokenExtractor z;
    z.OpenSpan(whole);
    ASSERT_EQ(z.EntryCount(), 1u);
    EXPECT_EQ(z.Entry(0).source, EntrySource::Both);
    EXPECT_FALSE(z.InflateBudgetExhausted());
}

TEST(ZipSalvageHostile, HundredThousandEntriesAreLookedUpByName) {
    ZipBuilder zip;
    constexpr int kCount = 100000;
    for (int i = 0; i < kCount; ++i)
        zip.add("p/" + std::to_string(i) + ".xml", "x", 0);
    const std::vector<uint8_t> bytes = zip.finish();
    ZipBrokenExtractor z;
    const auto t0 = std::chrono::steady_clock::now();
    z.OpenSpan(bytes);
    ASSERT_EQ(z.EntryCount(), static_cast<uint32_t>(kCount));
    uint32_t found = 0;
    for (int i = 0; i < kCount; ++i) {
        const std::string name = "p/" + std::to_string(i) + ".xml";
        found += z.FindEntry(spanOf(name)) == static_cast<uint32_t>(i);
    }
    EXPECT_EQ(found, static_cast<uint32_t>(kCount));
    // A linear look-up takes over a minute here; sanitizer builds need the headroom.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 20.0);
}

}  // namespace
}  // namespace morvel
