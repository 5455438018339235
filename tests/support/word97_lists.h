#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvel::test {

// The list tables of a small Word 97 document, byte by byte: one list definition (nine levels,
// or one for a simple list) whose levels follow it, one override per list naming it, and one
// name per list.
struct Word97Lists {
    struct Level {
        uint8_t numberFormat = 0;    // 0 decimal, 23 bullet, 0xFF none
        std::u16string text = u".";  // the number text after the level's placeholder
        std::vector<uint8_t> paragraphSprms;
    };
    struct List {
        uint32_t id = 0x1234;
        bool simple = false;
        std::vector<Level> levels;  // empty: default levels (nine, or one when simple)
    };
    struct Override {
        uint32_t listId = 0x1234;
        // Level overrides: each level number, and whether a whole level follows.
        std::vector<std::pair<uint8_t, bool>> levels;
    };

    std::vector<List> lists = {List{}};
    std::vector<Override> overrides = {Override{}};
    std::vector<std::u16string> names = {u"Numbers"};

    // The list definitions and their levels; `countedBytes` (the FIB's lcb) is set to the
    // definitions' own length.
    std::vector<uint8_t> definitions(uint32_t& countedBytes) const;
    std::vector<uint8_t> overrideTable() const;
    std::vector<uint8_t> nameTable() const;
};

// The bytes of one level: fixed part, paragraph sprms, the number text (placeholder first).
std::vector<uint8_t> levelBytes(uint8_t level, const Word97Lists::Level& l);

// Paragraph sprms that put a paragraph in list override `ilfo` at level `ilvl`.
std::vector<uint8_t> listParagraphSprms(uint16_t ilfo, uint8_t ilvl);

}  // namespace morvel::test
