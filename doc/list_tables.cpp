#include "doc/list_tables.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "doc/c_doc8.h"
#include "doc/fib_layout.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr size_t kLstfSize = 28;   // one list definition
constexpr size_t kLvlfSize = 28;   // the fixed part of one level
constexpr size_t kLfoSize = 16;    // one override
constexpr size_t kLfoLvlSize = 8;  // one level override
constexpr size_t kLevelsOfList = 9;
constexpr uint8_t kSimpleListBit = 0x01;   // LSTF byte 26: the list has one level
constexpr uint32_t kLevelMask = 0x0F;      // LFOLVL: the level overridden
constexpr uint32_t kFormattingBit = 0x20;  // LFOLVL: a whole level follows
constexpr uint8_t kLastNumberFormat = 0x3F;
constexpr uint8_t kNoNumberFormat = 0xFF;
constexpr uint8_t kLastFollowKind = 2;  // tab, space or nothing after the number
constexpr uint16_t kExtendedStrings = 0xFFFF;

// The FIB's fc and lcb of a table when the pair lies inside the FIB's pair area and the table
// inside the stream; nullopt for an absent table (lcb 0); `bad` set for one outside.
struct Extent {
    size_t fc = 0, lcb = 0;
};
std::optional<Extent> extentOf(std::span<const uint8_t> fibBytes, uint32_t at,
                               std::span<const uint8_t> table, bool& bad) {
    const uint64_t pairsEnd = fib::kPairsStart + 8ull * readU32LE(fibBytes, fib::kPairCount);
    if (at + 8ull > pairsEnd)
        return std::nullopt;
    const uint32_t fc = readU32LE(fibBytes, at), lcb = readU32LE(fibBytes, at + 4);
    if (lcb == 0)
        return std::nullopt;
    if (!fits(table, fc, lcb)) {
        bad = true;
        return std::nullopt;
    }
    return Extent{fc, lcb};
}

// The end of the level at `pos`, or nullopt when it does not fit before `end` or its fixed
// fields hold values no level has.
std::optional<size_t> levelEnd(std::span<const uint8_t> bytes, size_t pos, size_t end) {
    if (pos > end || end - pos < kLvlfSize + 2)
        return std::nullopt;
    const uint8_t nfc = readU8(bytes, pos + 4);
    const uint8_t follow = readU8(bytes, pos + 15);
    if ((nfc > kLastNumberFormat && nfc != kNoNumberFormat) || follow > kLastFollowKind)
        return std::nullopt;
    const size_t cbChpx = readU8(bytes, pos + 24), cbPapx = readU8(bytes, pos + 25);
    const size_t text = pos + kLvlfSize + cbPapx + cbChpx;
    if (text > end || end - text < 2)
        return std::nullopt;
    const size_t cch = readU16LE(bytes, text);
    if ((end - text - 2) / 2 < cch)
        return std::nullopt;
    return text + 2 + 2 * cch;
}

// The definitions' bytes with their levels, and their list ids; nullopt when they do not parse.
std::optional<std::vector<uint8_t>> definitions(std::span<const uint8_t> table, Extent e,
                                                std::vector<uint32_t>& ids) {
    const int16_t count = readI16LE(table, e.fc);
    if (count <= 0 || e.lcb != 2 + kLstfSize * static_cast<size_t>(count))
        return std::nullopt;
    size_t pos = e.fc + e.lcb;
    for (int16_t i = 0; i < count; ++i) {
        const size_t lstf = e.fc + 2 + kLstfSize * static_cast<size_t>(i);
        ids.push_back(readU32LE(table, lstf));
        const size_t levels = (readU8(table, lstf + 26) & kSimpleListBit) ? 1 : kLevelsOfList;
        for (size_t k = 0; k < levels; ++k) {
            const std::optional<size_t> next = levelEnd(table, pos, table.size());
            if (!next)
                return std::nullopt;
            pos = *next;
        }
    }
    return std::vector<uint8_t>(table.begin() + static_cast<ptrdiff_t>(e.fc),
                                table.begin() + static_cast<ptrdiff_t>(pos));
}

