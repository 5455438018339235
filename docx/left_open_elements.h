#pragma once

#include <string>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// The closing tags that end the elements a rewritten part leaves open, innermost first
// ("</w:p></w:body></w:document>"); empty when the part is balanced or holds no markup.
// A part decoded from cut-off data stops inside its body; closing what is open lets every
// reader take the part for what it holds.
std::string closingTagsFor(const std::vector<ByteSpan>& segments);

}  // namespace morvel
