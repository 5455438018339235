#pragma once

#include <string>
#include <string_view>

namespace morvel {

// Checks that a part is well-formed, namespace-aware XML in UTF-8: one root element, tags
// that match, quoted attributes without repeats, declared prefixes, valid references and
// characters, no "]]>" in text. Returns an empty string when it is, else the first fault
// and its byte offset. Meant for checking repaired parts; it builds no tree.
std::string markupFault(std::string_view xml);

}  // namespace morvel
