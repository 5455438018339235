#include "platform/line_ends.h"

#include <gtest/gtest.h>

#include <string>

namespace morvel {
namespace {

std::vector<uint8_t> bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Which conversion a buffer's line ends allow: LF to CR LF leaves no lone LF, CR LF to LF no
// pair; a CR CR LF counts as one pair, a CR at the very end as none.
TEST(LineEnds, CountsTellWhichConversionIsPossible) {
    const struct {
        std::string text;
        size_t pairs, lone;
        LineEndConversion possible;
    } cases[] = {
        {"", 0, 0, LineEndConversion::None},
        {"no line ends\r", 0, 0, LineEndConversion::None},
        {"\na\r\n", 1, 1, LineEndConversion::None},
        {"a\r\nb\r\r\n", 2, 0, LineEndConversion::LfToCrLf},
        {"\nb\n\r", 0, 2, LineEndConversion::CrLfToLf},
        // The kind that rules a conversion out comes last, after many of the other kind.
        {"\r\n\r\n\r\nx\n", 3, 1, LineEndConversion::None},
        {"\n\n\n\r\n", 1, 3, LineEndConversion::None},
        {"\r\n", 1, 0, LineEndConversion::LfToCrLf},
        {"\n", 0, 1, LineEndConversion::CrLfToLf},
    };
    for (const auto& c : cases) {
        const LineEndCounts n = countLineEnds(bytes(c.text));
        EXPECT_EQ(n.crLfPairs, c.pairs) << c.text;
        EXPECT_EQ(n.loneLfs, c.lone) << c.text;
        EXPECT_EQ(possibleConversion(n), c.possible) << c.text;
        // The scan that stops early gives the counts' answer.
        EXPECT_EQ(possibleConversionOf(bytes(c.text)), c.possible) << c.text;
    }
}

// Dropping the CR before every LF and putting CRs back before chosen LFs are inverses.
TEST(LineEnds, CrsAreDroppedAndPutBack) {
    const std::vector<uint8_t> received = bytes("\r\nab\r\r\ncd\r\n\r");
    const std::vector<uint8_t> d = dropCrBeforeLf(received);
    EXPECT_EQ(d, bytes("\nab\r\ncd\n\r"));
    EXPECT_EQ(lineFeedsIn(d, 0, d.size()), (std::vector<size_t>{0, 4, 7}));
    EXPECT_EQ(lineFeedsIn(d, 1, 7), (std::vector<size_t>{4}));
    const std::vector<size_t> all = {0, 4, 7};
    EXPECT_EQ(insertCrBefore(d, all), received);
    const std::vector<size_t> outside = {99};
    EXPECT_EQ(insertCrBefore(d, outside), d);
}

}  // namespace
}  // namespace morvel
