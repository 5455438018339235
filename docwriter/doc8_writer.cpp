#include "docwriter/doc8_writer.h"

#include <algorithm>
#include <exception>
#include <new>

#include "doc/fib_layout.h"
#include "doc/fkp_packer.h"
#include "docwriter/fib_header.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr uint32_t kMinTableStream = 4096;
// Fixed positions in the table stream: the note and section tables after the style sheet
// (or after it ends, when longer), then the bin tables.
constexpr uint32_t kNotesTablesStart = 318;
constexpr uint32_t kBinTablesStart = 374;
constexpr uint8_t kClxPieceTable = 2;

void setU32(std::array<uint8_t, fib::kOutputSize>& fibBytes, uint32_t at, uint32_t v) {
    writeU32LE(fibBytes, at, v);
}

void writeZerosTo(CompoundStream& s, uint32_t pos) {
    if (s.position() < pos)
        s.writeZeros(pos - s.position());
}

}  // namespace

uint32_t Doc8Writer::firstPropertyPage() const {
    return static_cast<uint32_t>(
        std::max<size_t>(5, (kOutputTextStart + doc_.text.size()) / 512 + 1));
}

void Doc8Writer::vMakeFib() {
    outputFib.fill(0);
    const uint32_t textBytes = static_cast<uint32_t>(doc_.text.size());
    // Text boxes need their text, their breaks and the shapes; without all three they go.
    const bool textBoxes = doc_.table(fib::kPlcftxbxTxt) && doc_.table(fib::kPlcfTxbxBkd) &&
                           doc_.table(fib::kPlcSpaMom);
    int32_t ccpTxbx = doc_.ccpTxbx;
    if (!textBoxes) {
        doc_.tables.erase(fib::kPlcftxbxTxt);
        doc_.tables.erase(fib::kPlcfTxbxBkd);
        ccpTxbx = 0;
        const FibTable* dgg = doc_.table(fib::kDggInfo);
        if (doc_.pictureStore.empty() && (!dgg || dgg->bytes.empty()))
            doc_.tables.erase(fib::kPlcSpaMom);
    }
    if (!doc_.table(fib::kPlcftxbxTxt))
        ccpTxbx = 0;
    int32_t ccpText = doc_.ccpText, ccpFtn = doc_.ccpFtn, ccpHdd = doc_.ccpHdd,
            ccpAtn = doc_.ccpAtn;
    int32_t ccpEdn = doc_.table(fib::kPlcfendTxt) ? doc_.ccpEdn : 0;
    // The counts must fit the text actually recovered; when a damaged source claims more,
    // only the main text is counted, cut to what there is.
    const int64_t chars = textBytes / 2;
    const int64_t others = static_cast<int64_t>(ccpFtn) + ccpHdd + ccpAtn + ccpEdn + ccpTxbx;
    if (ccpText < 0 || ccpFtn < 0 || ccpHdd < 0 || ccpAtn < 0 || ccpEdn < 0 || ccpTxbx < 0 ||
        static_cast<int64_t>(ccpText) + others + (others > 0 ? 1 : 0) > chars) {
        ccpText = static_cast<int32_t>(std::clamp<int64_t>(ccpText, 0, chars));
        ccpFtn = ccpHdd = ccpAtn = ccpEdn = ccpTxbx = 0;
    }

    writeFibHeader(outputFib, kOutputFcMin, kOutputTextStart + textBytes);
    setU32(outputFib, fib::kCcpText, static_cast<uint32_t>(ccpText));
    setU32(outputFib, fib::kCcpFtn, static_cast<uint32_t>(ccpFtn));
    setU32(outputFib, fib::kCcpHdd, static_cast<uint32_t>(ccpHdd));
    setU32(outputFib, fib::kCcpAtn, static_cast<uint32_t>(ccpAtn));
    setU32(outputFib, fib::kCcpEdn, static_cast<uint32_t>(ccpEdn));
    setU32(outputFib, fib::kCcpTxbx, static_cast<uint32_t>(ccpTxbx));
    setU32(outputFib, fib::kStshfOrig + 4, 318);
    setU32(outputFib, fib::kStshf + 4, 318);
    setU32(outputFib, fib::kPlcffndRef, 318);
    setU32(outputFib, fib::kPlcfBtePapx + 4, 12);
    setU32(outputFib, fib::kClx, 0x022E);
    setU32(outputFib, fib::kNFibNew, 0x01010002);
}

