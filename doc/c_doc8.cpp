#include "doc/c_doc8.h"

#include <algorithm>
#include <array>

#include "doc/fib_layout.h"
#include "doc/fib_rebuild.h"
#include "doc/picture_type.h"
#include "doc/property_pages.h"
#include "doc/word_version.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr int32_t kTextStart = static_cast<int32_t>(kOutputTextStart);
constexpr uint16_t kTableStreamBit = 0x0200;
constexpr uint32_t kDggInfoReadOffset = 554;
// The drawing group's picture store: its 8-byte header sits after the 16 bytes of the group's
// header and its first child's header, and that child's length; each entry is an 8-byte
// header and at least 36 bytes, the picture's position in the WordDocument stream 28 bytes in.
constexpr uint64_t kPictureStoreHeader = 24;
constexpr uint64_t kPictureEntrySize = 44;
constexpr uint64_t kFoDelayInEntry = 36;

// FIB fc offsets of the tables kept from the source, in reading order; the second and third
// groups are read only when the FIB's pair area reaches 906 and 1024.
constexpr uint32_t kTablesRead[] = {162, 170, 178, 186, 194, 202, 242, 282, 274, 290,
                                    298, 306, 322, 330, 338, 346, 394, 402, 410, 474,
                                    482, 522, 530, 554, 562, 594, 602, 722, 754, 842};
constexpr uint32_t kTablesFrom906[] = {906, 938};
constexpr uint32_t kTablesFrom1024[] = {1058, 1186, 1194, 1210};

// [from, from + count) of a stream, zero-filled where the stream ends.
std::vector<uint8_t> copyRange(std::span<const uint8_t> stream, int64_t from, int64_t count) {
    if (count <= 0)
        return {};
    std::vector<uint8_t> out(static_cast<size_t>(count), 0);
    if (from >= 0 && from < static_cast<int64_t>(stream.size())) {
        const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(stream.size()) - from);
        std::copy_n(stream.begin() + from, n, out.begin());
    }
    return out;
}

// Whether the bytes at fcMin hold UTF-16 text rather than 8-bit characters. UTF-16 text of
// one script repeats one small high byte (0 for Latin, 4 for Cyrillic, 5 for Hebrew), which
// 8-bit text, where such bytes are rare control characters, never does.
bool looksLikeUtf16(std::span<const uint8_t> bytes) {
    const size_t units = std::min<size_t>(bytes.size(), 4096) / 2;
    if (units < 4)
        return false;
    std::array<size_t, 256> high{};
    bool anyLow = false;
    for (size_t i = 0; i < units; ++i) {
        ++high[bytes[2 * i + 1]];
        anyLow = anyLow || bytes[2 * i] != 0;
    }
    const auto top = std::max_element(high.begin(), high.begin() + 0x20);
    return anyLow && *top * 10 >= units * 6;
}

// The one piece read when there is no piece table. It starts at fcMin, or past the zero
// bytes that fill the rest of fcMin's 512-byte page when the text begins on the next one, and
// covers every character the FIB counts (the main text and the footnote, header, comment,
// endnote and text-box texts after it, with their closing paragraph mark), as far as the
// stream holds. The characters are 8-bit unless the bytes there are plainly UTF-16: read as
// 8-bit, such text would keep only its first half, split by NULs.
Piece pieceFromFcMin(std::span<const uint8_t> fibBytes, std::span<const uint8_t> wd) {
    const int64_t size = static_cast<int64_t>(wd.size());
    int64_t start = std::min<int64_t>(readU32LE(fibBytes, fib::kFcMin), size);
    while (start < size) {
        const int64_t next = (start / 512 + 1) * 512;
        if (next >= size ||
            std::any_of(wd.begin() + start, wd.begin() + next, [](uint8_t b) { return b != 0; }))
            break;
        start = next;
    }
    int64_t wanted = std::max<int32_t>(0, readI32LE(fibBytes, fib::kCcpText));
    int64_t others = 0;
    for (size_t at = fib::kCcpText + 4; at <= fib::kCcpHdrTxbx; at += 4)
        others += std::max<int32_t>(0, readI32LE(fibBytes, at));
    wanted += others > 0 ? others + 1 : 0;
    const int64_t available = size - start;
    if (wanted == 0)
        wanted = available;
    Piece only;
    only.fc = static_cast<int32_t>(start);
    only.is16Bit = looksLikeUtf16(wd.subspan(static_cast<size_t>(start),
                                             static_cast<size_t>(std::min(available, 2 * wanted))));
    only.count = static_cast<int32_t>(std::min(wanted, only.is16Bit ? available / 2 : available));
    return only;
}

}  // namespace

