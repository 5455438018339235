#include "docwriter/recover_doc_file.h"

#include "doc/c_doc8.h"
#include "doc/doc_salvage.h"
#include "doc/word_version.h"
#include "docwriter/doc8_writer.h"
#include "docwriter/text_write.h"

namespace morvel {

namespace {

constexpr size_t kSmallestFile = 900;

std::optional<std::vector<uint8_t>> streamOf(const CDocStorage& storage,
                                             const CStreamEntry* entry) {
    if (!entry)
        return std::nullopt;
    return storage.ReadWholeStream(*entry);
}

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
}

}  // namespace

int RecoverDocFile(std::span<const uint8_t> image, const std::filesystem::path& outputPath,
                   ProgressIndicator* progress) {
    DocContext ctx;
    ctx.progress = progress;
    return RecoverDocFile(image, outputPath, ctx);
}

namespace {

// The recovery; writes nothing when `outputPath` is null.
int recover(std::span<const uint8_t> image, const std::filesystem::path* outputPath,
            DocContext& ctx, RecoverDocFindings* findings) {
    if (image.size() < kSmallestFile)
        return kRecoverDocFailed;
    DocSalvage salvage = SalvageDocFile(image, ctx, true);
    if (salvage.result == kSalvageNotWord97) {
        // The version probe reads the stream's first sector as if the stream were contiguous;
        // a Word 97 document whose stream is not still shows its version through the chain,
        // and one whose FIB was wiped still has its table stream.
        if (!wordDocumentIs97(salvage))
            return kRecoverDocNotWord97;
        salvage.result = kSalvageReadable;
    }
    switch (salvage.result) {
        case kSalvageReadable:
            break;
        case kSalvageRtf:
            return kRecoverDocRtf;
        case kSalvageNotWord97:
            return kRecoverDocNotWord97;
        case kSalvageSpreadsheet:
            return kRecoverDocExcel;
        case kSalvageThrew:
            return kRecoverDocSalvageThrew;
        default:
            return kRecoverDocFailed;
    }
    const CDocStorage& storage = *salvage.storage;
    Doc8Streams streams;
    if (const CStreamEntry* wd = storage.wordDocument())
        streams.wordDocument = storage.ReadWholeStream(*wd);
    streams.table1 = streamOf(storage, storage.table1());
    streams.table0 = streamOf(storage, storage.table0());
    streams.data = streamOf(storage, storage.data());

    CDoc8 doc(std::move(streams), ctx);
    int n = 0;
    try {
        n = doc.ReadDocument(0);
    } catch (...) {
        return kRecoverDocException;
    }
    if (findings)
        noteFindings(doc, *findings);
    if (n < 0)
        return kRecoverDocFailed;
    doc.ReadPictureStore();
    if (findings)
        findings->pictureStore = doc.pictureStore.size();

    int result = kRecoverDocWritten;
    if (n > 0) {
        stepProgress(ctx);
        if (ctx.statusCode == kStatusTextOnly) {
            // Only the text is left; when it holds nothing readable, nothing is written.
            if (!holdsWords(doc.text))
                return kRecoverDocFailed;
            if (outputPath) {
                CTextWrite8 writer;
                writer.WriteTextDocument(doc.text, static_cast<int32_t>(doc.text.size() + 2),
                                         *outputPath);
            }
            result = kRecoverDocTextOnly;
        } else if (outputPath) {
            Doc8Writer(doc, &storage).WriteDocument(*outputPath);
        }
    }
    stepProgress(ctx);
    return result;
}

}  // namespace

int RecoverDocFile(std::span<const uint8_t> image, const std::filesystem::path& outputPath,
                   DocContext& ctx, RecoverDocFindings* findings) {
    return recover(image, &outputPath, ctx, findings);
}

int InspectDocFile(std::span<const uint8_t> image, DocContext& ctx, RecoverDocFindings& findings) {
    return recover(image, nullptr, ctx, &findings);
}

}  // namespace morvel
