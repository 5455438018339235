#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace morvel {

// The main text of a Word 97-2003 document in memory (a recovered full document) as HTML:
// paragraphs, line breaks, tabs and tables, with field instructions and object anchors left
// out. Empty when the document cannot be read.
std::string docPreviewHtml(std::span<const uint8_t> image);

// Direct character formatting the preview shows.
struct CharacterLook {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool operator==(const CharacterLook&) const = default;
};
// The look of the characters from the end of the span before up to `endChar` (exclusive).
struct LookSpan {
    size_t endChar;
    CharacterLook look;
};

// The same from the document's text as the reader assembles it (UTF-16LE, `chars` characters
// of the main text), with the looks of its characters in text order (characters past the last
// span are plain).
std::string docTextHtml(std::span<const uint8_t> utf16, size_t chars,
                        std::span<const LookSpan> looks = {});

}  // namespace morvel
