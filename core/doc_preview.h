#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace morvel {

// The main text of a Word 97-2003 document in memory (a recovered full document) as HTML:
// paragraphs, line breaks, tabs and tables, with field instructions and object anchors left
// out. Empty when the document cannot be read.
std::string docPreviewHtml(std::span<const uint8_t> image);

// The same from the document's text as the reader assembles it (UTF-16LE, `chars` characters
// of the main text).
std::string docTextHtml(std::span<const uint8_t> utf16, size_t chars);

}  // namespace morvel
