#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "core/content_format.h"

namespace morvel {

// How much of the start of a file the text formats are judged by.
inline constexpr size_t kMarkupSniffSpan = 4096;
inline constexpr size_t kPlainTextSniffSpan = 64 * 1024;

// The text formats Word saves besides its binaries, told by how the file starts (after a
// byte-order mark and white space): RTF ({\rtf, with one of its five bytes damaged), Flat OPC
// XML (pkg:package), WordprocessingML 2003 XML (w:wordDocument or the Word.Document
// processing instruction), other XML, HTML (a doctype or html element, or a MIME web
// archive). Nothing for anything else.
std::optional<ContentFormat> sniffMarkup(std::span<const uint8_t> bytes);

// Whether the start of the file is plain text: UTF-16 with a byte-order mark, or valid UTF-8 or
// 8-bit text with no NUL byte, hardly any control characters and a space or line break now
// and then.
bool looksLikePlainText(std::span<const uint8_t> bytes);

}  // namespace morvel
