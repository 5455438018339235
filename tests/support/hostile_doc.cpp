#include "tests/support/hostile_doc.h"

#include <stdexcept>
#include <string_view>

#include "doc/fib_layout.h"
#include "doc/raw_search.h"
#include "platform/le_reader.h"
#include "tests/support/cfb_builder.h"
#include "tests/support/word97_builder.h"

namespace morvel::test {

namespace {

constexpr uint32_t kRunsPerPage = 100;  // the most a character page may hold

// The streams in a compound file, as Word97Builder::buildFile lays them out.
std::vector<uint8_t> fileOf(const Doc8Streams& s) {
    std::vector<CfbStream> streams = {{"WordDocument", s.wordDocument},
                                      {"\001CompObj", std::vector<uint8_t>(60, 0x21)}};
    if (s.table1)
        streams.push_back({"1Table", *s.table1});
    return buildCompoundFile(streams);
}

constexpr size_t kSector = 512;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoLink = 0xFFFFFFFF;
constexpr size_t kEntry = 128;
constexpr uint32_t kDifatFileSectors = 14'100;  // past 109 x 128: the file needs a DIFAT

// A Word 97 document whose WordDocument stream takes about `sectors` sectors.
std::vector<uint8_t> wordFileOfSectors(uint32_t sectors) {
    Word97Builder b;
    b.sepxFrom = static_cast<uint32_t>(sectors * kSector);
    return b.buildFile();
}

// Position of the directory entry named `name` (the top-level one the builder wrote).
size_t entryPos(const std::vector<uint8_t>& file, std::string_view name) {
    const int64_t at = findBytes(file, 0, utf16Pattern(name));
    if (at < 0)
        throw std::runtime_error("hostile_doc: no entry " + std::string(name));
    return static_cast<size_t>(at);
}

// Position of sector s's FAT value, through the header's FAT sectors.
size_t fatPos(const CfbLayout& layout, uint32_t s) {
    return sectorPos(layout.fatSectors.at(s / (kSector / 4))) + 4 * (s % (kSector / 4));
}

// The last sector of the chain from `start`, through the FAT.
uint32_t lastOfChain(const std::vector<uint8_t>& file, const CfbLayout& layout, uint32_t start) {
    uint32_t s = start;
    for (uint32_t next; (next = readU32LE(file, fatPos(layout, s))) != kEndOfChain;)
        s = next;
    return s;
}

}  // namespace

std::vector<uint8_t> makeManyPiecesManyRunsDoc(uint32_t pieces, uint32_t runs) {
    Word97Builder b;
    b.text.assign(pieces, u'x');
    std::vector<int32_t> cps;
    std::vector<uint32_t> fcs;
    for (uint32_t i = 0; i <= pieces; ++i)
        cps.push_back(static_cast<int32_t>(i));
    for (uint32_t i = 0; i < pieces; ++i)
        fcs.push_back(b.textFc + 2 * i);
    b.clx = clxOf(cps, fcs);
    // A piece table is taken only when the WordDocument stream is at least as long.
    b.sepxFrom = static_cast<uint32_t>(b.clx->size());
    // One page of runs that end in the first pieces, the last ones a scan from the end of the
    // piece table reaches; its last run ends where it begins, so the page continues itself
    // and is accepted every time the bin table lists it.
    std::vector<Word97Builder::ChpRun> page;
    for (uint32_t i = 1; i < kRunsPerPage; ++i)
        page.push_back({b.textFc + 2 * std::min(i, pieces), {}});
    page.push_back({b.textFc, {}});
    b.chpPages = {page};
    Doc8Streams s = b.build();

    // The character bin table: that one page, listed over and over.
    const uint32_t textEnd = b.textFc + 2 * pieces;
    const uint32_t listed = std::max<uint32_t>(1, runs / kRunsPerPage);
    std::vector<uint8_t> bin;
    appendU32LE(bin, b.textFc);
    for (uint32_t i = 0; i < listed; ++i)
        appendU32LE(bin, textEnd);
    for (uint32_t i = 0; i < listed; ++i)
        appendU32LE(bin, b.chpPageNumbers[0]);
    std::vector<uint8_t>& table = *s.table1;
    writeU32LE(s.wordDocument, fib::kPlcfBteChpx, static_cast<uint32_t>(table.size()));
    writeU32LE(s.wordDocument, fib::kPlcfBteChpx + 4, static_cast<uint32_t>(bin.size()));
    table.insert(table.end(), bin.begin(), bin.end());
    return fileOf(s);
}

std::vector<uint8_t> makeRejectedParagraphPagesDoc(uint32_t pieces, uint32_t chars,
                                                   uint32_t pages) {
    Word97Builder b;
    b.text.assign(chars, u'\a');  // cell marks, each one counted
    std::vector<int32_t> cps;
    std::vector<uint32_t> fcs;
    const uint32_t per = std::max<uint32_t>(1, chars / std::max<uint32_t>(1, pieces));
    for (uint32_t i = 0; i < pieces && i * per < chars; ++i) {
        cps.push_back(static_cast<int32_t>(i * per));
        fcs.push_back(b.textFc + 2 * i * per);
    }
    cps.push_back(static_cast<int32_t>(chars));
    b.clx = clxOf(cps, fcs);
    b.sepxFrom = static_cast<uint32_t>(b.clx->size() + 2 * chars + 4096);
    Doc8Streams s = b.build();
    // A run count no paragraph page may hold (fewer than 30) rejects the page.
    s.wordDocument[size_t{b.papPageNumbers[0]} * 512 + 511] = 40;

    const uint32_t textEnd = b.textFc + 2 * chars;
    std::vector<uint8_t> bin;
    for (uint32_t i = 0; i <= pages; ++i)
        appendU32LE(bin, i % 2 ? textEnd : b.textFc);
    for (uint32_t i = 0; i < pages; ++i)
        appendU32LE(bin, b.papPageNumbers[0]);
    std::vector<uint8_t>& table = *s.table1;
    writeU32LE(s.wordDocument, fib::kPlcfBtePapx, static_cast<uint32_t>(table.size()));
    writeU32LE(s.wordDocument, fib::kPlcfBtePapx + 4, static_cast<uint32_t>(bin.size()));
    table.insert(table.end(), bin.begin(), bin.end());
    return fileOf(s);
}

std::vector<uint8_t> makeLoopedChainDoc(LoopedChain which, uint32_t sectors) {
    std::vector<uint8_t> f = wordFileOfSectors(
        which == LoopedChain::Difat ? std::max(sectors, kDifatFileSectors) : sectors);
    const CfbLayout layout = layoutOf(f);
    switch (which) {
        case LoopedChain::Fat: {
            const size_t e = entryPos(f, "WordDocument");
            const uint32_t start = readU32LE(f, e + 116);
            writeU32LE(f, fatPos(layout, lastOfChain(f, layout, start)), start);
            writeU32LE(f, e + 120, 0x7FFFFFFF);
            break;
        }
        case LoopedChain::Difat: {
            const uint32_t difStart = readU32LE(f, 68);
            if (readU32LE(f, 72) == 0 || difStart == kEndOfChain)
                throw std::runtime_error("hostile_doc: the file has no DIFAT");
            writeU32LE(f, sectorPos(difStart) + kSector - 4, difStart);
            break;
        }
        case LoopedChain::MiniFat: {
            const size_t e = entryPos(f, "1Table");
            const uint32_t start = readU32LE(f, e + 116);
            const size_t miniFat = sectorPos(layout.miniFatStart);
            uint32_t s = start;
            for (uint32_t next; (next = readU32LE(f, miniFat + 4 * s)) != kEndOfChain;)
                s = next;
            writeU32LE(f, miniFat + 4 * s, start);
            writeU32LE(f, fatPos(layout, layout.miniFatStart), layout.miniFatStart);
            break;
        }
        case LoopedChain::Directory:
            writeU32LE(f, fatPos(layout, lastOfChain(f, layout, layout.dirStart)), layout.dirStart);
            break;
    }
    return f;
}

std::vector<uint8_t> makeManyDirectoryEntriesDoc(uint32_t entries) {
    std::vector<uint8_t> entry(kEntry, 0);
    entry[0] = 'x';  // "x" and its terminating zero
    writeU16LE(entry, 64, 4);
    entry[66] = 2;  // a stream
    writeU32LE(entry, 68, kNoLink);
    writeU32LE(entry, 72, kNoLink);
    writeU32LE(entry, 76, kNoLink);
    writeU32LE(entry, 116, kEndOfChain);
    std::vector<uint8_t> extra;
    extra.reserve(size_t{entries} * kEntry);
    for (uint32_t i = 0; i < entries; ++i)
        extra.insert(extra.end(), entry.begin(), entry.end());
    return relayCompoundFile(wordFileOfSectors(8), kSector, extra);
}

std::vector<uint8_t> makeAbsurdValuesDoc(AbsurdValue which, uint32_t sectors) {
    std::vector<uint8_t> f = wordFileOfSectors(sectors);
    const CfbLayout layout = layoutOf(f);
    // Every entry of the directory's sectors, named or not.
    auto eachEntry = [&](auto&& change) {
        for (uint32_t s = layout.dirStart;; s = readU32LE(f, fatPos(layout, s))) {
            for (size_t k = 0; k < kSector / kEntry; ++k)
                change(sectorPos(s) + k * kEntry);
            if (readU32LE(f, fatPos(layout, s)) == kEndOfChain)
                break;
        }
    };
    switch (which) {
        case AbsurdValue::SectorShift:
            writeU16LE(f, 30, 0xFFFF);
            break;
        case AbsurdValue::FatCounts:
            writeU32LE(f, 44, 0x7FFFFFFF);
            writeU32LE(f, 68, 0);
            writeU32LE(f, 72, 0x7FFFFFFF);
            break;
        case AbsurdValue::StreamSizes:
            eachEntry([&](size_t e) { writeU32LE(f, e + 120, 0x7FFFFFFF); });
            break;
        case AbsurdValue::SectorNumbers:
            eachEntry([&](size_t e) { writeU32LE(f, e + 116, 0x7FFFFFF0); });
            writeU32LE(f, 48, 0x7FFFFFF0);
            writeU32LE(f, 60, 0x7FFFFFF0);
            break;
        case AbsurdValue::FibCounts: {
            // The FIB starts the WordDocument stream, which lies in regular sectors.
            const size_t fib = sectorPos(readU32LE(f, entryPos(f, "WordDocument") + 116));
            for (uint32_t at = fib::kCcpText; at <= fib::kCcpHdrTxbx; at += 4)
                writeU32LE(f, fib + at, 0x7FFFFFFF);
            writeU32LE(f, fib + fib::kClx + 4, 0xFFFFFFFF);
            writeU32LE(f, fib + fib::kPlcfBteChpx + 4, 0xFFFFFFF0);
            writeU16LE(f, fib + fib::kPairCount, 0xFFFF);
            break;
        }
    }
    return f;
}

}  // namespace morvel::test
