// Undoing a text-mode transfer's line-end conversion of compound files: the container's own
// structure decides which line ends were there before.
#include "doc/line_end_repair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "tests/support/cfb_builder.h"
#include "tests/support/line_end_fixtures.h"
#include "tests/support/time_bounds.h"

namespace morvel {
namespace {

using test::TextTransfer;

struct Converted {
    const char* name;
    std::vector<uint8_t> file;
};

std::vector<Converted> originals() {
    const std::vector<uint8_t> v3 = test::lineEndCompoundFile();
    return {{"version3", v3}, {"version4", test::toVersion4(v3)}};
}

// Every way of converting gives back the original bytes: the header, FAT and directory
// sectors (whose values hold LFs too) place the sectors, and the PNG start and the CR LF
// text lines keep their own CRs.
TEST(CompoundFileLineEnds, EveryConversionIsUndone) {
    for (const Converted& original : originals()) {
        for (TextTransfer how :
             {TextTransfer::EveryLf, TextTransfer::LoneLf, TextTransfer::CrLfToLf}) {
            SCOPED_TRACE(std::string(original.name) + " " + test::transferName(how));
            const std::vector<uint8_t> received = test::transferAsText(original.file, how);
            ASSERT_NE(received, original.file);
            const LineEndRepair r = undoCompoundFileLineEnds(received);
            ASSERT_TRUE(r.undone());
            EXPECT_EQ(r.conversion, how == TextTransfer::CrLfToLf ? LineEndConversion::CrLfToLf
                                                                  : LineEndConversion::LfToCrLf);
            EXPECT_TRUE(r.bytes == original.file);
            // Every LF lost its CR or none did: nothing was left to chance.
            if (how == TextTransfer::EveryLf) {
                EXPECT_TRUE(r.exact);
            }
            EXPECT_EQ(r.crsRemoved + original.file.size(), received.size() + r.crsInserted);
            EXPECT_NE(r.describe().find("line-end conversion undone"), std::string::npos);
        }
    }
}

// Files that merely hold CR LF or LF bytes keep every byte, however their size or line ends
// look: an intact file, one whose only LFs follow a CR, one cut short, and one that is no
// compound file at all.
TEST(CompoundFileLineEnds, FilesThatWereNotConvertedAreLeftAlone) {
    const std::vector<uint8_t> intact = test::lineEndCompoundFile();
    // Every LF after a CR: what a conversion leaves, yet nothing was converted.
    std::vector<uint8_t> onlyPairs = test::buildCompoundFile({
        {"WordDocument",
         test::transferAsText(test::binaryWithoutCr(6000, 11), TextTransfer::EveryLf)},
        {"1Table", test::transferAsText(test::binaryWithoutCr(3000, 12), TextTransfer::EveryLf)},
    });
    std::vector<uint8_t> cutShort(onlyPairs.begin(), onlyPairs.end() - 100);
    std::vector<uint8_t> notCompound =
        test::transferAsText(test::binaryWithoutCr(5000, 13), TextTransfer::EveryLf);
    const struct {
        const char* name;
        std::vector<uint8_t> file;
    } cases[] = {
        {"intact with CR LF pairs and lone LFs", intact},
        {"intact with CR LF pairs only", onlyPairs},
        {"cut short with CR LF pairs only", cutShort},
        {"no compound file", notCompound},
        {"intact version 4", test::toVersion4(intact)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LineEndRepair r = undoCompoundFileLineEnds(c.file);
        EXPECT_FALSE(r.undone());
        EXPECT_TRUE(r.bytes.empty());
    }
}

// A converted file that is damaged besides still gets the CRs the transfer added removed,
// as the better guess the salvage then works on; the repair says it is a guess.
TEST(CompoundFileLineEnds, ADamagedConvertedFileGetsTheBestGuess) {
    std::vector<uint8_t> original = test::lineEndCompoundFile();
    const test::CfbLayout layout = test::layoutOf(original);
    // A directory sector destroyed: no layout passes every check.
    std::fill_n(original.begin() + test::sectorPos(layout.dirStart), 512, uint8_t{0xEE});
    const LineEndRepair r =
        undoCompoundFileLineEnds(test::transferAsText(original, TextTransfer::EveryLf));
    ASSERT_TRUE(r.undone());
    EXPECT_FALSE(r.exact);
    EXPECT_TRUE(r.bytes == original);
    EXPECT_NE(r.describe().find("best guess"), std::string::npos);
}

// A large converted file with many sectors is undone in bounded time.
TEST(CompoundFileLineEnds, ALargeFileIsUndoneQuickly) {
    const std::vector<uint8_t> original = test::buildCompoundFile({
        {"WordDocument", test::binaryWithoutCr(3 << 20, 21)},
        {"Data", test::pngStart()},
    });
    const std::vector<uint8_t> received = test::transferAsText(original, TextTransfer::LoneLf);
    const auto started = std::chrono::steady_clock::now();
    const LineEndRepair r = undoCompoundFileLineEnds(received);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took.count(), 10 * test::kSlowdown);
    EXPECT_TRUE(r.bytes == original);
}

}  // namespace
}  // namespace morvel
