#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace morvel {

// HTML for showing a recovered document inside the program: paragraphs, bold, italic,
// underline, line breaks, tabs and tables. Nothing else of the layout is kept.

// The main document part of a .docx package; empty when the package has no readable one.
std::string docxPreviewHtml(std::span<const uint8_t> package);

// Text in the 8-bit Windows code page (as the text extraction writes it), with CR LF line
// ends and a terminating NUL, as HTML paragraphs.
std::string textPreviewHtml(std::span<const uint8_t> text);

}  // namespace morvel
