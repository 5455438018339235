#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/content_format.h"

namespace morvel {

// The text of a document saved in a text format other than Word's binaries (RTF, HTML or a
// MIME web archive, WordprocessingML 2003, Flat OPC or other XML), as UTF-8 without a
// terminating NUL, in `text`: one paragraph per line (LF), a line break inside a paragraph as
// a vertical tab (U+000B), tabs kept. False when no converter reads that format.
bool ConvertDocumentText(ContentFormat format, std::span<const uint8_t> bytes, std::string& text);

// Converted text as UTF-16LE for a plain Word document: paragraph ends become Word's
// paragraph marks (0x0D), line breaks stay 0x0B, tabs stay.
std::vector<uint8_t> wordTextOf(std::string_view converted);

}  // namespace morvel
