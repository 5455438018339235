#include "core/recovery_driver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/content_route.h"
#include "core/line_end_undo.h"
#include "core/template_store_cache.h"
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

// Where a .docx recovery has got to on the bar's 0-10 range: the salvage of the package is
// most of the work, then the text-only package, then the full one.
constexpr int kDocxSalvaged = 5;
constexpr int kDocxTextWritten = 7;
constexpr int kDocxFullWritten = 10;

void setDocxProgress(const RecoveryEnvironment& env, int pos) {
    if (env.progress && env.progress->position() < pos)
        env.progress->setPosition(pos);
}

// Reads the document's whole file into the record; false (with the message shown and the
// cause in the record's result) when it cannot be read.
bool loadFileImage(DocumentRecord& record, const RecoveryEnvironment& env, const char* message) {
    std::vector<uint8_t> bytes;
    errno = 0;
    const ReadStatus st = readWholeFile(record.fullPath, bytes);
    const int cause = errno;
    if (st != ReadStatus::Ok) {
        // The message keeps its words and adds the system's reason ("...: Permission denied").
        const bool systemCause =
            (st == ReadStatus::CannotOpen || st == ReadStatus::ReadError) && cause != 0;
        const std::string why = systemCause ? std::strerror(cause) : readStatusText(st);
        const std::string text = message;
        env.showError(text.back() == '!' ? text + " (" + why + ")" : text + ": " + why);
        record.fullResult = {kReadSource, static_cast<int32_t>(st), readStatusText(st)};
        record.success = 0;
        return false;
    }
    record.fileSize = static_cast<uint32_t>(bytes.size());
    record.fileData = std::move(bytes);
    record.fileDataContent.reset();
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

// Takes a step's document into one of the record's result buffers.
void storeResult(DocumentRecord& record, std::vector<uint8_t>&& bytes,
                 std::optional<std::vector<uint8_t>>& into, uint32_t& length) {
    length = static_cast<uint32_t>(bytes.size());
    into = std::move(bytes);
    record.resultsReady = 1;
}

RecoveryResult docxResult(uint32_t status, std::string message) {
    return {kDocxSource, static_cast<int32_t>(status), std::move(message)};
}

RecoveryResult docxResult(uint32_t status) {
    return docxResult(status, std::string(docxStatusMessage(status).view()));
}

// The .docx engine's exception status, with the cause when there is one.
RecoveryResult docxException(const std::exception* e) {
    RecoveryResult r = docxResult(kDocxException);
    if (e)
        r.message += " " + exceptionCause(*e);
    return r;
}

// One DOCX engine over one salvage scan of the record's file image, shared by the text-only
// and the full step; the template store comes from the environment's cache, or from one kept
// for this document when the caller keeps none.
class DocxSession {
  public:
    DocxSession(DocumentRecord& record, const RecoveryEnvironment& env)
        : record_(record), env_(env) {}

    // True once the engine has been asked for, whatever came of it.
    bool opened() const { return tried_; }

    // The engine, opened and lent its template; null when the document or the template store
    // cannot be had (the step then fails, and failure() says why).
    OfficeBrokenRepair_2007* engine() {
        if (tried_)
            return ready_ ? &engine_ : nullptr;
        tried_ = true;
        const int rc = record_.fileData
                           ? engine_.OpenDamaged(std::span<const uint8_t>(*record_.fileData))
                           : engine_.OpenDamaged(std::filesystem::path(record_.fullPath));
        record_.findings.clear();
        for (const ZipFinding& f : engine_.Salvage().Findings())
            if (reportedGrade(f.grade))
                record_.findings.push_back({f.grade, std::string(f.message)});
        if (rc != 0) {
            failure_ = docxResult(kDocxNoData);
            return nullptr;
        }
        TemplateStoreCache& cache = env_.templates ? *env_.templates : ownCache_;
        const TemplatePackage* templates = cache.get(env_.programFolder);
        if (templates == nullptr) {
            failure_ = docxResult(kDocxTemplatesNotLinked);
            return nullptr;
        }
        engine_.UseTemplate(templates);
        ready_ = true;
        return &engine_;
    }
    const RecoveryResult& failure() const { return failure_; }

  private:
    DocumentRecord& record_;
    const RecoveryEnvironment& env_;
    TemplateStoreCache ownCache_;
    OfficeBrokenRepair_2007 engine_;
    bool tried_ = false, ready_ = false;
    RecoveryResult failure_;
};

DocxRecoveryReport& docxReportOf(DocumentRecord& record) {
    if (!record.docxReport)
        record.docxReport.emplace();
    return *record.docxReport;
}

// The text-only document, straight into filteredData.
void recoverTextDocx(DocumentRecord& record, const RecoveryEnvironment& env, DocxSession& docx) {
    record.success = 1;
    try {
        startStepProgress(env);
        record.filteredLength = 0;
        OfficeBrokenRepair_2007* engine = docx.engine();
        if (engine == nullptr) {
            record.fullResult = docx.failure();
            return;
        }
        setDocxProgress(env, kDocxSalvaged);
        std::vector<uint8_t> package;
        const int rc = engine->WriteTextPackage(package);
        setDocxProgress(env, kDocxTextWritten);
        DocxRecoveryReport& report = docxReportOf(record);
        report.textRan = true;
        report.textStatus = engine->Status();
        report.textMessage = std::string(engine->Message().view());
        if (!report.fullRan) {
            // The text-only package is the template around the main document by design; only
            // the main document's own state says anything about the damage.
            report.package = engine->Report();
            std::erase_if(report.package.parts,
                          [](const PartReport& p) { return p.state == PartState::FromTemplate; });
        }
        // Without a main document nothing else matters: that is why no document is built.
        if (report.textStatus == kDocxDocumentNotFound)
            record.fullResult = docxResult(report.textStatus, report.textMessage);
        if (rc != 0 || package.empty())
            return;
        storeResult(record, std::move(package), record.filteredData, record.filteredLength);
    } catch (const std::exception& e) {
        record.fullResult = docxException(&e);
        record.success = 0;
    } catch (...) {
        record.fullResult = docxException(nullptr);
        record.success = 0;
    }
}

// The full document, straight into fullData. A package that holds the main document is kept
// even when the engine reports lost content types (9) or a lost part the template lacks
// (10): the engine rebuilt or left out what was lost, and the report says so.
void recoverFullDocx(DocumentRecord& record, const RecoveryEnvironment& env, DocxSession& docx) {
    if (!env.progress)
        return;
    record.success = 1;
    try {
        // After the text-only step the bar goes on from where that step left it.
        if (!docx.opened())
            startStepProgress(env);
        OfficeBrokenRepair_2007* engine = docx.engine();
        if (engine == nullptr) {
            record.fullResult = docx.failure();
            record.fullFailed = 1;
            return;
        }
        setDocxProgress(env, kDocxSalvaged);
        std::vector<uint8_t> package;
        const int rc = engine->WriteFullPackage(package);
        setDocxProgress(env, kDocxFullWritten);
        DocxRecoveryReport& report = docxReportOf(record);
        report.fullRan = true;
        report.fullStatus = engine->Status();
        report.fullMessage = std::string(engine->Message().view());
        if (!package.empty())
            report.package = engine->Report();
        const bool offered =
            rc == kDocxOk || rc == kDocxContentTypesNotFound || rc == kDocxLostPartNotInTemplate;
        // A missing main document, found by the text step, stays the reason; a success
        // without a package is none.
        if (!(record.fullResult.set() && record.fullResult.code == kDocxDocumentNotFound))
            record.fullResult = rc == kDocxOk && package.empty()
                                    ? docxResult(kDocxWriteError)
                                    : docxResult(report.fullStatus, report.fullMessage);
        if (!offered || package.empty()) {
            record.fullFailed = 1;
            return;
        }
        storeResult(record, std::move(package), record.fullData, record.fullLength);
    } catch (const std::exception& e) {
        record.fullResult = docxException(&e);
        record.success = 0;
    } catch (...) {
        record.fullResult = docxException(nullptr);
        record.success = 0;
    }
}

}  // namespace

