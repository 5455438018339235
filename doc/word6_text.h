#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace morvel {

// Where the text of a Word 6.0/95 or Word 1.x/2.0 document was taken from, best first.
enum class EarlyTextSource {
    None,          // nothing readable
    PieceTable,    // the pieces the piece table lists
    TextRange,     // the FIB's text range (fcMin to fcMac, or to fcMin plus the counts)
    ReadableRuns,  // runs of text-like bytes, when the FIB cannot be trusted
};

// The text of one document and what the reader saw on the way.
struct EarlyWordText {
    std::vector<uint8_t> text;  // UTF-16LE, reduced to what a plain document holds
    int version = -1;           // the version code of the FIB's nFib (word_version.h), -1 unread
    uint16_t codePage = 1252;   // the code page the 8-bit text was converted from
    EarlyTextSource source = EarlyTextSource::None;
    size_t pieces = 0;              // pieces read from the piece table
    bool tableFoundByScan = false;  // the piece table was found by searching the stream
};

// Reads the text of a Word 6.0/95 document from its WordDocument stream: the piece table of
// the CLX the FIB points to (or one found in the stream when the FIB's pointer is damaged),
// else the FIB's text range, else the runs of readable text. The 8-bit text is converted
// with the code page of the FIB's language, or of the fonts' character set when every font
// agrees on one the language does not give. Every read is bounds-checked; a damaged FIB or
// piece table never hides text the stream still holds.
EarlyWordText readWord6Text(std::span<const uint8_t> wordDocument);

// The same for a Word for Windows 1.x/2.0 file, whose FIB starts the file itself.
EarlyWordText readWord2Text(std::span<const uint8_t> file);

// True when the bytes start with the FIB of a Word for Windows 1.x/2.0 document.
bool isWord2File(std::span<const uint8_t> bytes);

}  // namespace morvel
