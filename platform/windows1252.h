#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace morvel {

// Converts 8-bit text in the Windows-1252 code page (the default ANSI code page of the
// documents we read) to UTF-16. Every byte gives exactly one code unit, so positions
// computed on the 8-bit text stay valid in the converted text.
std::vector<uint16_t> windows1252ToUtf16(std::span<const uint8_t> text);

// The same text as UTF-8 for showing it: NUL bytes are left out and the five bytes the code
// page leaves unassigned become U+FFFD, since their control characters show nothing.
std::string windows1252ToUtf8(std::span<const uint8_t> text);

// True when a chunk of UTF-16LE bytes holds a code unit no real text carries: U+FFFF,
// U+FFFE, or a byte-swapped CR LF (the bytes 0A 0D read as one unit).
bool holdsIllegalUtf16(std::span<const uint8_t> chunk);

}  // namespace morvel
