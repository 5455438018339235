#pragma once

#include <string>
#include <string_view>

namespace morvel::cli {

// A JSON string literal for text (quotes included). Bytes that are not valid UTF-8 are written
// as \u00XX of their Latin-1 value so the output always parses.
std::string jsonString(std::string_view text);

}  // namespace morvel::cli