void Doc8Writer::writeDataStream(CompoundStorage& root) {
    if (doc_.dataBlocks.empty())
        return;
    CompoundStream& s = root.createStream(std::string_view("Data"));
    uint32_t written = 0;
    for (const DataBlock& b : doc_.dataBlocks) {
        s.seek(static_cast<uint32_t>(b.newOffset));
        written += s.write(b.bytes);
    }
    if (written < kMinTableStream)
        s.writeZeros(kMinTableStream - written);
}

void Doc8Writer::copySourceStorage(CompoundStorage& root, bool macros) {
    if (!source_ || !source_->treeWalked)
        return;
    const std::vector<WalkStep>& walk = source_->traversal;
    // The storage of that name; failing that, one whose damaged name still looks like it
    // (first letter "M", or second letter "b" directly under the root). The custom XML
    // store also begins with "M" and is never taken for the macros.
    auto find = [&](bool exact) {
        for (size_t i = 0; i < walk.size(); ++i) {
            const CStreamEntry* e = source_->at(walk[i].entry);
            if (!e || !e->hasChildren)
                continue;
            const std::string& n = e->name;
            bool match;
            if (exact)
                match = n == (macros ? "Macros" : "ObjectPool") && (macros || walk[i].depth == 0);
            else if (macros)
                match = !n.empty() && n[0] == 'M' && n != "MsoDataStore";
            else
                match = walk[i].depth == 0 && n.size() > 1 && n[1] == 'b';
            if (match)
                return i;
        }
        return walk.size();
    };
    size_t found = find(true);
    if (found == walk.size())
        found = find(false);
    if (found == walk.size() || found == 0)
        return;
    const int32_t baseDepth = walk[found].depth;
    std::vector<CompoundStorage*> open = {
        &root.createStorage(std::string_view(macros ? "Macros" : "ObjectPool"))};
    for (size_t i = found + 1; i < walk.size() && walk[i].depth > baseDepth; ++i) {
        const CStreamEntry* e = source_->at(walk[i].entry);
        if (!e)
            continue;
        const size_t level = static_cast<size_t>(walk[i].depth - baseDepth - 1);
        if (level >= open.size())
            continue;  // below a storage that could not be made
        open.resize(level + 1);
        const std::string name = e->name.substr(0, 32);
        if (e->type == 1) {
            open.push_back(&open[level]->createStorage(std::string_view(name)));
        } else if (e->type == 2) {
            open[level]->createStream(std::string_view(name)).write(source_->ReadWholeStream(*e));
        }
    }
}

void Doc8Writer::writeTable(CompoundStream& s, uint32_t readOffset, uint32_t fibOffset) {
    const FibTable* t = doc_.table(readOffset);
    if (!t || t->bytes.empty())
        return;
    const uint32_t written = s.write(t->bytes);
    // The list definitions' length counts the definitions alone, not the levels after them.
    const uint32_t lcb = fibOffset == fib::kPlfLst ? static_cast<uint32_t>(t->lcb) : written;
    setU32(outputFib, fibOffset + 4, lcb);
}

void Doc8Writer::fcHere(const CompoundStream& s, uint32_t fibOffset) {
    setU32(outputFib, fibOffset, s.position());
}

void Doc8Writer::writeStyleSheetAndNotes(CompoundStream& s) {
    const FibTable* stsh = doc_.table(fib::kStshf);
    const uint32_t stshBytes = stsh ? s.write(stsh->bytes) : 0;
    setU32(outputFib, fib::kStshfOrig + 4, stshBytes);
    setU32(outputFib, fib::kStshf + 4, stshBytes);
    writeZerosTo(s, kNotesTablesStart);
    for (uint32_t at : {fib::kPlcffndTxt, fib::kPlcfandRef, fib::kPlcfandTxt, fib::kPlcfSed}) {
        fcHere(s, at);
        writeTable(s, at, at);
    }
    writeZerosTo(s, kBinTablesStart);
}