TableChoice vWhichTable(uint16_t fibFlags, bool has1Table, bool has0Table) {
    TableChoice choice = TableChoice::None;
    if (has1Table)
        choice = TableChoice::Table1;
    if (has0Table)
        choice = TableChoice::Table0;
    if ((fibFlags & kTableStreamBit) && choice != TableChoice::None)
        choice = has1Table ? TableChoice::Table1 : TableChoice::None;
    return choice;
}

CDoc8::CDoc8(Doc8Streams streams, DocContext& ctx) : streams_(std::move(streams)), ctx_(ctx) {
    ctx_.textLength = 0;
}

std::span<const uint8_t> CDoc8::tableStream() const {
    if (tableChoice == TableChoice::Table1 && streams_.table1)
        return *streams_.table1;
    if (tableChoice == TableChoice::Table0 && streams_.table0)
        return *streams_.table0;
    return {};
}

std::span<const uint8_t> CDoc8::dataStream() const {
    return streams_.data ? std::span<const uint8_t>(*streams_.data) : std::span<const uint8_t>();
}

const FibTable* CDoc8::table(uint32_t fcOffset) const {
    auto it = tables.find(fcOffset);
    return it == tables.end() ? nullptr : &it->second;
}

FibTable* CDoc8::table(uint32_t fcOffset) {
    auto it = tables.find(fcOffset);
    return it == tables.end() ? nullptr : &it->second;
}

void CDoc8::stepProgress() {
    if (ctx_.progress && ctx_.progress->position() < ctx_.progressRange - 1)
        ctx_.progress->stepIt();
}

void CDoc8::readFib() {
    const std::vector<uint8_t> head = copyRange(streams_.wordDocument, 0, fib::kReadSize);
    std::copy(head.begin(), head.end(), fib.begin());
    version = versionFromFib(fib);
    fibFlags = readU16LE(fib, fib::kFlags);
    tableChoice = vWhichTable(fibFlags, streams_.table1.has_value(), streams_.table0.has_value());
}

void CDoc8::vReadPiecesText(uint32_t /*codePage: Windows-1252 stands for the ANSI page*/) {
    piecesRead_ = true;
    ccpText = readI32LE(fib, fib::kCcpText);
    ccpFtn = readI32LE(fib, fib::kCcpFtn);
    ccpHdd = readI32LE(fib, fib::kCcpHdd);
    ccpMcr = readI32LE(fib, fib::kCcpMcr);
    ccpAtn = readI32LE(fib, fib::kCcpAtn);
    ccpEdn = readI32LE(fib, fib::kCcpEdn);
    ccpTxbx = readI32LE(fib, fib::kCcpTxbx);
    ccpHdrTxbx = readI32LE(fib, fib::kCcpHdrTxbx);
    const std::span<const uint8_t> wd = streams_.wordDocument;
    const std::span<const uint8_t> tbl = tableStream();
    const uint32_t fcClx = readU32LE(fib, fib::kClx);
    const uint32_t lcbClx = readU32LE(fib, fib::kClx + 4);
    const int64_t clxBytes = std::min<int64_t>(lcbClx, static_cast<int64_t>(tbl.size()));
    const std::vector<uint8_t> clx = copyRange(tbl, fcClx, clxBytes);
    pieces = parseClx(clx, static_cast<uint32_t>(wd.size()));
    if (pieces.empty()) {
        pieces.push_back(pieceFromFcMin(fib, wd));
        ctx_.statusCode = kStatusTextOnly;
    }
    text.clear();
    readPiecesText(pieces, wd, kTextStart, text);
    ctx_.textLength = static_cast<uint32_t>(text.size());
    ctx_.textIs16Bit = !pieces.empty() && pieces.back().is16Bit;
}

