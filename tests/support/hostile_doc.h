#pragma once

#include <cstdint>
#include <vector>

namespace morvel::test {

// Generators of crafted .doc files that try to make the recovery slow or large. Each returns
// the bytes of a whole file; the parameters set how hostile it is, so a test can show that
// the work grows in step with them.

// A Word 97 document whose text is cut into `pieces` one-character pieces and whose
// character bin table lists one page `runs` / 100 times over, so the reader maps about
// `runs` run ends through the pieces.
std::vector<uint8_t> makeManyPiecesManyRunsDoc(uint32_t pieces, uint32_t runs);

}  // namespace morvel::test
