#include "core/recovery_driver.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/text_extraction.h"
#include "docwriter/recover_doc_file.h"
#include "docx/office_broken_repair_2007.h"
#include "platform/file_io.h"

namespace morvel {

namespace {

void startStepProgress(const RecoveryEnvironment& env) {
    if (!env.progress)
        return;
    env.progress->setRange(0, 10);
    env.progress->setStep(1);
    env.progress->setPosition(0);
}

// Reads the document's whole file into the record; false (with the message shown) when it
// cannot be read.
bool loadFileImage(DocumentRecord& record, const RecoveryEnvironment& env, const char* message) {
    std::vector<uint8_t> bytes;
    if (readWholeFile(record.fullPath, bytes) != ReadStatus::Ok) {
        env.showError(message);
        record.success = 0;
        return false;
    }
    record.fileSize = static_cast<uint32_t>(bytes.size());
    record.fileData = std::move(bytes);
    return true;
}

// A text result that holds nothing but its terminating NUL is no result: it is dropped, so
// that nothing offers or writes an empty text file.
void dropEmptyText(std::optional<std::vector<uint8_t>>& text, uint32_t& length) {
    if (text && std::min<size_t>(length, text->size()) <= 1) {
        text.reset();
        length = 0;
    }
}

// Reads a step's output back from the working folder and deletes it at once.
bool takeBackOutput(const std::filesystem::path& path, std::optional<std::vector<uint8_t>>& into,
                    uint32_t& length) {
    std::vector<uint8_t> bytes;
    ReadStatus st = readWholeFile(path, bytes);
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (st != ReadStatus::Ok)
        return false;
    length = static_cast<uint32_t>(bytes.size());
    into = std::move(bytes);
    return true;
}

// Takes a step's output into the record; an output that cannot be read back fails the step.
void storeStepOutput(DocumentRecord& record, const RecoveryEnvironment& env,
                     const std::filesystem::path& path, std::optional<std::vector<uint8_t>>& into,
                     uint32_t& length) {
    if (!takeBackOutput(path, into, length)) {
        env.showError("Error!");
        record.success = 0;
        return;
    }
    record.resultsReady = 1;
}

// Outcome of running the DOCX engine up to its write.
enum class DocxRun { Written, EngineFailed };

DocxRun runDocxEngine(const DocumentRecord& record, const RecoveryEnvironment& env,
                      const std::filesystem::path& out, bool fullPackage) {
    auto engine = std::make_unique<OfficeBrokenRepair_2007>();
    if (engine->OpenDamaged(record.fullPath) != 0)
        return DocxRun::EngineFailed;
    std::vector<uint8_t> store;
    if (readWholeFile(env.programFolder / kTemplateStoreName, store) != ReadStatus::Ok)
        return DocxRun::EngineFailed;
    int rc = engine->LoadTemplateStore(store.data(), static_cast<uint32_t>(store.size()));
    std::vector<uint8_t>().swap(store);
    if (rc != 0)
        return DocxRun::EngineFailed;
    rc = fullPackage ? engine->WriteFullPackage(out) : engine->WriteTextPackage(out);
    if (rc == 0)
        return DocxRun::Written;
    // A package the engine wrote before failing is discarded, never shown as a result.
    std::error_code ec;
    std::filesystem::remove(out, ec);
    return DocxRun::EngineFailed;
}

}  // namespace

void RecoverFullDocumentDoc(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        startStepProgress(env);
        const std::filesystem::path out = env.workingFolder / kTempFullName;
        std::span<const uint8_t> image;
        if (record.fileData)
            image = std::span<const uint8_t>(record.fileData->data(), record.fileData->size());
        int rc = RecoverDocFile(image, out, env.progress);
        // A document whose structure was lost but whose text was kept in a plain Word
        // document is offered as the full document too: it holds the document's own text.
        if (rc == kRecoverDocWritten || rc == kRecoverDocTextOnly) {
            storeStepOutput(record, env, out, record.fullData, record.fullLength);
        } else {
            // A refused document is no full document; the text results stand.
            std::error_code ec;
            std::filesystem::remove(out, ec);
            record.fullFailed = 1;
        }
    } catch (...) {
        record.success = 0;
    }
}

void RecoverTextDocx(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        startStepProgress(env);
        const std::filesystem::path out = env.workingFolder / kTempTextName;
        record.filteredLength = 0;
        if (runDocxEngine(record, env, out, false) != DocxRun::Written)
            return;
        storeStepOutput(record, env, out, record.filteredData, record.filteredLength);
    } catch (...) {
        record.success = 0;
    }
}

void RecoverFullDocx(DocumentRecord& record, const RecoveryEnvironment& env) {
    if (!env.progress)
        return;
    record.success = 1;
    try {
        startStepProgress(env);
        const std::filesystem::path out = env.workingFolder / kTempFullName;
        if (runDocxEngine(record, env, out, true) != DocxRun::Written) {
            record.fullFailed = 1;
            return;
        }
        storeStepOutput(record, env, out, record.fullData, record.fullLength);
    } catch (...) {
        record.success = 0;
    }
}

void RecoverDocument(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.fullPath = record.folder + "/" + record.fileName;
    if (record.format == kFormatDoc) {
        if (!loadFileImage(record, env, "Error in read doc"))
            return;
        if (record.fileSize == 0) {
            env.showError("the file is empty");
            record.success = 0;
            return;
        }
        record.fullFailed = 0;
        ExtractRawText(record, env);
        ExtractFilteredText(record, env);
        dropEmptyText(record.rawText, record.rawTextLength);
        dropEmptyText(record.filteredData, record.filteredLength);
        if (record.success == 0)
            return;
        env.setStatus("Recovering of " + record.fileName + "  Step 2 of 2:");
        RecoverFullDocumentDoc(record, env);
    } else if (record.format == kFormatDocx) {
        if (!loadFileImage(record, env, "Error in read docx"))
            return;
        record.fullFailed = 0;
        RecoverTextDocx(record, env);
        RecoverFullDocx(record, env);
        record.success = 1;
    } else {
        env.showError("Error: unknown file format!");
        record.success = 0;
    }
}

}  // namespace morvel
