#include "doc/word6_text.h"

#include <algorithm>
#include <optional>

#include "doc/word_text_marks.h"
#include "doc/word_version.h"
#include "platform/code_pages.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

// FIB fields shared by Word 1.x, 2.0, 6.0 and 95.
constexpr size_t kFibNFib = 0x02;
constexpr size_t kFibLid = 0x06;
constexpr size_t kFibFlags = 0x0A;
constexpr uint16_t kFlagComplex = 0x0004;
constexpr size_t kFibFcMin = 0x18;
constexpr size_t kFibFcMac = 0x1C;
// The character set of the text: 0 Windows ANSI, 256 Macintosh.
constexpr size_t kFibChse = 0x14;
constexpr uint16_t kCharsetMac = 256;
constexpr size_t kFibHeadSize = 0x20;

// Word 6.0/95 FIB: the character counts of the main text and the other stories (footnotes,
// headers, macros, annotations, endnotes, text boxes, header text boxes), then the font
// table and the CLX among the fc/lcb pairs.
constexpr size_t kWord6CcpFirst = 0x34;
constexpr size_t kWord6CcpCount = 8;
constexpr size_t kWord6FcSttbfFfn = 0xD0;
constexpr size_t kWord6FcClx = 0x160;
constexpr size_t kWord6FibSize = 0x168;

// Word for Windows 1.x/2.0: the FIB's identifiers and the first nFib of Word 6.
constexpr uint16_t kWinWord1Ident = 0xA59B;
constexpr uint16_t kWinWord2Ident = 0xA5DB;
constexpr uint16_t kFirstWord6NFib = 101;

// Before Word 6, a language field below this value is a locale number, not a language id.
constexpr uint16_t kFirstLanguageId = 999;

// CLX blocks: property groups (16-bit size) and the piece table (32-bit size) of CP
// boundaries followed by 8-byte piece descriptors, whose fc sits at byte 2.
constexpr uint8_t kClxGrpprl = 1;
constexpr uint8_t kClxPieceTable = 2;
constexpr size_t kCpSize = 4;
constexpr size_t kPcdSize = 8;
constexpr size_t kPcdFc = 2;
constexpr size_t kSmallestPieceTable = 2 * kCpSize + kPcdSize;
// A piece whose fc has this bit holds its 8-bit text at half the rest of the fc.
constexpr uint32_t kCompressedBit = 0x40000000;

// Readable runs: the shortest run taken when longer ones exist, and the share of letters it
// must hold.
constexpr size_t kLongRun = 32;
constexpr size_t kShortRun = 4;

// Font character sets and the code pages they stand for (0 is the Western set).
struct CharsetPage {
    uint8_t charset;
    uint16_t codePage;
};
constexpr CharsetPage kCharsetPages[] = {{0, kCodePageWestern},      {238, kCodePageCentralEurope},
                                         {204, kCodePageCyrillic},   {161, kCodePageGreek},
                                         {162, kCodePageTurkish},    {177, kCodePageHebrew},
                                         {178, kCodePageArabic},     {186, kCodePageBaltic},
                                         {163, kCodePageVietnamese}, {222, kCodePageThai}};

constexpr uint16_t kParagraphEnd = 0x0D;

struct TextPiece {
    uint32_t cp0 = 0, cp1 = 0;
    uint32_t start = 0;  // first byte of the piece's text in the stream
};

bool textByte(uint8_t b) {
    switch (b) {
        case 0x07:
        case 0x09:
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x13:
        case 0x14:
        case 0x15:
        case 0x1E:
        case 0x1F:
            return true;
        default:
            return b >= 0x20 && b != 0x7F;
    }
}

bool letterByte(uint8_t b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b >= 0xC0;
}

