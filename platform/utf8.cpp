#include "platform/utf8.h"

#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr uint32_t kHighSurrogateFirst = 0xD800;
constexpr uint32_t kLowSurrogateFirst = 0xDC00;
constexpr uint32_t kSurrogateEnd = 0xE000;
constexpr uint32_t kLastCodePoint = 0x10FFFF;

bool isSurrogate(uint32_t c) {
    return c >= kHighSurrogateFirst && c < kSurrogateEnd;
}

}  // namespace

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp > kLastCodePoint || isSurrogate(cp))
        cp = kReplacementCharacter;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string utf16leToUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const uint32_t c = readU16LE(bytes, i);
        if (c >= kHighSurrogateFirst && c < kLowSurrogateFirst && i + 3 < bytes.size()) {
            const uint32_t low = readU16LE(bytes, i + 2);
            if (low >= kLowSurrogateFirst && low < kSurrogateEnd) {
                appendUtf8(
                    out, 0x10000 + ((c - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace morvel
