#include "docwriter/text_write.h"

#include <algorithm>

#include "doc/fib_layout.h"
#include "doc/fkp_packer.h"
#include "docwriter/fib_header.h"
#include "platform/compound_file_writer.h"
#include "platform/file_io.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr uint32_t kPage = 512;
constexpr uint32_t kTableStreamSize = 4096;

// Table stream positions.
constexpr uint32_t kTblSed = 318;
constexpr uint32_t kTblBteChpx = 374;
constexpr uint32_t kTblClx = 402;
constexpr uint8_t kClxPieceTable = 2;

// Style sheet: cbStshi 18, then the STSHI: no styles, 10-byte STD base, stiMaxWhenSaved 91,
// istdMaxFixedWhenSaved 15, the rest zero.
constexpr uint16_t kEmptyStyleSheet[10] = {18, 0, 10, 0, 91, 15, 0, 0, 0, 0};

struct Sprm {
    uint16_t opcode;
    uint16_t operand;
};
// A4 page with 2.5 cm margins (the page height as the original writes it).
constexpr Sprm kSectionSprms[7] = {{0xB01F, 11906}, {0xB020, 16742}, {0xB021, 1417}, {0xB022, 1417},
                                   {0x9023, 1417},  {0x9024, 1417},  {0xB025, 0}};

}  // namespace

CTextWrite::CTextWrite() {
    writeU16LE(sectionProperties, 0, 28);
    for (int i = 0; i < 7; ++i) {
        writeU16LE(sectionProperties, 2 + 4 * i, kSectionSprms[i].opcode);
        writeU16LE(sectionProperties, 4 + 4 * i, kSectionSprms[i].operand);
    }
    paragraphMark = {0x0D, 0x00};
    // CP 0, end CP (set when writing), SED: fn 5, fcSepx (set when writing), fnMpr 0,
    // fcMpr none.
    writeU16LE(sectionTable, 8, 5);
    writeU32LE(sectionTable, 16, 0xFFFFFFFF);
}

void CTextWrite8::vMakeFib() {
    fib.assign(fib::kOutputSize, 0);
    const uint32_t t = static_cast<uint32_t>(textBytes);
    writeFibHeader(fib, static_cast<uint32_t>(baseOffset), kOutputTextStart + 2 + t);
    writeU32LE(fib, fib::kCcpText, t / 2 + 1);
}

void CTextWrite8::setTable(uint32_t fcField, uint32_t fc, uint32_t lcb) {
    writeU32LE(fib, fcField, fc);
    writeU32LE(fib, fcField + 4, lcb);
}

void CTextWrite8::writeTableStream(CompoundStream& table, const TextLayout& layout) {
    // A style sheet header without styles: readers that parse the style sheet whatever its
    // length would otherwise read past the end of an empty one. Every paragraph keeps style 0.
    uint32_t pos = 0;
    uint32_t written = 0;
    for (uint16_t v : kEmptyStyleSheet)
        written += table.writeU16(v);
    setTable(fib::kStshf, pos, written);
    pos += written;
    pos += table.writeZeros(kTblSed - pos);
    writeU32LE(sectionTable, 4, layout.chars);
    writeU32LE(sectionTable, 10, (layout.chpPage + 2) * kPage);
    written = table.write(sectionTable);
    setTable(fib::kPlcfSed, pos, written);
    pos += written;
    pos += table.writeZeros(kTblBteChpx - pos);
    // One page of each kind over the whole text: the first position, the last, the page.
    written = table.writeU32(static_cast<uint32_t>(baseOffset)) + table.writeU32(layout.textEnd) +
              table.writeU32(layout.chpPage);
    setTable(fib::kPlcfBteChpx, pos, written);
    pos += written;
    written = table.writeU32(static_cast<uint32_t>(baseOffset)) + table.writeU32(layout.textEnd) +
              table.writeU32(layout.chpPage + 1);
    setTable(fib::kPlcfBtePapx, pos, written);
    pos += written;
    pos += table.writeZeros(kTblClx - pos);
    // One UTF-16 piece over every character.
    const uint8_t clxt = kClxPieceTable;
    written = table.write({&clxt, 1}) + table.writeU32(16) + table.writeU32(0) +
              table.writeU32(layout.chars) + table.writeU16(0x0050) +
              table.writeU32(kOutputTextStart) + table.writeU16(0);
    setTable(fib::kClx, pos, written);
    pos += written;
    table.writeZeros(kTableStreamSize - pos);
}

