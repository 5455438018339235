#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace morvel::test {

// A Word 6.0/95 document built byte by byte: the FIB (identifier, nFib, language, the
// complex flag, the text range and the main text's character count) and the 8-bit text at
// 0x300. A fast-saved document keeps its text in two pieces stored in reverse order, listed
// by a CLX (a property group, then the piece table) that the FIB points to.
struct Word6Builder {
    Word6Builder(std::string text_, uint16_t nFib_ = 101, uint16_t lid_ = 0x0409,
                 bool fastSaved_ = false, std::vector<uint8_t> fontCharsets_ = {})
        : text(std::move(text_)),
          nFib(nFib_),
          lid(lid_),
          fastSaved(fastSaved_),
          fontCharsets(std::move(fontCharsets_)) {}

    std::string text;  // 8-bit text in the document's code page
    uint16_t nFib;     // 101 Word 6.0, 104 Word 95
    uint16_t lid;
    bool fastSaved;
    // Font character sets for the font table (none: no font table).
    std::vector<uint8_t> fontCharsets;
    bool savedOnMac = false;  // the FIB's character set says Macintosh

    // The WordDocument stream.
    std::vector<uint8_t> buildStream() const;
    // A compound file holding the stream.
    std::vector<uint8_t> buildFile() const;
};

// FIB positions of a Word 6.0/95 stream the tests damage.
inline constexpr size_t kWord6TextStart = 0x300;
inline constexpr size_t kWord6FibFcClx = 0x160;

// A Word for Windows 2.0 file: its FIB (identifier 0xA5DB, nFib 45) at offset 0 and the
// 8-bit text at 0x180.
std::vector<uint8_t> word2File(const std::string& text, uint16_t lid = 0x0409);

}  // namespace morvel::test
