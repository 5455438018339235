#include "tests/support/word97_lists.h"

#include "platform/le_reader.h"

namespace morvel::test {

namespace {

constexpr uint16_t kSprmPIlvl = 0x260A;
constexpr uint16_t kSprmPIlfo = 0x460B;

void appendText(std::vector<uint8_t>& out, const std::u16string& s) {
    for (char16_t c : s)
        appendU16LE(out, static_cast<uint16_t>(c));
}

}  // namespace

std::vector<uint8_t> levelBytes(uint8_t level, const Word97Lists::Level& l) {
    std::vector<uint8_t> out;
    appendU32LE(out, 1);  // start at 1
    appendU8(out, l.numberFormat);
    appendU8(out, 0);  // justification and flags
    appendU8(out, 1);  // the placeholder is the number text's first character
    for (int i = 1; i < 9; ++i)
        appendU8(out, 0);
    appendU8(out, 0);     // a tab follows the number
    appendU32LE(out, 0);  // indent
    appendU32LE(out, 0);  // unused
    appendU8(out, 0);     // character sprm bytes
    appendU8(out, static_cast<uint8_t>(l.paragraphSprms.size()));
    appendU8(out, 0);  // restart after any higher level
    appendU8(out, 0);
    out.insert(out.end(), l.paragraphSprms.begin(), l.paragraphSprms.end());
    appendU16LE(out, static_cast<uint16_t>(1 + l.text.size()));
    appendU16LE(out, level);
    appendText(out, l.text);
    return out;
}

std::vector<uint8_t> Word97Lists::definitions(uint32_t& countedBytes) const {
    std::vector<uint8_t> out;
    appendU16LE(out, static_cast<uint16_t>(lists.size()));
    for (const List& list : lists) {
        appendU32LE(out, list.id);
        appendU32LE(out, 0);  // template
        for (int i = 0; i < 9; ++i)
            appendU16LE(out, 0x0FFF);  // no style per level
        appendU8(out, list.simple ? 1 : 0);
        appendU8(out, 0);
    }
    countedBytes = static_cast<uint32_t>(out.size());
    for (const List& list : lists) {
        std::vector<Level> levels = list.levels;
        if (levels.empty())
            levels.resize(list.simple ? 1 : 9);
        for (size_t k = 0; k < levels.size(); ++k) {
            const std::vector<uint8_t> lvl = levelBytes(static_cast<uint8_t>(k), levels[k]);
            out.insert(out.end(), lvl.begin(), lvl.end());
        }
    }
    return out;
}

std::vector<uint8_t> Word97Lists::overrideTable() const {
    std::vector<uint8_t> out;
    appendU32LE(out, static_cast<uint32_t>(overrides.size()));
    for (const Override& o : overrides) {
        appendU32LE(out, o.listId);
        appendU32LE(out, 0);
        appendU32LE(out, 0);
        appendU8(out, static_cast<uint8_t>(o.levels.size()));
        appendU8(out, 0);
        appendU8(out, 0);
        appendU8(out, 0);
    }
    for (const Override& o : overrides) {
        appendU32LE(out, 0xFFFFFFFF);  // no character position
        for (const auto& [level, whole] : o.levels) {
            appendU32LE(out, 1);
            appendU32LE(out, level | (whole ? 0x20u : 0u));
            if (whole) {
                const std::vector<uint8_t> lvl = levelBytes(level, Word97Lists::Level{});
                out.insert(out.end(), lvl.begin(), lvl.end());
            }
        }
    }
    return out;
}

std::vector<uint8_t> Word97Lists::nameTable() const {
    std::vector<uint8_t> out;
    appendU16LE(out, 0xFFFF);
    appendU16LE(out, static_cast<uint16_t>(names.size()));
    appendU16LE(out, 0);
    for (const std::u16string& n : names) {
        appendU16LE(out, static_cast<uint16_t>(n.size()));
        appendText(out, n);
    }
    return out;
}

std::vector<uint8_t> listParagraphSprms(uint16_t ilfo, uint8_t ilvl) {
    std::vector<uint8_t> out;
    appendU16LE(out, kSprmPIlfo);
    appendU16LE(out, ilfo);
    appendU16LE(out, kSprmPIlvl);
    appendU8(out, ilvl);
    return out;
}

}  // namespace morvel::test