void Doc8Writer::writeBinTables(CompoundStream& s) {
    // Each: the first position, each page's last position, each page's number.
    const uint32_t p0 = firstPropertyPage();
    auto binTable = [&](const std::vector<FkpPage>& pages, uint32_t firstPn, uint32_t at) {
        fcHere(s, at);
        uint32_t n = s.writeU32(kOutputTextStart);
        for (const FkpPage& page : pages)
            n += s.writeU32(page.lastFc);
        for (size_t i = 0; i < pages.size(); ++i)
            n += s.writeU32(firstPn + static_cast<uint32_t>(i));
        setU32(outputFib, at + 4, n);
    };
    binTable(doc_.chpxPages, p0, fib::kPlcfBteChpx);
    binTable(doc_.papxPages, p0 + static_cast<uint32_t>(doc_.chpxPages.size()), fib::kPlcfBtePapx);
}

void Doc8Writer::writePieceTable(CompoundStream& s) {
    // One UTF-16 piece per source piece, laid end to end from the text's start.
    s.writeZeros(4);
    fcHere(s, fib::kClx);
    const uint32_t n = static_cast<uint32_t>(doc_.pieces.size());
    uint32_t clx = 0;
    clx += s.write(std::array<uint8_t, 1>{kClxPieceTable});
    clx += s.writeU32(12 * n + 4);
    uint32_t cp = 0;
    clx += s.writeU32(0);
    for (const Piece& p : doc_.pieces) {
        cp += static_cast<uint32_t>(p.count);
        clx += s.writeU32(cp);
    }
    cp = 0;
    for (const Piece& p : doc_.pieces) {
        clx += s.writeU16(0);
        clx += s.writeU32(kOutputTextStart + 2 * cp);
        clx += s.writeU16(p.prm);
        cp += static_cast<uint32_t>(p.count);
    }
    setU32(outputFib, fib::kClx + 4, clx);
}

void Doc8Writer::writeKeptTables(CompoundStream& s) {
    // Each table at the position reached, in a fixed order; the fc of the next is set even
    // when that table is absent.
    struct Step {
        uint32_t table;   // FIB offset of the table written
        uint32_t nextFc;  // FIB fc set to the position after it
    };
    fcHere(s, fib::kPlcffndRef);
    const Step steps[] = {
        {fib::kPlcffndRef, fib::kPlcfHdd},
        {fib::kPlcfHdd, fib::kSttbfFfn},
        {fib::kSttbfFfn, fib::kPlcfFldMom},
        {fib::kPlcfFldMom, fib::kPlcfFldHdr},
        {fib::kPlcfFldHdr, fib::kPlcfFldFtn},
        {fib::kPlcfFldFtn, fib::kPlcfFldAtn},
        {fib::kPlcfFldAtn, fib::kSttbfBkmk},
        {fib::kSttbfBkmk, fib::kPlcfBkf},
        {fib::kPlcfBkf, fib::kPlcfBkl},
        {fib::kPlcfBkl, fib::kWss},
        {fib::kWss, fib::kDop},
        {fib::kDop, fib::kSttbfAssoc},
        {fib::kSttbfAssoc, fib::kPlcSpaMom},
        {fib::kPlcSpaMom, fib::kPlcSpaHdr},
        {fib::kPlcSpaHdr, fib::kPlcfendRef},
        {fib::kPlcfendRef, fib::kPlcfendTxt},
        {fib::kPlcfendTxt, fib::kSttbfRMark},
        {fib::kSttbfRMark, fib::kDggInfo},
    };
    for (const Step& step : steps) {
        writeTable(s, step.table, step.table);
        fcHere(s, step.nextFc);
        if (step.table == fib::kPlcfBkl)
            fcHere(s, fib::kCmds);  // the command table is not copied
    }
    writeTable(s, fib::kDggInfo, fib::kDggInfo);
}

void Doc8Writer::writeLaterTables(CompoundStream& s) {
    // Only the tables present get a position, in FIB order.
    for (uint32_t at :
         {fib::kPlcftxbxTxt, fib::kSttbSavedBy, fib::kPlfLst, fib::kPlfLfo, fib::kPlcfTxbxBkd,
          fib::kPlcfBteLvc, fib::kSttbListNames, fib::kRmdThreading, fib::kPlcfLad, fib::kPlrsid,
          fib::kExtra1, fib::kExtra2, fib::kExtra3}) {
        const FibTable* t = doc_.table(at);
        if (!t || t->bytes.empty())
            continue;
        fcHere(s, at);
        writeTable(s, at, at);
    }
}

void Doc8Writer::writeTableStream(CompoundStorage& root) {
    CompoundStream& s = root.createStream(std::string_view("1Table"));
    writeStyleSheetAndNotes(s);
    writeBinTables(s);
    writePieceTable(s);
    writeKeptTables(s);
    writeLaterTables(s);
    writeZerosTo(s, kMinTableStream);
}

