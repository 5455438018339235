#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/content_format.h"

namespace morvel {

// The text of a document saved in a text format other than Word's binaries (RTF, HTML,
// WordprocessingML 2003 or Flat OPC XML), as UTF-8 without a terminating NUL, in `text`.
// False when no converter reads that format; the recovery then says so and offers nothing
// rather than the file's markup. Converters for these formats plug in here.
bool ConvertDocumentText(ContentFormat format, std::span<const uint8_t> bytes,
                         std::vector<uint8_t>& text);

}  // namespace morvel
