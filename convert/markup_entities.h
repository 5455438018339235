#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvel {

// Reads the character reference that starts at text[at] ('&'): numeric (&#233; &#xE9;) or
// named (the XML five and the HTML names of Latin-1 and common punctuation). On success sets
// the code point and the reference's length (its ';' counted, which HTML lets a damaged page
// leave out) and returns true; an unknown or malformed reference returns false and is text.
bool readCharacterReference(std::string_view text, size_t at, uint32_t& codePoint, size_t& length);

}  // namespace morvel
