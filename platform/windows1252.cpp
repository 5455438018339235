#include "platform/windows1252.h"

#include <bit>
#include <cstring>

#include "platform/utf8.h"

namespace morvel {

namespace {

// 0x80 ... 0x9F; the five unassigned bytes map to the C1 control of the same value, as the
// system conversion does.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint16_t unitOf(uint8_t b) {
    return b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : b;
}

// An unassigned byte is the one the table maps to the control of its own value.
bool isUnassigned(uint8_t b) {
    return b >= 0x80 && b < 0xA0 && unitOf(b) == b;
}

}  // namespace

std::vector<uint16_t> windows1252ToUtf16(std::span<const uint8_t> text) {
    std::vector<uint16_t> out;
    out.reserve(text.size());
    for (uint8_t b : text)
        out.push_back(unitOf(b));
    return out;
}

std::string windows1252ToUtf8(std::span<const uint8_t> text) {
    std::string out;
    out.reserve(text.size());
    for (uint8_t b : text) {
        if (b == 0)
            continue;
        appendUtf8(out, isUnassigned(b) ? kReplacementCharacter : unitOf(b));
    }
    return out;
}

namespace {

// Units looked at together: a fixed count, loaded with memcpy and folded into a 16-bit flag
// without an early exit, lets the compiler compare them with vector instructions (eight units
// per instruction) instead of one by one.
constexpr size_t kUnitsPerBlock = 32;

constexpr uint16_t illegalUnit(uint16_t unit) {
    // (unit | 1) == 0xFFFF: U+FFFE or U+FFFF.
    return static_cast<uint16_t>(((unit | 1u) == 0xFFFF) | (unit == 0x0A0D));
}

inline uint16_t unitAt(const uint8_t* p, size_t u) {
    uint16_t unit;
    std::memcpy(&unit, p + 2 * u, sizeof unit);
    if constexpr (std::endian::native == std::endian::big)
        unit = static_cast<uint16_t>((unit >> 8) | (unit << 8));
    return unit;
}

}  // namespace

bool holdsIllegalUtf16(std::span<const uint8_t> chunk) {
    const uint8_t* p = chunk.data();
    const size_t units = chunk.size() / 2;
    size_t u = 0;
    for (; u + kUnitsPerBlock <= units; u += kUnitsPerBlock) {
        uint16_t bad = 0;
        for (size_t k = 0; k < kUnitsPerBlock; ++k)
            bad |= illegalUnit(unitAt(p, u + k));
        if (bad != 0)
            return true;
    }
    for (; u < units; ++u)
        if (illegalUnit(unitAt(p, u)) != 0)
            return true;
    return false;
}

}  // namespace morvel