void CTextWrite8::writePropertyPages(CompoundStream& word, const TextLayout& layout) {
    const uint32_t T = static_cast<uint32_t>(textBytes);
    std::array<uint8_t, kPage> chp{};
    writeU32LE(chp, 0, static_cast<uint32_t>(baseOffset));
    writeU32LE(chp, 4, kOutputTextStart + T);
    writeU32LE(chp, 8, layout.textEnd);
    chp[12] = 0xFC;  // the text: CHPX at byte 504
    chp[13] = 0xF8;  // the final paragraph mark: CHPX at byte 496
    const uint8_t chpxMark[7] = {0x06, 0x16, 0x68, 0xF5, 0x39, 0xA0, 0x00};
    const uint8_t chpxText[7] = {0x06, 0x16, 0x68, 0x2F, 0x10, 0x50, 0x00};
    std::copy(chpxMark, chpxMark + 7, chp.begin() + 496);
    std::copy(chpxText, chpxText + 7, chp.begin() + 504);
    chp[511] = 2;
    word.write(chp);

    std::array<uint8_t, kPage> pap{};
    writeU32LE(pap, 0, static_cast<uint32_t>(baseOffset));
    writeU32LE(pap, 4, layout.textEnd);
    pap[8] = 0xFD;    // PAPX at byte 506; the 12-byte PHE stays zero
    pap[507] = 0x01;  // cb 0, cb' 1, istd 0
    pap[511] = 1;
    word.write(pap);
}

void CTextWrite8::writeWordDocumentStream(CompoundStream& word, std::span<const uint8_t> text,
                                          const TextLayout& layout) {
    const uint32_t T = static_cast<uint32_t>(textBytes);
    word.write(fib);
    word.writeZeros(kOutputTextStart - fib::kOutputSize);
    word.write(text.first(T));
    word.write(paragraphMark);
    word.writeZeros(layout.chpPage * kPage - layout.textEnd);
    writePropertyPages(word, layout);
    word.write(sectionProperties);
}

std::vector<uint8_t> CTextWrite8::BuildTextDocument(std::span<const uint8_t> text,
                                                    int32_t byteSize) {
    // The text given decides how much can be written: never read past its end, and whole
    // UTF-16 units only.
    int64_t t = std::clamp<int64_t>(int64_t{byteSize} - 2, 0, static_cast<int64_t>(text.size()));
    t &= ~int64_t{1};
    t = std::min<int64_t>(t, 0x7FFF0000);
    textBytes = static_cast<int32_t>(t);
    vMakeFib();
    const uint32_t T = static_cast<uint32_t>(textBytes);
    TextLayout layout;
    layout.chpPage = 5 + (T + 2) / kPage;
    layout.chars = T / 2 + 1;
    layout.textEnd = kOutputTextStart + 2 + T;

    CompoundFileWriter writer;
    writer.root().setClass(kWordDocumentClassId);
    // The table stream first: it fills in the FIB's table pairs the main stream then holds.
    writeTableStream(writer.root().createStream("1Table"), layout);
    writeWordDocumentStream(writer.root().createStream("WordDocument"), text, layout);

    std::vector<uint8_t> out = writer.serialize();
    fib.clear();
    return out;
}

bool CTextWrite8::WriteTextDocument(std::span<const uint8_t> text, int32_t byteSize,
                                    const std::filesystem::path& path) {
    std::vector<uint8_t> file = BuildTextDocument(text, byteSize);
    return writeFileAtomic(path, file, true).empty();
}

}  // namespace morvel
