#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace morvel {

// Position of the first occurrence of `pattern` in `image` at or after `from`, or -1. A
// memmem search, so scanning a whole image costs a fraction of a byte-at-a-time loop.
int64_t findBytes(std::span<const uint8_t> image, int64_t from, std::span<const uint8_t> pattern);

// The UTF-16LE bytes of ASCII text: "Root E" becomes R\0o\0o\0t\0 \0E\0.
std::vector<uint8_t> utf16Pattern(std::string_view ascii);

// The 4-byte little-endian encoding of each value, one after another.
std::vector<uint8_t> int32Pattern(std::initializer_list<int32_t> values);

}  // namespace morvel
