#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace morvel {

// The code point that stands for one that cannot be shown.
inline constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Appends the UTF-8 form of one code point. A surrogate or a value beyond U+10FFFF has no
// UTF-8 form and becomes U+FFFD, so the output is always valid UTF-8.
void appendUtf8(std::string& out, uint32_t codePoint);

// UTF-8 of UTF-16LE bytes: surrogate pairs are joined, a lone surrogate becomes U+FFFD and an
// odd last byte is ignored.
std::string utf16leToUtf8(std::span<const uint8_t> bytes);

}  // namespace morvel
