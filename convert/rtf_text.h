#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace morvel {

// The text of an RTF document, marked as TextBuilder marks it. Font tables, colour tables,
// style sheets, document information, pictures, object data, field instructions and every
// group marked ignorable are left out; field results, object results, headers, footers and
// footnotes are kept (their text is the document's). A cut-off file or unbalanced braces still
// give all the text read.
std::string rtfText(std::span<const uint8_t> bytes);

}  // namespace morvel
