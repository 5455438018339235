#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace morvel {

// Reduces a Word document's characters to the text a plain document can hold: paragraph
// ends (0x0D), tabs, line breaks (0x0B), page and section breaks (0x0C) and the hyphen marks
// (0x1E, 0x1F) stay; a table's cell and row marks (0x07) end a paragraph; of a field, its
// result is kept and its instruction and marks (0x13, 0x14, 0x15) dropped; a line feed
// becomes a paragraph end (after a paragraph end it is dropped); the other control
// characters, which anchor pictures, notes and objects, are dropped. A field whose
// instruction never ends (its end lost to damage) keeps its instruction's text, so no
// readable text is hidden.
std::vector<uint16_t> plainDocumentText(std::span<const uint16_t> chars);

}  // namespace morvel
