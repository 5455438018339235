#include "platform/windows1252.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/utf8.h"

namespace morvel {
namespace {

// Both conversions read the one table: every byte keeps its place in UTF-16, and the UTF-8
// for showing differs only where a byte is NUL or unassigned.
TEST(Windows1252, BothConversionsAgreeOnEveryByte) {
    std::vector<uint8_t> all(256);
    for (size_t b = 0; b < all.size(); ++b)
        all[b] = static_cast<uint8_t>(b);
    const std::vector<uint16_t> units = windows1252ToUtf16(all);
    ASSERT_EQ(units.size(), all.size());
    const std::vector<uint8_t> unassigned = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
    for (size_t b = 0; b < all.size(); ++b) {
        const std::vector<uint8_t> one = {static_cast<uint8_t>(b)};
        const bool isUnassigned =
            std::find(unassigned.begin(), unassigned.end(), b) != unassigned.end();
        std::string expected;
        if (b != 0)
            appendUtf8(expected, isUnassigned ? kReplacementCharacter : units[b]);
        EXPECT_EQ(windows1252ToUtf8(one), expected) << b;
        if (b < 0x80 || b >= 0xA0 || isUnassigned)
            EXPECT_EQ(units[b], b) << b;
        else
            EXPECT_GE(units[b], 0x100) << b;  // a typographic character of the code page
    }
    EXPECT_EQ(units[0x80], 0x20AC);
    EXPECT_EQ(units[0x93], 0x201C);
    EXPECT_EQ(units[0x9F], 0x0178);
}

TEST(Windows1252, FlagsUtf16ChunksNoTextHolds) {
    struct Case {
        std::vector<uint8_t> chunk;
        bool illegal;
    } cases[] = {
        {{'a', 0, 0x0D, 0, 0x0A, 0}, false},
        {{'a', 0, 0xFF, 0xFF}, true},
        {{0xFE, 0xFF, 'a', 0}, true},
        {{0x0D, 0x0A}, true},  // CR LF read with the wrong byte order
        {{'a', 0, 0xFF}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(holdsIllegalUtf16(c.chunk), c.illegal);
}

// The units are looked at 32 at a time: each illegal unit is tried at every unit position of
// chunks up to three blocks long, at even offsets (found) and odd ones (not a unit: not found),
// and a chunk of odd length ignores its last byte.
TEST(IllegalUtf16, FindsEachIllegalUnitAtEveryPositionAndOnlyOnUnitBoundaries) {
    const uint16_t illegal[] = {0xFFFF, 0xFFFE, 0x0A0D};
    for (uint16_t unit : illegal) {
        for (size_t units = 1; units <= 3 * 32 + 3; ++units) {
            for (size_t at = 0; at < units; ++at) {
                std::vector<uint8_t> chunk(2 * units, 'a');
                chunk[2 * at] = static_cast<uint8_t>(unit);
                chunk[2 * at + 1] = static_cast<uint8_t>(unit >> 8);
                ASSERT_TRUE(holdsIllegalUtf16(chunk)) << std::hex << unit << " " << at;
                // The same two bytes one byte later straddle two units.
                std::vector<uint8_t> shifted(2 * units + 2, 0);
                shifted[2 * at + 1] = static_cast<uint8_t>(unit);
                shifted[2 * at + 2] = static_cast<uint8_t>(unit >> 8);
                ASSERT_FALSE(holdsIllegalUtf16(shifted)) << std::hex << unit << " " << at;
            }
            // A lone last byte is no unit.
            std::vector<uint8_t> odd(2 * units + 1, 0);
            odd.back() = 0xFF;
            odd[odd.size() - 2] = 0xFF;
            ASSERT_FALSE(holdsIllegalUtf16(odd)) << units;
        }
    }
    // Neighbours of the illegal units are ordinary text.
    const std::vector<uint8_t> legal = {0xFD, 0xFF, 0xFF, 0x7F, 0x0D, 0x0B, 0x0C, 0x0A, 0x0A, 0x0D};
    EXPECT_FALSE(holdsIllegalUtf16(legal));
    EXPECT_FALSE(holdsIllegalUtf16({}));
}

}  // namespace
}  // namespace morvel
