#pragma once

#include <cstdint>
#include <span>

namespace morvel {

// Rebuilds a damaged FIB from what the streams still hold: the character and paragraph bin
// tables (found from the property pages of the WordDocument stream) and the piece table
// (found in the table stream). `fib` is cleared first, so the rebuilt FIB has no table pairs
// and the document is later written as plain text. Returns false when no piece table is
// found.
bool rebuildFib(std::span<uint8_t> fib, std::span<const uint8_t> wordDocument,
                std::span<const uint8_t> table);

// Page classification used by the rebuild (a page whose first position is 1536).
bool looksLikeChpxPage(std::span<const uint8_t> page);
bool looksLikePapxPage(std::span<const uint8_t> page);

}  // namespace morvel
