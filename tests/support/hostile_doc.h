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

// A Word 97 document of `chars` characters in `pieces` pieces whose paragraph bin table
// lists `pages` pages, every one rejected (too many runs), their ranges alternately the whole
// text and nothing, so each rejected page sends the reader through the text for cell marks.
std::vector<uint8_t> makeRejectedParagraphPagesDoc(uint32_t pieces, uint32_t chars, uint32_t pages);

// Which chain of a compound file runs in a circle.
enum class LoopedChain {
    Fat,        // the WordDocument stream's sectors, its entry claiming 2 GB
    Difat,      // the DIFAT sector links to itself (the file made large enough to need one)
    MiniFat,    // the table stream's mini sectors, and the mini FAT's own sector
    Directory,  // the directory's sectors
};
// A Word 97 document with a WordDocument stream of about `sectors` 512-byte sectors, whose
// chosen chain leads back to its start.
std::vector<uint8_t> makeLoopedChainDoc(LoopedChain which, uint32_t sectors);

// A Word 97 document whose directory holds `entries` more stream entries, all named alike
// and linked to nothing.
std::vector<uint8_t> makeManyDirectoryEntriesDoc(uint32_t entries);

// Which values of a compound file or its document are absurd.
enum class AbsurdValue {
    SectorShift,    // the header's sector shift is 0xFFFF
    FatCounts,      // the header claims 2^31 FAT and DIFAT sectors, the DIFAT at sector 0
    StreamSizes,    // every directory entry claims 2 GB
    SectorNumbers,  // every entry, the directory and the mini FAT start near 2^31
    FibCounts,      // the FIB's character counts, piece table and table count are huge
};
// A Word 97 document of about `sectors` 512-byte sectors with the chosen absurd values.
std::vector<uint8_t> makeAbsurdValuesDoc(AbsurdValue which, uint32_t sectors);

}  // namespace morvel::test
