#pragma once

#include <string>
#include <string_view>

namespace morvel::cli {

// A JSON string literal for text (quotes included). Bytes that are not valid UTF-8 are written
// as \u00XX of their Latin-1 value so the output always parses.
std::string jsonString(std::string_view text);

// True when the bytes are valid UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// The text with each byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string replaceInvalidUtf8(std::string_view bytes);

// Lower-case hex of the bytes, two digits each.
std::string hexOfBytes(std::string_view bytes);

// One or two JSON members for a path (no surrounding braces): "NAME":"readable text", and
// when the path is not valid UTF-8 also "NAME_bytes":"hex of the exact bytes", so a script can
// still name the very file while the readable form shows U+FFFD for the bytes it could not
// read.
std::string jsonPathMembers(std::string_view name, std::string_view path);

}  // namespace morvel::cli