void CDoc8::vReadSTSH() {
    const uint32_t count = readU32LE(fib, fib::kPairCount);
    if (count == 0) {
        ctx_.statusCode = kStatusTextOnly;
        return;
    }
    const uint64_t areaEnd = fib::kPairsStart + 8ull * count;
    std::vector<uint32_t> order(std::begin(kTablesRead), std::end(kTablesRead));
    if (areaEnd >= 906)
        order.insert(order.end(), std::begin(kTablesFrom906), std::end(kTablesFrom906));
    if (areaEnd >= 1024)
        order.insert(order.end(), std::begin(kTablesFrom1024), std::end(kTablesFrom1024));
    const std::span<const uint8_t> tbl = tableStream();
    const int64_t size = static_cast<int64_t>(tbl.size());
    for (uint32_t at : order) {
        const int32_t fc = readI32LE(fib, at);
        const int32_t lcb = readI32LE(fib, at + 4);
        if (fc < 0 || lcb <= 0 || fc >= size || lcb >= size) {
            writeU32LE(fib, at, 0);
            writeU32LE(fib, at + 4, 0);
            continue;
        }
        FibTable t;
        t.fc = fc;
        t.lcb = lcb;
        t.bytes = copyRange(tbl, fc, lcb);
        tables[at] = std::move(t);
    }
    if (const FibTable* sed = table(fib::kPlcfSed))
        readSections(*sed);
}

void CDoc8::readSections(const FibTable& sed) {
    const std::span<const uint8_t> wd = streams_.wordDocument;
    const int64_t n = sed.lcb < 4 ? 0 : (sed.lcb - 4) / 16;
    for (int64_t i = 0; i < n; ++i) {
        SectionRecord section;
        section.fcSepx = readI32LE(sed.bytes, static_cast<size_t>(4 * n + 4 + 12 * i + 2));
        const int64_t at = section.fcSepx;
        // A section whose length is 256 or more is not a real one: it stays empty.
        if (at > 0 && at < static_cast<int64_t>(wd.size()) && readU8(wd, at + 1) == 0)
            section.sprms = copyRange(wd, at + 2, readU8(wd, at));
        sections.push_back(std::move(section));
    }
}

int CDoc8::ReadPapProperty() {
    const std::span<const uint8_t> tbl = tableStream();
    const uint32_t fc = readU32LE(fib, fib::kPlcfBtePapx);
    const uint32_t lcb = readU32LE(fib, fib::kPlcfBtePapx + 4);
    if (lcb > tbl.size() || fc > tbl.size() - lcb)
        return -1;
    PropertySource src{streams_.wordDocument, &pieces, text, [this] { stepProgress(); }};
    readPapRuns(tbl.subspan(fc, lcb), src, papRuns);
    papRunsRead = papRuns.size();
    return 0;
}

int CDoc8::ReadChpProperty() {
    const std::span<const uint8_t> tbl = tableStream();
    const uint32_t fc = readU32LE(fib, fib::kPlcfBteChpx);
    const uint32_t lcb = readU32LE(fib, fib::kPlcfBteChpx + 4);
    if (lcb > tbl.size() || fc > tbl.size() - lcb)
        return -1;
    PropertySource src{streams_.wordDocument, &pieces, text, [this] { stepProgress(); }};
    readChpRuns(tbl.subspan(fc, lcb), src, chpRuns);
    chpRunsRead = chpRuns.size();
    return 0;
}

void CDoc8::recount(PropertyRuns& runs, const PieceLookup& lookup) {
    const int32_t beyond = kTextStart + static_cast<int32_t>(text.size()) + 20;
    for (PropertyRun& run : runs)
        run.outputPos = run.fc == 0 ? beyond : lookup.map(run.fc, beyond);
}

void CDoc8::compact(PropertyRuns& runs) {
    const auto byOutput = [](const PropertyRun& a, const PropertyRun& b) {
        return a.outputPos < b.outputPos;
    };
    // Runs of an undamaged document are already in order: one look instead of a merge sort.
    if (!std::is_sorted(runs.begin(), runs.end(), byOutput))
        std::stable_sort(runs.begin(), runs.end(), byOutput);
    const int32_t limit = kTextStart + static_cast<int32_t>(text.size());
    size_t kept = 0;
    while (kept < runs.size() && runs[kept].outputPos <= limit) {
        if (++kept % 100 == 0)
            stepProgress();
    }
    runs.list().resize(kept);
}

void CDoc8::addEndRuns() {
    const int32_t textEnd = kTextStart + static_cast<int32_t>(text.size());
    if (chpRuns.empty() || chpRuns.back().outputPos < textEnd) {
        const uint32_t marker = chpRuns.empty() ? kNoRunsMarker : kResyncMarker;
        chpRuns.add(0).outputPos = textEnd + 2;
        chpRuns.addSprmU32(kSprmMarker, marker);
    }
}

