#pragma once

#include <cstdint>

namespace morvel::text_bytes {

// The byte classes shared by the raw and the filtered text.
inline constexpr uint8_t CR = 0x0D;
inline constexpr uint8_t LF = 0x0A;
inline constexpr uint8_t FF = 0x0C;

// Kept as they are in both texts.
constexpr bool isPrintable(uint8_t c) {
    return c >= 0x20 && c <= 0x7E;
}
// Written as CR LF.
constexpr bool isLineEnd(uint8_t c) {
    return c == CR || c == LF || c == FF;
}
// Bytes that extend a run of the filtered text: every 7-bit byte but NUL and DEL.
constexpr bool isRunByte(uint8_t c) {
    return c >= 0x01 && c <= 0x7E;
}

}  // namespace morvel::text_bytes
