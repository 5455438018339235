#include "platform/windows1252.h"

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

bool holdsIllegalUtf16(std::span<const uint8_t> chunk) {
    for (size_t i = 0; i + 1 < chunk.size(); i += 2) {
        const uint16_t unit = static_cast<uint16_t>(chunk[i] | (chunk[i + 1] << 8));
        if (unit == 0xFFFF || unit == 0xFFFE || unit == 0x0A0D)
            return true;
    }
    return false;
}

}  // namespace morvel
