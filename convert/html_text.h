#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace morvel {

// The text of an HTML page, marked as TextBuilder marks it: block elements (p, div, li, tr,
// headings, ...) end paragraphs, <br> breaks a line, table cells are separated by tabs, white
// space collapses outside <pre>, character references are decoded, and scripts, style sheets,
// titles and embedded XML islands are left out. The bytes are read in `codePage` when it is
// not 0 (a MIME part's charset), else in the charset the page declares in a <meta> tag, else
// as UTF-8 when they are valid UTF-8 and as Windows-1252 when not. A cut-off page gives the
// text before the cut.
std::string htmlText(std::span<const uint8_t> bytes, uint32_t codePage = 0);

// The code page a page's <meta> tags declare, or 0 when they declare none known here.
uint32_t declaredHtmlCodePage(std::span<const uint8_t> bytes);

}  // namespace morvel
