#include "docwriter/recover_doc_file.h"

#include <exception>
#include <optional>
#include <string>

#include "doc/c_doc8.h"
#include "doc/doc_salvage.h"
#include "doc/raw_search.h"
#include "doc/word6_text.h"
#include "doc/word_version.h"
#include "docwriter/doc8_writer.h"
#include "docwriter/text_write.h"

namespace morvel {

namespace {

constexpr size_t kSmallestFile = 900;

bool wordDocumentIs97(const DocSalvage& salvage) {
    if (!salvage.storage)
        return false;
    const CStreamEntry* wd = salvage.storage->wordDocument();
    if (!wd)
        return false;
    std::vector<uint8_t> head(32, 0);
    if (!salvage.storage->ReadStream(*wd, head, 32, 0))
        return false;
    // A wiped FIB beside a table stream (which only Word 97 and later write) is a damaged
    // Word 97 document; the reader rebuilds its FIB.
    const bool hasTable = salvage.storage->table1() || salvage.storage->table0();
    return versionFromFib(head) == kWordVersion97 || (fibWiped(head) && hasTable);
}

// True when the UTF-16 text holds at least one letter or digit: a text of zeros, fill bytes,
// marks and blanks is no document worth offering.
bool holdsWords(std::span<const uint8_t> text) {
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const uint16_t u = static_cast<uint16_t>(text[i] | (text[i + 1] << 8));
        const bool ascii =
            (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
        const bool other = (u >= 0x00C0 && u < 0xD800) || (u >= 0xF900 && u < 0xFFF0);
        if (ascii || (other && u != 0x00D7 && u != 0x00F7))
            return true;
    }
    return false;
}

void stepProgress(const DocContext& ctx) {
    if (ctx.progress && ctx.progress->position() < ctx.progressRange - 1)
        ctx.progress->stepIt();
}

void noteFindings(const CDoc8& doc, RecoverDocFindings& f) {
    f.version = doc.version;
    f.tableStream = doc.tableChoice == TableChoice::Table1   ? 1
                    : doc.tableChoice == TableChoice::Table0 ? 0
                                                             : -1;
    f.fibRebuilt = doc.fibRebuilt;
    f.pieces = doc.pieces.size();
    f.textBytes = static_cast<uint32_t>(doc.text.size());
    f.chpRunsRead = doc.chpRunsRead;
    f.papRunsRead = doc.papRunsRead;
    f.chpRunsKept = doc.chpRuns.size();
    f.papRunsKept = doc.papRuns.size();
    f.chpxPages = doc.chpxPages.size();
    f.papxPages = doc.papxPages.size();
    f.sections = doc.sections.size();
    f.dataBlocks = doc.dataBlocks.size();
    f.pictureRuns = static_cast<size_t>(doc.pictureRuns);
    f.picturesDropped = static_cast<size_t>(doc.picturesDropped);
    f.pictureStore = doc.pictureStore.size();
    f.listsDropped = doc.listTables.state == ListTablesState::Dropped;
    f.listNamesDropped = doc.listTables.namesDropped;
}

// What the written document lacks of the source's lists, or empty.
std::string listNote(const ListTablesRead& lists) {
    if (lists.state == ListTablesState::Dropped)
        return "; its list numbering was left out (" + lists.why + ")";
    if (lists.namesDropped)
        return "; its list names were left out (" + lists.why + ")";
    return {};
}

RecoveryResult result(int32_t code, std::string message = {}) {
    return {kRecoverDocSource, code, message.empty() ? recoverDocMessage(code) : message};
}

// Why the salvage gave up on a container it could not use.
std::string salvageFailure(const DocSalvage& salvage) {
    if (salvage.invalidFatValues != 0)
        return "the compound file's sector table holds " +
               std::to_string(salvage.invalidFatValues) + " damaged entries";
    return "the compound file's sector table could not be found or rebuilt";
}

// UTF-16LE text as a plain Word document in `document`; false (with `why` set) when
// nothing readable is left or the document cannot be built.
bool buildTextDocument(std::span<const uint8_t> text, std::vector<uint8_t>& document,
                       std::string& why) {
    if (!holdsWords(text)) {
        why = "nothing readable was left of the document's text";
        return false;
    }
    try {
        CTextWrite8 writer;
        document = writer.BuildTextDocument(text, static_cast<int32_t>(text.size() + 2));
    } catch (const std::exception& e) {
        document.clear();
        why = "the plain document could not be built: " + exceptionCause(e);
        return false;
    }
    if (document.empty()) {
        why = "the plain document could not be built";
        return false;
    }
    return true;
}

bool buildTextDocument(const CDoc8& doc, std::vector<uint8_t>& document, std::string& why) {
    return buildTextDocument(doc.text, document, why);
}

// Word 6.0 and 95 write this FIB identifier; a stream whose directory entry is lost is
// looked for by it.
constexpr uint8_t kWord6FibIdent[] = {0xDC, 0xA5};

// The bytes from the first Word 6.0/95 FIB found in the image on, for a document whose
// WordDocument stream the container no longer gives: a small stream's sectors usually lie
// one after another, so its offsets still hold from there. Empty when there is none.
std::span<const uint8_t> word6FibInImage(std::span<const uint8_t> image) {
    for (int64_t at = findBytes(image, 0, kWord6FibIdent); at >= 0;
         at = findBytes(image, at + 1, kWord6FibIdent)) {
        const std::span<const uint8_t> from = image.subspan(static_cast<size_t>(at));
        const int version = versionFromFib(from);
        if (version == 6 || version == 7)
            return from;
    }
    return {};
}

// What the text of an older document is called in messages.
const char* earlyWordName(int version) {
    switch (version) {
        case 0:
        case 1:
            return "a Word for Windows 1.x/2.0 document";
        case 6:
        case 7:
            return "a Word 6.0/95 document";
        default:
            return "a document of an older Word version (its FIB is damaged)";
    }
}

// The text of a Word 6.0/95 or older document as a plain Word 97 document: its formatting is
// not read, its text is. Code 52 as before when no readable text is found.
RecoveryResult recoverEarlyWord(const EarlyWordText& read, std::vector<uint8_t>* document,
                                DocContext& ctx, RecoverDocFindings* findings) {
    if (findings) {
        findings->version = read.version;
        findings->pieces = read.pieces;
        findings->textBytes = static_cast<uint32_t>(read.text.size());
    }
    const std::string name = earlyWordName(read.version);
    if (!holdsWords(read.text))
        return result(kRecoverDocNotWord97, name + " with no readable text; no document built");
    ctx.statusCode = kStatusTextOnly;
    std::string why;
    if (document && !buildTextDocument(read.text, *document, why))
        return result(kRecoverDocWriteFailed, why);
    stepProgress(ctx);
    return result(kRecoverDocTextOnly,
                  name + ": its text was kept in a plain document (its formatting is not read)");
}

// A compound file whose WordDocument stream is not Word 97's: its text is read by the reader
// of the older versions, from the stream the salvage gives or, failing that, from a FIB
// found in the image.
RecoveryResult recoverWord6(const DocSalvage& salvage, std::span<const uint8_t> image,
                            std::vector<uint8_t>* document, DocContext& ctx,
                            RecoverDocFindings* findings) {
    const CStreamEntry* wd = salvage.storage ? salvage.storage->wordDocument() : nullptr;
    std::optional<EarlyWordText> fromStream;
    if (wd) {
        fromStream = readWord6Text(salvage.storage->ReadWholeStream(*wd));
        if (holdsWords(fromStream->text))
            return recoverEarlyWord(*fromStream, document, ctx, findings);
    }
    const std::span<const uint8_t> fib = word6FibInImage(image);
    if (!fib.empty())
        return recoverEarlyWord(readWord6Text(fib), document, ctx, findings);
    // The stream read, but without a readable letter: said so, and no document.
    if (fromStream)
        return recoverEarlyWord(*fromStream, document, ctx, findings);
    return result(kRecoverDocNotWord97);
}

// The recovery; builds nothing when `document` is null.
RecoveryResult recover(std::span<const uint8_t> image, std::vector<uint8_t>* document,
                       DocContext& ctx, RecoverDocFindings* findings) {
    if (document)
        document->clear();
    // Word for Windows 1.x/2.0 keeps its FIB at the start of the file, not in a compound file.
    if (isWord2File(image))
        return recoverEarlyWord(readWord2Text(image), document, ctx, findings);
    if (image.size() < kSmallestFile)
        return result(kRecoverDocFailed, "the file is shorter than " +
                                             std::to_string(kSmallestFile) +
                                             " bytes, too short for a Word document");
    DocSalvage salvage = SalvageDocFile(image, ctx, true);
    if (salvage.result == kSalvageNotWord97) {
        // The version probe reads the stream's first sector as if the stream were contiguous;
        // a Word 97 document whose stream is not still shows its version through the chain,
        // and one whose FIB was wiped still has its table stream.
        if (!wordDocumentIs97(salvage))
            return recoverWord6(salvage, image, document, ctx, findings);
        salvage.result = kSalvageReadable;
    }
    switch (salvage.result) {
        case kSalvageReadable:
            break;
        case kSalvageRtf:
            return result(kRecoverDocRtf);
        case kSalvageNotWord97:
            return result(kRecoverDocNotWord97);
        case kSalvageSpreadsheet:
            return result(kRecoverDocExcel);
        case kSalvageThrew:
            return result(kRecoverDocSalvageThrew);
        default:
            return result(kRecoverDocFailed, salvageFailure(salvage));
    }
    const CDocStorage& storage = *salvage.storage;
    CDoc8 doc(ReadDoc8Streams(storage, DataStream::Read), ctx);
    int n = 0;
    try {
        n = doc.ReadDocument(0);
    } catch (const std::exception& e) {
        return result(kRecoverDocException, "the Word 97 reader stopped: " + exceptionCause(e));
    } catch (...) {
        return result(kRecoverDocException);
    }
    if (findings)
        noteFindings(doc, *findings);
    if (n <= 0)
        return result(kRecoverDocFailed, "the WordDocument stream could not be read");
    try {
        doc.ReadPictureStore();
    } catch (const std::exception& e) {
        return result(kRecoverDocException, "reading the pictures stopped: " + exceptionCause(e));
    }
    if (findings)
        findings->pictureStore = doc.pictureStore.size();

    stepProgress(ctx);
    RecoveryResult out = result(kRecoverDocWritten);
    std::string why;
    if (ctx.statusCode == kStatusTextOnly) {
        // Only the text is left; when it holds nothing readable, nothing is built.
        if (!document) {
            if (!holdsWords(doc.text))
                return result(kRecoverDocFailed,
                              "nothing readable was left of the document's text");
        } else if (!buildTextDocument(doc, *document, why)) {
            return result(holdsWords(doc.text) ? kRecoverDocWriteFailed : kRecoverDocFailed, why);
        }
        out = result(kRecoverDocTextOnly);
    } else if (document) {
        std::string stopped;
        try {
            stopped = Doc8Writer(doc, &storage).WriteDocument(*document);
        } catch (const std::exception& e) {
            stopped = "the document could not be built: " + exceptionCause(e);
        }
        if (!stopped.empty() || document->empty()) {
            // An incomplete document is no recovered document: the text the reader found is
            // kept as a plain document instead, as when the structure cannot be read.
            if (stopped.empty())
                stopped = "the document could not be built";
            if (!buildTextDocument(doc, *document, why))
                return result(kRecoverDocWriteFailed, stopped + "; " + why);
            out = result(kRecoverDocTextOnly, "the document's structure could not be written (" +
                                                  stopped +
                                                  "); its text was kept in a plain "
                                                  "document");
        } else {
            out.message += listNote(doc.listTables);
        }
    }
    stepProgress(ctx);
    return out;
}

}  // namespace

const char* recoverDocMessage(int32_t code) {
    switch (code) {
        case kRecoverDocWritten:
            return "the document was read and written again";
        case kRecoverDocTextOnly:
            return "the document's structure could not be read; its text was kept in a plain "
                   "document";
        case kRecoverDocFailed:
            return "the document could not be read";
        case kRecoverDocException:
            return "the Word 97 reader stopped";
        case kRecoverDocWriteFailed:
            return "no document could be built from what was read";
        case kRecoverDocRtf:
            return "an RTF file, not a Word binary document";
        case kRecoverDocNotWord97:
            return "not a Word 97-2003 document (Word 6.0/95 or older, or an unknown version)";
        case kRecoverDocExcel:
            return "an Excel workbook, not a Word document";
        case kRecoverDocSalvageThrew:
            return "the compound file could not be salvaged";
        default:
            return "unknown result";
    }
}

RecoveryResult RecoverDocFile(std::span<const uint8_t> image, std::vector<uint8_t>& document,
                              ProgressIndicator* progress) {
    DocContext ctx;
    ctx.progress = progress;
    return RecoverDocFile(image, document, ctx);
}

RecoveryResult RecoverDocFile(std::span<const uint8_t> image, std::vector<uint8_t>& document,
                              DocContext& ctx, RecoverDocFindings* findings) {
    return recover(image, &document, ctx, findings);
}

int InspectDocFile(std::span<const uint8_t> image, DocContext& ctx, RecoverDocFindings& findings) {
    return recover(image, nullptr, ctx, &findings).code;
}

}  // namespace morvel