// Whether the overrides parse inside their length and each names a known list.
bool overridesParse(std::span<const uint8_t> bytes, const std::vector<uint32_t>& ids) {
    if (bytes.size() < 4)
        return false;
    const uint32_t count = readU32LE(bytes, 0);
    if ((bytes.size() - 4) / kLfoSize < count)
        return false;
    size_t pos = 4 + kLfoSize * count;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t lfo = 4 + kLfoSize * i;
        if (std::find(ids.begin(), ids.end(), readU32LE(bytes, lfo)) == ids.end())
            return false;
        const size_t levels = readU8(bytes, lfo + 12);
        if (levels > kLevelsOfList || !fits(bytes, pos, 4))
            return false;
        pos += 4;  // the override's character position
        for (size_t k = 0; k < levels; ++k) {
            if (!fits(bytes, pos, kLfoLvlSize))
                return false;
            const uint32_t flags = readU32LE(bytes, pos + 4);
            if ((flags & kLevelMask) >= kLevelsOfList)
                return false;
            pos += kLfoLvlSize;
            if (flags & kFormattingBit) {
                const std::optional<size_t> next = levelEnd(bytes, pos, bytes.size());
                if (!next)
                    return false;
                pos = *next;
            }
        }
    }
    return true;
}

// Whether the list names are a string table of UTF-16 strings inside their length.
bool namesParse(std::span<const uint8_t> bytes) {
    if (readU16LE(bytes, 0) != kExtendedStrings || bytes.size() < 6)
        return false;
    const size_t count = readU16LE(bytes, 2), extra = readU16LE(bytes, 4);
    size_t pos = 6;
    for (size_t i = 0; i < count; ++i) {
        const size_t length = 2 + 2 * static_cast<size_t>(readU16LE(bytes, pos)) + extra;
        if (!fits(bytes, pos, length))
            return false;
        pos += length;
    }
    return true;
}

FibTable tableOf(std::vector<uint8_t> bytes, Extent e) {
    FibTable t;
    t.bytes = std::move(bytes);
    t.fc = static_cast<int32_t>(e.fc);
    t.lcb = static_cast<int32_t>(e.lcb);
    return t;
}

std::vector<uint8_t> copyOf(std::span<const uint8_t> table, Extent e) {
    const auto from = table.begin() + static_cast<ptrdiff_t>(e.fc);
    return std::vector<uint8_t>(from, from + static_cast<ptrdiff_t>(e.lcb));
}

}  // namespace

ListTablesRead readListTables(std::span<const uint8_t> fibBytes, std::span<const uint8_t> table,
                              std::map<uint32_t, FibTable>& tables) {
    ListTablesRead read;
    bool bad = false;
    const std::optional<Extent> lst = extentOf(fibBytes, fib::kPlfLst, table, bad);
    const std::optional<Extent> lfo = extentOf(fibBytes, fib::kPlfLfo, table, bad);
    if (!bad && !lst && !lfo)
        return read;
    read.state = ListTablesState::Dropped;
    if (bad) {
        read.why = "a list table lies outside the table stream";
        return read;
    }
    if (!lst) {
        read.why = "the list overrides have no list definitions";
        return read;
    }
    std::vector<uint32_t> ids;
    std::optional<std::vector<uint8_t>> lists = definitions(table, *lst, ids);
    if (!lists) {
        read.why = "the list definitions do not parse";
        return read;
    }
    std::vector<uint8_t> overrides;
    if (lfo) {
        overrides = copyOf(table, *lfo);
        if (!overridesParse(overrides, ids)) {
            read.why = "the list overrides do not parse";
            return read;
        }
    }
    read.state = ListTablesState::Kept;
    tables[fib::kPlfLst] = tableOf(std::move(*lists), *lst);
    if (lfo)
        tables[fib::kPlfLfo] = tableOf(std::move(overrides), *lfo);

    bool badNames = false;
    if (const std::optional<Extent> names =
            extentOf(fibBytes, fib::kSttbListNames, table, badNames);
        names && namesParse(copyOf(table, *names)))
        tables[fib::kSttbListNames] = tableOf(copyOf(table, *names), *names);
    else if (names || badNames) {
        read.namesDropped = true;
        read.why = "the list names do not parse";
    }
    return read;
}

}  // namespace morvel