void Doc8Writer::WriteWordDocumentStream(CompoundStorage& root) {
    CompoundStream& s = root.createStream(std::string_view("WordDocument"));
    s.write(outputFib);
    writeZerosTo(s, kOutputTextStart);
    s.write(doc_.text);
    const uint32_t p0 = firstPropertyPage();
    writeZerosTo(s, p0 * 512);
    for (const FkpPage& page : doc_.chpxPages)
        s.write(page.bytes);
    for (const FkpPage& page : doc_.papxPages)
        s.write(page.bytes);

    CompoundStream* table = root.findStream(u"1Table");
    const FibTable* sed = doc_.table(fib::kPlcfSed);
    const int64_t n = sed && sed->lcb >= 4 ? (sed->lcb - 4) / 16 : 0;
    if (n > 0 && !doc_.sections.empty()) {
        const int64_t s0 = doc_.sections[0].fcSepx;
        // The source's first position is kept when it lies ahead inside what the source
        // itself held; every SED then gets the position its properties are written at.
        if (s0 > s.position() && s0 < static_cast<int64_t>(doc_.streams().wordDocument.size()))
            writeZerosTo(s, static_cast<uint32_t>(s0));
        const uint32_t fcSed = readU32LE(outputFib, fib::kPlcfSed);
        uint32_t q = s.position();
        for (int64_t i = 0; i < n && i < static_cast<int64_t>(doc_.sections.size()); ++i) {
            if (table)
                table->patchU32(static_cast<uint32_t>(fcSed + 4 * (n + 1) + 12 * i + 2), q);
            q += static_cast<uint32_t>(doc_.sections[i].sprms.size()) + 2;
        }
        for (const SectionRecord& section : doc_.sections) {
            s.writeU16(static_cast<uint16_t>(section.sprms.size()));
            s.write(section.sprms);
        }
    }

    const uint32_t fcDgg = readU32LE(outputFib, fib::kDggInfo);
    for (const PictureStoreRecord& r : doc_.pictureStore) {
        if (r.h <= 0 || r.blipLength <= 0)
            continue;
        const uint32_t at = s.position();
        s.write(r.blip);
        if (table)
            table->patchU32(fcDgg + static_cast<uint32_t>(r.foDelayAt), at);
    }
    const uint32_t end = s.position();
    s.patchU32(fib::kCbMac, end + 1);
}

void Doc8Writer::copyCompObj(CompoundStorage& root) {
    if (!source_ || !source_->compObjPresent)
        return;
    const CStreamEntry* compObj = nullptr;
    for (const WalkStep& step : source_->traversal) {
        const CStreamEntry* e = source_->at(step.entry);
        if (e && e->name == "\001CompObj")
            compObj = e;
    }
    if (!compObj)
        return;
    CompoundStream& s = root.createStream(std::string_view("\001CompObj"));
    const uint32_t written = s.write(source_->ReadWholeStream(*compObj));
    if (written < kMinTableStream)
        s.writeZeros(kMinTableStream - written);
}

std::string Doc8Writer::build(CompoundFileWriter& out) {
    vMakeFib();
    CompoundStorage& root = out.root();
    root.createStream(kSummaryInformationName).write(emptySummaryInformation());
    root.setClass(kWordDocumentClassId);
    // A failure while the streams are made ends the writing; what was made is kept, and the
    // caller is told why the document is incomplete.
    const char* step = "the Data stream";
    try {
        writeDataStream(root);
        step = "the Macros storage";
        copySourceStorage(root, true);
        step = "the ObjectPool storage";
        copySourceStorage(root, false);
        step = "the 1Table stream";
        writeTableStream(root);
        step = "the WordDocument stream";
        WriteWordDocumentStream(root);
        step = "the CompObj stream";
        copyCompObj(root);
    } catch (const std::bad_alloc&) {
        return std::string("not enough memory to write ") + step;
    } catch (const std::exception& e) {
        return std::string("writing ") + step + " failed: " + e.what();
    }
    return {};
}

std::string Doc8Writer::WriteDocument(std::vector<uint8_t>& document) {
    CompoundFileWriter out;
    std::string why = build(out);
    document = out.serialize();
    return why;
}

}  // namespace morvel
