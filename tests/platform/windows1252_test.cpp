#include "platform/windows1252.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace morvel {
namespace {

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