// The piece table whose block type byte is at `pos`, when its structure checks out: CPs from
// 0 upwards, no more characters than the stream could hold, and (when `strict`) every
// piece's text inside the stream and free of NUL bytes for the most part. `work` counts the
// CPs looked at, so a search over a hostile stream stays linear.
std::optional<std::vector<TextPiece>> pieceTableAt(std::span<const uint8_t> s, size_t pos,
                                                   bool strict, size_t& work) {
    if (readU8(s, pos) != kClxPieceTable)
        return std::nullopt;
    const uint32_t lcb = readU32LE(s, pos + 1);
    const size_t base = pos + 5;
    if (lcb < kSmallestPieceTable || (lcb - kCpSize) % (kCpSize + kPcdSize) != 0 ||
        !fits(s, base, lcb) || readU32LE(s, base) != 0)
        return std::nullopt;
    const size_t n = (lcb - kCpSize) / (kCpSize + kPcdSize);
    std::vector<TextPiece> pieces;
    uint32_t previous = 0;
    for (size_t k = 0; k < n; ++k) {
        ++work;
        const uint32_t cp1 = readU32LE(s, base + kCpSize * (k + 1));
        if (cp1 <= previous || cp1 > s.size())
            return std::nullopt;
        const uint32_t fc = readU32LE(s, base + kCpSize * (n + 1) + kPcdSize * k + kPcdFc);
        TextPiece p{previous, cp1, (fc & kCompressedBit) ? (fc & ~kCompressedBit) / 2 : fc};
        if (strict && !fits(s, p.start, p.cp1 - p.cp0))
            return std::nullopt;
        pieces.push_back(p);
        previous = cp1;
    }
    if (strict) {
        size_t nul = 0, total = 0;
        for (const TextPiece& p : pieces) {
            total += p.cp1 - p.cp0;
            nul += static_cast<size_t>(
                std::count(s.begin() + p.start, s.begin() + p.start + (p.cp1 - p.cp0), 0));
        }
        work += total;
        if (nul * 8 > total)
            return std::nullopt;
    }
    // A table none of whose pieces begins inside the stream describes nothing readable.
    const bool anyInside = std::any_of(pieces.begin(), pieces.end(),
                                       [&](const TextPiece& p) { return p.start < s.size(); });
    if (!anyInside)
        return std::nullopt;
    return pieces;
}

