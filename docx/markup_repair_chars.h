#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvel {

// One UTF-8 sequence read from damaged text: its code point and length, or length 0 when
// the bytes at that position are no valid sequence (stray continuation byte, overlong form,
// surrogate, beyond U+10FFFF, cut short).
struct Utf8Char {
    uint32_t code = 0;
    uint32_t length = 0;
};

inline Utf8Char decodeUtf8(std::string_view s, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80)
        return {lead, 1};
    uint32_t length, code, min;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, code = lead & 0x1F, min = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, code = lead & 0x0F, min = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, code = lead & 0x07, min = 0x10000;
    else
        return {};
    if (s.size() - at < length)
        return {};
    for (uint32_t k = 1; k < length; ++k) {
        const uint8_t c = byte(at + k);
        if ((c & 0xC0) != 0x80)
            return {};
        code = (code << 6) | (c & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    return {code, length};
}

// Characters an XML 1.0 document may hold.
inline bool isXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

inline bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Characters that may begin an XML name (the colon is handled by the caller).
inline bool isNameStartChar(uint32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
           (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0xEFFFF);
}

inline bool isNameChar(uint32_t c) {
    return isNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

}  // namespace morvel