int32_t CDoc8::copyDataBlock(int32_t oldOffset) {
    for (const DataBlock& b : dataBlocks)
        if (b.oldOffset == oldOffset)
            return b.newOffset;
    const std::span<const uint8_t> data = dataStream();
    if (oldOffset < 0 || static_cast<size_t>(oldOffset) >= data.size())
        return -1;
    DataBlock block;
    block.oldOffset = oldOffset;
    block.length = readU16LE(data, oldOffset) + 2;
    block.bytes = copyRange(data, oldOffset, block.length);
    block.newOffset =
        dataBlocks.empty() ? 0 : dataBlocks.back().newOffset + dataBlocks.back().length;
    dataBlocks.push_back(block);
    return block.newOffset;
}

void CDoc8::moveDataBlocks() {
    const std::span<const uint8_t> data = dataStream();
    for (PropertyRun& run : papRuns) {
        const SprmRecord* sprm = papRuns.find(run, kSprmTableInData);
        if (!sprm)
            sprm = papRuns.find(run, kSprmPropsInData);
        if (!sprm)
            continue;
        const int32_t old = static_cast<int32_t>(papRuns.operandU32(*sprm));
        const size_t index = dataBlocks.size();
        const int32_t moved = copyDataBlock(old);
        if (moved < 0)
            continue;
        papRuns.setOperandU32(*sprm, static_cast<uint32_t>(moved));
        // A block that itself points at table properties brings that block along, and its
        // pointer is moved with it so the output does not point at the old place.
        if (dataBlocks.size() > index &&
            readU16LE(data, static_cast<size_t>(old) + 2) == kSprmTableInData) {
            const int32_t inner = copyDataBlock(readI32LE(data, static_cast<size_t>(old) + 4));
            if (inner >= 0)
                writeU32LE(dataBlocks[index].bytes, 4, static_cast<uint32_t>(inner));
        }
    }
}

void CDoc8::vMakePapxFkp() {
    moveDataBlocks();
    papxPages = packPapxPages(papRuns, [this] { stepProgress(); });
}

int CDoc8::GetPictureType(int32_t offset, int32_t length) {
    return pictureTypeAt(dataStream(), offset, length);
}

void CDoc8::vMakeChpxFkp() {
    const std::span<const uint8_t> data = dataStream();
    for (PropertyRun& run : chpRuns) {
        if (run.outputPos < kTextStart)
            continue;
        // A picture run has a picture location and the special-character flag, in either
        // order (Word writes the location first, other writers the flag first), and is no
        // embedded object (whose location names its storage, not a Data offset).
        int flag = 0;
        const SprmRecord* location = nullptr;
        for (const SprmRecord& s : chpRuns.sprms(run)) {
            if (s.opcode == kSprmPicLocation) {
                flag |= 1;
                location = &s;
            } else if (s.opcode == kSprmSpecialChar) {
                flag |= 2;
            } else if (s.opcode == kSprmEmbeddedObject) {
                flag |= 4;
            }
        }
        if (flag != 3)
            continue;
        ++pictureRuns;
        const int32_t old = static_cast<int32_t>(chpRuns.operandU32(*location));
        auto known = std::find_if(dataBlocks.begin(), dataBlocks.end(),
                                  [old](const DataBlock& b) { return b.oldOffset == old; });
        if (known != dataBlocks.end()) {
            chpRuns.setOperandU32(*location, static_cast<uint32_t>(known->newOffset));
            continue;
        }
        const int32_t length = old < 0 ? 0 : readI32LE(data, static_cast<size_t>(old));
        if (length < 0 || static_cast<size_t>(length) > data.size())
            continue;
        if (GetPictureType(old, length) < 0) {
            for (SprmRecord& s : chpRuns.sprms(run))
                if (s.opcode == kSprmPicLocation || s.opcode == kSprmSpecialChar ||
                    s.opcode == kSprmEmbeddedObject)
                    s.dropped = true;
            ++picturesDropped;
            continue;
        }
        DataBlock block;
        block.oldOffset = old;
        block.length = length;
        block.newOffset =
            dataBlocks.empty() ? 0 : dataBlocks.back().newOffset + dataBlocks.back().length;
        block.bytes = copyRange(data, old, length);
        chpRuns.setOperandU32(*location, static_cast<uint32_t>(block.newOffset));
        dataBlocks.push_back(std::move(block));
    }
    chpxPages = packChpxPages(chpRuns, [this] { stepProgress(); });
}