void RecoverFullDocumentDoc(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        startStepProgress(env);
        std::span<const uint8_t> image;
        if (record.fileData)
            image = std::span<const uint8_t>(record.fileData->data(), record.fileData->size());
        std::vector<uint8_t> document;
        DocContext ctx;
        ctx.progress = env.progress;
        record.fullResult = RecoverDocFile(image, document, ctx);
        record.findings.clear();
        for (const DocFinding& f : ctx.findings.list())
            if (reportedGrade(f.grade))
                record.findings.push_back({f.grade, std::string(f.message)});
        const int32_t rc = record.fullResult.code;
        // A document whose structure was lost but whose text was kept in a plain Word
        // document is offered as the full document too: it holds the document's own text.
        if ((rc == kRecoverDocWritten || rc == kRecoverDocTextOnly) && !document.empty()) {
            storeResult(record, std::move(document), record.fullData, record.fullLength);
        } else {
            // A refused document is no full document; the text results stand.
            record.fullFailed = 1;
        }
    } catch (const std::exception& e) {
        record.fullResult = {kRecoverDocSource, kRecoverDocException,
                             std::string("the recovery stopped: ") + exceptionCause(e)};
        record.success = 0;
    } catch (...) {
        record.fullResult = {kRecoverDocSource, kRecoverDocException,
                             recoverDocMessage(kRecoverDocException)};
        record.success = 0;
    }
}

void RecoverTextDocx(DocumentRecord& record, const RecoveryEnvironment& env) {
    DocxSession docx(record, env);
    recoverTextDocx(record, env, docx);
}

void RecoverFullDocx(DocumentRecord& record, const RecoveryEnvironment& env) {
    DocxSession docx(record, env);
    recoverFullDocx(record, env, docx);
}

void RecoverDocument(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.fullPath = record.folder + "/" + record.fileName;
    record.fullResult = {};
    const char* unreadable = record.format == kFormatDoc    ? "Error in read doc"
                             : record.format == kFormatDocx ? "Error in read docx"
                                                            : "Error: unknown file format!";
    // A caller that already read the file (the command line sniffs it to name the results)
    // hands its bytes on, so the file is read once.
    if (record.fileData)
        record.fileSize = static_cast<uint32_t>(record.fileData->size());
    else if (!loadFileImage(record, env, unreadable))
        return;
    // A file whose line ends a text-mode transfer converted is read as it was before.
    record.imageRepair.reset();
    UndoLineEndConversion(record);
    // The one routing point: the file's bytes decide the engine (and the results' format),
    // its name only breaks ties.
    const EngineRoute route = RouteByContent(record, env);
    if (route == EngineRoute::Doc) {
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
    } else if (route == EngineRoute::Docx) {
        record.fullFailed = 0;
        DocxSession docx(record, env);
        recoverTextDocx(record, env, docx);
        recoverFullDocx(record, env, docx);
        record.success = 1;
    } else if (route == EngineRoute::Text) {
        RecoverConvertedText(record, env);
    }
}

}  // namespace morvel
