// Undoing a text-mode transfer's line-end conversion of ZIP packages: the central directory's
// offsets, sizes and CRC-32 values decide which line ends were there before.
#include "docx/line_end_repair.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include "docx/crc_line_ends.h"
#include "tests/support/line_end_fixtures.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

using test::TextTransfer;

// Every way of converting gives back the original package byte for byte: the stored PNG's
// two CR LF pairs are found from its CRC-32, the deflated entry's from inflating it.
TEST(PackageLineEnds, EveryConversionIsUndone) {
    const std::vector<uint8_t> original = test::lineEndPackage();
    for (TextTransfer how : {TextTransfer::EveryLf, TextTransfer::LoneLf, TextTransfer::CrLfToLf}) {
        SCOPED_TRACE(test::transferName(how));
        const std::vector<uint8_t> received = test::transferAsText(original, how);
        ASSERT_NE(received, original);
        const LineEndRepair r = undoPackageLineEnds(received);
        ASSERT_TRUE(r.undone());
        EXPECT_EQ(r.conversion, how == TextTransfer::CrLfToLf ? LineEndConversion::CrLfToLf
                                                              : LineEndConversion::LfToCrLf);
        EXPECT_TRUE(r.exact);
        EXPECT_TRUE(r.bytes == original);
    }
}

// Packages that merely hold CR LF or LF bytes keep every byte: an intact one, one whose only
// LFs follow a CR, one with bytes prepended or cut out of an entry (their offsets are off,
// but no entry checks only with CRs put back or taken away), and one with a record lost.
TEST(PackageLineEnds, PackagesThatWereNotConvertedAreLeftAlone) {
    const std::vector<uint8_t> intact = test::lineEndPackage();
    test::ZipBuilder pairsOnly;
    const std::vector<uint8_t> lines =
        test::transferAsText(test::binaryWithoutCr(4000, 31), TextTransfer::EveryLf);
    pairsOnly.add("a.bin", std::string(lines.begin(), lines.end()), 0);
    pairsOnly.add("b.xml", test::crLfLines(50));
    std::vector<uint8_t> prepended = test::binaryWithoutCr(1024, 32);
    prepended.insert(prepended.end(), intact.begin(), intact.end());
    std::vector<uint8_t> cutOut = intact;
    cutOut.erase(cutOut.begin() + 400, cutOut.begin() + 460);
    const std::vector<uint8_t> pairs = pairsOnly.finish();
    std::vector<uint8_t> pairsCut = pairs;
    pairsCut.erase(pairsCut.begin() + 1000, pairsCut.begin() + 1003);
    const struct {
        const char* name;
        std::vector<uint8_t> file;
    } cases[] = {
        {"intact", intact},
        {"intact with CR LF pairs only", pairs},
        {"1 KiB prepended", prepended},
        {"bytes cut out of an entry", cutOut},
        {"CR LF pairs only, bytes cut out", pairsCut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LineEndRepair r = undoPackageLineEnds(c.file);
        EXPECT_FALSE(r.undone());
        EXPECT_TRUE(r.bytes.empty());
    }
}

// A converted package with one entry damaged besides: the other entries are restored and the
// damaged one keeps its place, so the salvage finds every record; the repair says it is not
// exact.
TEST(PackageLineEnds, ADamagedEntryKeepsTheRestRestored) {
    std::vector<uint8_t> original = test::lineEndPackage();
    // Some bytes inside the deflated document.xml flipped (its record starts after the first).
    const size_t at = original.size() / 4;
    for (size_t i = 0; i < 8; ++i)
        original[at + i] ^= 0x5A;
    const LineEndRepair r =
        undoPackageLineEnds(test::transferAsText(original, TextTransfer::EveryLf));
    ASSERT_TRUE(r.undone());
    EXPECT_FALSE(r.exact);
    EXPECT_EQ(r.bytes.size(), original.size());
}

// The checksum search finds one, two or three lost CRs, whichever LFs they were before.
TEST(CrcLineEnds, LostCrsAreFoundFromTheChecksum) {
    const std::vector<uint8_t> base = test::binaryWithoutCr(5000, 41);
    const std::vector<size_t> lfs = lineFeedsIn(base, 0, base.size());
    ASSERT_GE(lfs.size(), 10u);
    const std::vector<std::vector<size_t>> cases = {
        {lfs[0]}, {lfs.back()}, {lfs[2], lfs[7]}, {lfs[1], lfs[4], lfs[9]}};
    for (const auto& lost : cases) {
        const std::vector<uint8_t> original = insertCrBefore(base, lost);
        const uint32_t crc = static_cast<uint32_t>(
            crc32(crc32(0, nullptr, 0), original.data(), static_cast<uInt>(original.size())));
        const auto found = findLostCrs(base, lfs, lost.size(), crc);
        ASSERT_TRUE(found);
        EXPECT_EQ(*found, lost);
        EXPECT_FALSE(findLostCrs(base, lfs, lost.size(), crc ^ 1));
    }
}

}  // namespace
}  // namespace morvel