void CDoc8::ReadPictureStore() {
    pictureStore.clear();
    const FibTable* dgg = table(kDggInfoReadOffset);
    if (!dgg)
        return;
    const std::span<const uint8_t> bytes = dgg->bytes;
    const uint64_t h = readU32LE(bytes, 12);
    if (h + 24 > bytes.size())
        return;
    // The picture store's entries follow its header; each is 44 bytes unless it carries a
    // name (or its picture) after its fixed part, which its own length then counts. The
    // entries are walked by those lengths, so that a long entry does not shift where the
    // ones after it are read and patched; a length that cannot be right steps 44 bytes.
    const uint64_t storeEnd =
        std::min<uint64_t>(h + kPictureStoreHeader + readU32LE(bytes, h + 20), bytes.size());
    const std::span<const uint8_t> wd = streams_.wordDocument;
    uint64_t copied = 0;
    for (uint64_t at = h + kPictureStoreHeader; at + kPictureEntrySize <= storeEnd;) {
        PictureStoreRecord record;
        record.h = static_cast<int32_t>(h);
        record.foDelayAt = static_cast<int32_t>(at + kFoDelayInEntry);
        const int32_t foDelay = readI32LE(bytes, at + kFoDelayInEntry);
        if (foDelay > 0) {
            const uint64_t length = readU32LE(wd, static_cast<size_t>(foDelay) + 4);
            const uint64_t end = static_cast<uint64_t>(foDelay) + 8 + length;
            // Records that share one picture must not multiply the stream's bytes.
            if (end <= wd.size() && copied + length + 8 <= wd.size()) {
                record.blipLength = static_cast<int32_t>(length);
                record.blip.assign(wd.begin() + foDelay, wd.begin() + static_cast<int64_t>(end));
                copied += length + 8;
            }
        }
        pictureStore.push_back(std::move(record));
        const uint64_t own = 8ull + readU32LE(bytes, at + 4);
        at += own >= kPictureEntrySize && at + own <= storeEnd ? own : kPictureEntrySize;
    }
}

bool fibWiped(std::span<const uint8_t> fibBytes) {
    return readU16LE(fibBytes, 0) == 0 && readU16LE(fibBytes, fib::kNFib) == 0;
}

int CDoc8::ReadDocument(uint32_t codePage) {
    readFib();
    // A FIB without its identifier and version was wiped, not written by an old Word: it is
    // rebuilt like one whose table count is implausible, and the document read as Word 97.
    const bool wiped = fibWiped(fib);
    if (wiped || readU32LE(fib, fib::kPairCount) >= fib::kSoundPairLimit) {
        if (!rebuildFib(fib, streams_.wordDocument, tableStream()))
            return -1;
        fibRebuilt = true;
        if (wiped)
            version = kWordVersion97;
        vReadPiecesText(codePage);
    }
    if (version < 6)
        return -1;
    vReadSTSH();
    listTables = readListTables(fib, tableStream(), tables);
    // A FIB that names a table stream the file does not have is refused. When neither table
    // stream is left (both lost with the end of a cut-off file or a damaged directory), the
    // piece table is gone like any unreadable one: the text is read from fcMin and kept as a
    // plain document.
    if (tableChoice == TableChoice::None && (streams_.table1 || streams_.table0))
        return -1;
    if (!piecesRead_)
        vReadPiecesText(codePage);

    const uint32_t lcbChp = readU32LE(fib, fib::kPlcfBteChpx + 4);
    const uint32_t lcbPap = readU32LE(fib, fib::kPlcfBtePapx + 4);
    ctx_.progressRange = static_cast<int>(
        std::min<uint64_t>((lcbChp / 4 + 1) * 3ull + (lcbPap / 4) * 2ull, 0x7FFFFFFF));
    if (ctx_.progress) {
        ctx_.progress->setRange(0, ctx_.progressRange);
        ctx_.progress->setStep(1);
        ctx_.progress->setPosition(0);
        ctx_.progress->stepIt();
    }
    // A bin table cut off with the table stream leaves the formatting unreadable, not the
    // text: the runs are dropped and the text is kept as a plain document.
    if (ReadPapProperty() < 0 || ReadChpProperty() < 0) {
        papRuns.clear();
        chpRuns.clear();
        ctx_.statusCode = kStatusTextOnly;
    }
    const PieceLookup lookup(pieces);
    recount(chpRuns, lookup);
    stepProgress();
    recount(papRuns, lookup);
    stepProgress();

    compact(papRuns);
    vMakePapxFkp();
    compact(chpRuns);
    addEndRuns();
    vMakeChpxFkp();
    stepProgress();
    return version;
}

}  // namespace morvel