// The piece table of the CLX at [fc, fc + lcb): property groups are skipped up to the table.
std::optional<std::vector<TextPiece>> pieceTableOfClx(std::span<const uint8_t> s, uint32_t fc,
                                                      uint32_t lcb) {
    if (lcb == 0 || !fits(s, fc, lcb))
        return std::nullopt;
    const size_t end = size_t{fc} + lcb;
    size_t i = fc;
    size_t work = 0;
    while (i < end) {
        const uint8_t kind = s[i];
        if (kind == kClxGrpprl) {
            i += 3 + readU16LE(s, i + 1);
        } else if (kind == kClxPieceTable) {
            return pieceTableAt(s, i, false, work);
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Searches the stream for a piece table whose structure checks out, preferring one whose
// characters match `expectedChars` (when known), else the last one (a fast save appends its
// newest table after the older ones).
std::optional<std::vector<TextPiece>> findPieceTable(std::span<const uint8_t> s,
                                                     uint32_t expectedChars) {
    std::optional<std::vector<TextPiece>> best;
    size_t work = 0;
    const size_t budget = s.size() + 1024;
    for (size_t i = 0; i + 5 + kSmallestPieceTable <= s.size() && work < budget; ++i) {
        if (s[i] != kClxPieceTable)
            continue;
        auto table = pieceTableAt(s, i, true, work);
        if (!table)
            continue;
        const uint32_t chars = table->back().cp1;
        const bool matches =
            expectedChars != 0 && (chars == expectedChars || chars == expectedChars + 1);
        best = std::move(table);
        if (matches)
            break;
    }
    return best;
}

// Appends bytes [from, to) of the stream, clipped to it, leaving out NUL bytes (no text
// holds them; they are what a wiped or missing stretch reads as).
void appendBytes(std::span<const uint8_t> s, size_t from, size_t to, std::vector<uint8_t>& out) {
    to = std::min(to, s.size());
    for (size_t i = from; i < to; ++i)
        if (s[i] != 0)
            out.push_back(s[i]);
}

// Runs of text-like bytes in [from, to): long runs with letters when there are any, else the
// short ones, joined by paragraph ends.
std::vector<uint8_t> readableRuns(std::span<const uint8_t> s, size_t from, size_t to) {
    to = std::min(to, s.size());
    for (size_t shortest : {kLongRun, kShortRun}) {
        std::vector<uint8_t> out;
        size_t i = from;
        while (i < to) {
            if (!textByte(s[i])) {
                ++i;
                continue;
            }
            size_t j = i, letters = 0;
            for (; j < to && textByte(s[j]); ++j)
                letters += letterByte(s[j]) ? 1 : 0;
            if (j - i >= shortest && letters * 2 >= j - i) {
                if (!out.empty() && out.back() != kParagraphEnd)
                    out.push_back(kParagraphEnd);
                out.insert(out.end(), s.begin() + i, s.begin() + j);
            }
            i = j;
        }
        if (!out.empty())
            return out;
    }
    return {};
}

// The code page the fonts agree on, when they name exactly one character set we convert
// (symbol, OEM and East Asian sets say nothing about the text's letters).
std::optional<uint16_t> fontsCodePage(std::span<const uint8_t> s) {
    const uint32_t fc = readU32LE(s, kWord6FcSttbfFfn);
    const uint32_t lcb = readU32LE(s, kWord6FcSttbfFfn + 4);
    if (lcb < 2 || !fits(s, fc, lcb))
        return std::nullopt;
    const size_t end = size_t{fc} + std::min<uint32_t>(lcb, readU16LE(s, fc));
    std::optional<uint16_t> agreed;
    // Each font: a byte of its size less one, flags, a 16-bit weight, its character set.
    constexpr size_t kFontCharset = 4;
    for (size_t i = size_t{fc} + 2; i + kFontCharset < end; i += size_t{s[i]} + 1) {
        const uint8_t charset = s[i + kFontCharset];
        for (const CharsetPage& c : kCharsetPages) {
            if (c.charset != charset)
                continue;
            if (agreed && *agreed != c.codePage)
                return std::nullopt;
            agreed = c.codePage;
        }
    }
    return agreed;
}

std::vector<uint8_t> toUtf16le(std::span<const uint16_t> units) {
    std::vector<uint8_t> out;
    out.reserve(units.size() * 2);
    for (uint16_t u : units)
        appendU16LE(out, u);
    return out;
}

// What one FIB layout offers the reader.
struct FibFacts {
    bool fibReadable = false;  // the FIB's version checks out
    bool complex = false;
    uint32_t fcMin = 0, fcMac = 0;
    uint32_t chars = 0;  // the stories' characters, 0 when unknown
    std::optional<std::vector<TextPiece>> table;
};

// Reads the text by the best source the facts allow and fills `out`.
void readText(std::span<const uint8_t> s, const FibFacts& fib, EarlyWordText& out) {
    std::vector<uint8_t> bytes;
    std::optional<std::vector<TextPiece>> table = fib.table;
    if (!table && (fib.complex || !fib.fibReadable)) {
        table = findPieceTable(s, fib.chars);
        out.tableFoundByScan = table.has_value();
    }
    const bool rangeSound = fib.fibReadable && fib.fcMin >= kFibHeadSize && fib.fcMin < s.size() &&
                            fib.fcMin < fib.fcMac;
    if (table) {
        for (const TextPiece& p : *table)
            appendBytes(s, p.start, size_t{p.start} + (p.cp1 - p.cp0), bytes);
        out.pieces = table->size();
        out.source = EarlyTextSource::PieceTable;
    }
    if (bytes.empty() && rangeSound) {
        // An fcMac beyond the stream is damaged (or the stream cut short): the characters
        // the FIB counts bound the text instead, when it gives them.
        const size_t end = fib.fcMac <= s.size() || fib.chars == 0 ? size_t{fib.fcMac}
                                                                   : size_t{fib.fcMin} + fib.chars;
        appendBytes(s, fib.fcMin, end, bytes);
        out.source = EarlyTextSource::TextRange;
    }
    if (bytes.empty() && fib.fibReadable && fib.fcMin >= kFibHeadSize && fib.fcMin < s.size() &&
        fib.chars != 0) {
        appendBytes(s, fib.fcMin, size_t{fib.fcMin} + fib.chars, bytes);
        out.source = EarlyTextSource::TextRange;
    }
    if (bytes.empty()) {
        bytes = readableRuns(s, 0, s.size());
        out.source = bytes.empty() ? EarlyTextSource::None : EarlyTextSource::ReadableRuns;
    }
    if (out.source != EarlyTextSource::PieceTable)
        out.pieces = 0;
    const std::vector<uint16_t> units = ansiToUtf16(bytes, out.codePage);
    out.text = toUtf16le(plainDocumentText(units));
}

}  // namespace

bool isWord2File(std::span<const uint8_t> b) {
    const uint16_t ident = readU16LE(b, 0);
    return fits(b, 0, kFibHeadSize) && (ident == kWinWord1Ident || ident == kWinWord2Ident) &&
           readU16LE(b, kFibNFib) < kFirstWord6NFib;
}

EarlyWordText readWord6Text(std::span<const uint8_t> s) {
    EarlyWordText out;
    FibFacts fib;
    out.version = versionFromFib(s);
    fib.fibReadable = (out.version == 6 || out.version == 7) && fits(s, 0, kWord6FibSize);
    if (fib.fibReadable) {
        fib.complex = (readU16LE(s, kFibFlags) & kFlagComplex) != 0;
        fib.fcMin = readU32LE(s, kFibFcMin);
        fib.fcMac = readU32LE(s, kFibFcMac);
        uint64_t chars = 0;
        for (size_t k = 0; k < kWord6CcpCount; ++k)
            chars += readU32LE(s, kWord6CcpFirst + 4 * k);
        fib.chars = chars <= s.size() ? static_cast<uint32_t>(chars) : 0;
        fib.table = pieceTableOfClx(s, readU32LE(s, kWord6FcClx), readU32LE(s, kWord6FcClx + 4));
        out.codePage = ansiCodePageOfLanguage(readU16LE(s, kFibLid));
        if (out.codePage == kCodePageWestern)
            out.codePage = fontsCodePage(s).value_or(kCodePageWestern);
        // Text saved on a Macintosh is in its Roman character set (the other Macintosh
        // sets are not converted; their letters read as Roman ones).
        if (readU16LE(s, kFibChse) == kCharsetMac && out.codePage == kCodePageWestern)
            out.codePage = kCodePageMacRoman;
    } else {
        out.version = -1;
    }
    readText(s, fib, out);
    return out;
}

EarlyWordText readWord2Text(std::span<const uint8_t> s) {
    EarlyWordText out;
    FibFacts fib;
    fib.fibReadable = isWord2File(s);
    if (fib.fibReadable) {
        out.version = versionFromNFib(readU16LE(s, kFibNFib), 0, 0);
        fib.complex = (readU16LE(s, kFibFlags) & kFlagComplex) != 0;
        fib.fcMin = readU32LE(s, kFibFcMin);
        fib.fcMac = readU32LE(s, kFibFcMac);
        const uint16_t lid = readU16LE(s, kFibLid);
        out.codePage = lid >= kFirstLanguageId ? ansiCodePageOfLanguage(lid) : kCodePageWestern;
    }
    readText(s, fib, out);
    return out;
}

}  // namespace morvel
