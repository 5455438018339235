#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "doc/doc_findings.h"

namespace morvel {

// One piece of the document text: where its characters lie in the WordDocument stream and
// where they begin in the output.
struct Piece {
    int32_t fc = 0;         // byte position in the WordDocument stream
    int32_t count = 0;      // characters
    bool is16Bit = true;    // false: one byte per character
    uint16_t prm = 0;       // kept as read
    int32_t outputPos = 0;  // first byte in the output WordDocument stream
    int32_t endOffset = 0;  // text bytes up to and including this piece
};

// Walks a piece-table block: a 0 byte is skipped with the byte after it, a 1 byte begins a
// property block (16-bit length) that is skipped, a 2 byte begins a piece table (32-bit
// length); any other byte is skipped alone. Every piece table found adds its pieces. A piece
// table longer than the WordDocument stream is not taken, and pieces with a negative count
// or one larger than the stream are left out. A piece whose text would begin past the end of
// the stream is taken to follow the piece before it when its text fits there (a damaged
// position), else it is left out. Each piece refused or repaired is noted in `findings`.
std::vector<Piece> parseClx(std::span<const uint8_t> clx, uint32_t wordDocumentSize,
                            DocFindings* findings = nullptr);

// Reads every piece's text from the WordDocument stream and appends it, as UTF-16LE, to
// `text`; sets each piece's outputPos (textStart + bytes so far) and endOffset. 8-bit pieces
// are converted from Windows-1252; 512-byte chunks of 16-bit text that hold characters no
// text carries are overwritten with 0x01 bytes so the text keeps its length. Pieces are
// dropped once the text would exceed twice the stream's size, the most that
// non-overlapping pieces can give.
void readPiecesText(std::vector<Piece>& pieces, std::span<const uint8_t> wordDocument,
                    int32_t textStart, std::vector<uint8_t>& text);

// The output position of a run that ends at source position `fc`: the last piece with
// piece.fc < fc <= its end maps it; none gives `beyond`. One linear scan: for one position.
int32_t mapToOutput(const std::vector<Piece>& pieces, int32_t fc, int32_t beyond);

// The same mapping for many positions. Each run of a document is mapped, and a crafted file
// can hold tens of thousands of pieces and a million runs, so the pieces are indexed once:
// the source positions are cut where any piece begins or ends, and every stretch between two
// cuts remembers the last piece that covers it. Pieces may overlap and come in any order.
class PieceLookup {
  public:
    // Keeps a reference to `pieces`, which must outlive the lookup and stay unchanged.
    explicit PieceLookup(const std::vector<Piece>& pieces);
    int32_t map(int32_t fc, int32_t beyond) const;

  private:
    const std::vector<Piece>& pieces_;
    std::vector<int64_t> cuts_;    // sorted: stretch k is [cuts_[k], cuts_[k + 1])
    std::vector<int32_t> owners_;  // per stretch: the last piece covering it, or -1
};

}  // namespace morvel
