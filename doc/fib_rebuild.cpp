#include "doc/fib_rebuild.h"

#include <algorithm>
#include <functional>
#include <optional>

#include "doc/fib_layout.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr size_t kPage = 512;
constexpr uint32_t kFirstTextPos = 1536;

bool offsetByteFits(std::span<const uint8_t> page, size_t at, int crun) {
    const int doubled = 2 * readU8(page, at);
    return doubled > 5 * crun + 3 && doubled < 510;
}

using PageTest = std::function<bool(std::span<const uint8_t>)>;

std::span<const uint8_t> pageAt(std::span<const uint8_t> stream, size_t at) {
    return stream.subspan(at, std::min(kPage, stream.size() - at));
}

// The first page (512-byte step) whose first value is `first` and that passes `test`.
std::optional<size_t> findPage(std::span<const uint8_t> stream, uint32_t first,
                               const PageTest& test) {
    for (size_t at = 0; at + kPage <= stream.size(); at += kPage) {
        std::span<const uint8_t> page = pageAt(stream, at);
        if (readU32LE(page, 0) == first && test(page))
            return at;
    }
    return std::nullopt;
}

// Rebuilds one bin-table pair from the chain of property pages that starts at 1536.
void rebuildBinTable(std::span<uint8_t> fib, uint32_t fcOffset,
                     std::span<const uint8_t> wordDocument, std::span<const uint8_t> table,
                     const PageTest& test) {
    const std::optional<size_t> firstPage = findPage(wordDocument, kFirstTextPos, test);
    if (!firstPage)
        return;
    auto lastOf = [&](size_t at) {
        std::span<const uint8_t> page = pageAt(wordDocument, at);
        return readU32LE(page, 4 * readU8(page, kPage - 1));
    };
    const uint32_t firstLast = lastOf(*firstPage);
    uint32_t second = static_cast<uint32_t>(*firstPage / kPage);
    uint32_t pages = 1;
    std::optional<size_t> at = findPage(wordDocument, firstLast, test);
    if (at && firstLast != kFirstTextPos) {
        second = lastOf(*at);
        ++pages;
        // Count the rest of the chain; a chain that comes back on itself ends.
        uint32_t last = second;
        while (pages < wordDocument.size() / kPage) {
            std::optional<size_t> next = findPage(wordDocument, last, test);
            if (!next || lastOf(*next) <= last)
                break;
            last = lastOf(*next);
            ++pages;
        }
    }
    uint8_t pattern[8];
    std::span<uint8_t> patternSpan(pattern);
    writeU32LE(patternSpan, 0, firstLast);
    writeU32LE(patternSpan, 4, second);
    auto hit = std::search(table.begin(), table.end(), pattern, pattern + 8);
    if (hit == table.end() || hit - table.begin() < 4)
        return;
    const size_t hitAt = static_cast<size_t>(hit - table.begin());
    uint32_t counted = 0;
    uint32_t previous = kFirstTextPos;
    for (size_t k = hitAt; k + 4 <= table.size(); k += 4) {
        const uint32_t v = readU32LE(table, k);
        if (v < previous)
            break;
        previous = v;
        ++counted;
    }
    writeU32LE(fib, fcOffset, static_cast<uint32_t>(hitAt - 4));
    writeU32LE(fib, fcOffset + 4, 8 * std::max(pages, counted) + 4);
}

}  // namespace

bool looksLikeChpxPage(std::span<const uint8_t> page) {
    const int crun = readU8(page, kPage - 1);
    if (crun < 2)
        return false;
    const size_t a = 5 * crun + 3, b = 5 * crun + 2;
    return readU8(page, a) < 254 && readU8(page, b) < 254 && offsetByteFits(page, a, crun) &&
           offsetByteFits(page, b, crun);
}

bool looksLikePapxPage(std::span<const uint8_t> page) {
    const int crun = readU8(page, kPage - 1);
    if (crun < 2)
        return false;
    return offsetByteFits(page, 17 * crun - 9, crun) && offsetByteFits(page, 17 * crun - 22, crun);
}

bool rebuildFib(std::span<uint8_t> fib, std::span<const uint8_t> wordDocument,
                std::span<const uint8_t> table) {
    std::fill(fib.begin(), fib.end(), 0);
    rebuildBinTable(fib, fib::kPlcfBteChpx, wordDocument, table, looksLikeChpxPage);
    rebuildBinTable(fib, fib::kPlcfBtePapx, wordDocument, table,
                    [](auto page) { return !looksLikeChpxPage(page) && looksLikePapxPage(page); });
    const int64_t docSize = static_cast<int64_t>(wordDocument.size());
    for (size_t h = 0; h + 16 < table.size(); ++h) {
        if (table[h] != 2 || readI32LE(table, h + 5) != 0)
            continue;
        const int64_t cp1 = readI32LE(table, h + 9);
        if (cp1 < 2048 && cp1 > docSize)
            continue;
        const uint32_t lcb = readU32LE(table, h + 1);
        if (lcb < 4 || (lcb - 4) % 12 != 0 || lcb > 1000)
            continue;
        const uint32_t n = std::max<uint32_t>(2, (lcb - 4) / 12);
        bool cpsFit = true;
        for (uint32_t k = 1; k < n && cpsFit; ++k) {
            const int64_t cp = readI32LE(table, h + 5 + 4 * k);
            cpsFit = cp >= 0 && cp < docSize;
        }
        if (!cpsFit)
            continue;
        writeU32LE(fib, fib::kClx, static_cast<uint32_t>(h));
        writeU32LE(fib, fib::kClx + 4, lcb + 5);
        return true;
    }
    return false;
}

}  // namespace morvel
