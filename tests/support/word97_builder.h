#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "doc/c_doc8.h"

namespace morvel::test {

// Builds the streams of a small Word 97 document byte by byte, so a test states exactly the
// text, pieces, runs, pages and tables that matter. Layout of the WordDocument stream: the
// FIB, the text from 1536 (one 8-bit or 16-bit piece unless pieces are given), then one
// 512-byte page per character page and per paragraph page, then the section properties.
struct Word97Builder {
    struct ChpRun {
        uint32_t end;                 // end position in the WordDocument stream
        std::vector<uint8_t> grpprl;  // empty: a run without properties
    };
    struct PapRun {
        uint32_t end;
        uint16_t istd = 0;
        std::vector<uint8_t> grpprl;
    };

    std::u16string text = u"Hello world\r";
    bool compressed = false;  // store the text as 8-bit characters
    uint16_t nFib = 193;
    uint16_t flags = 0x0200;
    uint32_t pairCount = 93;  // 32-bit value at FIB offset 152
    bool table0 = false;      // name the table stream "0Table"
    bool withTable = true;
    std::vector<std::vector<ChpRun>> chpPages;  // default: one run over the text
    std::vector<std::vector<PapRun>> papPages;  // default: one paragraph
    std::vector<std::vector<uint8_t>> sections = {{0x03, 0x30, 0x01}};  // SEPX sprm bytes
    uint32_t sepxFrom = 0;  // the section properties start here at the earliest
    std::vector<uint8_t> stsh = std::vector<uint8_t>(40, 0x5A);
    std::vector<uint8_t> dop = std::vector<uint8_t>(30, 0x3C);
    std::optional<std::vector<uint8_t>> data;
    // Extra FIB pairs (fc offset in the FIB -> table bytes), placed after the other tables.
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> extraTables;
    // The FIB's lcb of an extra table that counts fewer bytes than it has (the list
    // definitions, whose levels follow them uncounted), by fc offset.
    std::map<uint32_t, uint32_t> extraTableLcb;
    // A piece table given outright (the CLX bytes); default: one piece over the text.
    std::optional<std::vector<uint8_t>> clx;

    // Filled by build(): where things landed.
    uint32_t textFc = 1536;
    std::vector<uint32_t> chpPageNumbers, papPageNumbers;
    uint32_t sepxFc = 0;

    Doc8Streams build();
    // More streams of the file, by path ("ObjectPool/_1/Data").
    std::vector<std::pair<std::string, std::vector<uint8_t>>> extraStreams;

    // The streams in a compound file (a "\001CompObj" stream too), as a .doc file's bytes;
    // a version 4 file (4096-byte sectors) with `version4`.
    std::vector<uint8_t> buildFile();
    bool version4 = false;

    // The end position of character `i` of the text.
    uint32_t endOf(size_t i) const { return textFc + (compressed ? 1 : 2) * (uint32_t)(i + 1); }
};

// A CLX with one piece table: CPs and PCD fcs (fc as stored, bit 30 for 8-bit text).
std::vector<uint8_t> clxOf(const std::vector<int32_t>& cps, const std::vector<uint32_t>& fcs);

// A character page starting at `first` holding `runs` (one property set per run).
std::vector<uint8_t> chpxPage(uint32_t first, const std::vector<Word97Builder::ChpRun>& runs);
// A paragraph page starting at `first` holding `runs`.
std::vector<uint8_t> papxPage(uint32_t first, const std::vector<Word97Builder::PapRun>& runs);

}  // namespace morvel::test
