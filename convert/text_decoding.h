#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace morvel {

// Bytes of a text file as UTF-8. A byte-order mark decides first (UTF-8, UTF-16LE, UTF-16BE;
// the mark itself is left out); otherwise the code page given: 65001 keeps valid UTF-8
// sequences and reads every byte that is not part of one in the default 8-bit code page, so
// a damaged or mislabelled file still gives all its characters; an 8-bit code page is read
// through its table.
std::string decodeText(std::span<const uint8_t> bytes, uint32_t codePage);

// True when the bytes after any UTF-8 mark are valid UTF-8 holding at least one byte above
// 0x7F: text that can only have been written as UTF-8.
bool looksLikeUtf8(std::span<const uint8_t> bytes);

// True when the bytes start with a UTF-16 byte-order mark.
bool hasUtf16Mark(std::span<const uint8_t> bytes);

// The value of `attribute="..."` (or single-quoted, or bare up to a space, ';' or '>') in the
// text, searched from `from` without regard to case; empty when absent.
std::string attributeValue(std::string_view text, std::string_view attribute, size_t from = 0);

// The text in lower case (ASCII letters only).
std::string asciiLower(std::string_view text);

}  // namespace morvel
