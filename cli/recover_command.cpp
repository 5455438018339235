#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/document_outcome.h"
#include "cli/folder_documents.h"
#include "cli/help_text.h"
#include "cli/output_plan.h"
#include "cli/recover_options.h"
#include "cli/recover_report.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress.h"
#include "core/document_format.h"
#include "core/folders.h"
#include "core/output_names.h"
#include "core/outputs.h"
#include "core/recovery_driver.h"
#include "core/template_store_cache.h"
#include "docx/office_broken_repair_2007.h"
#include "platform/collected_errors.h"
#include "platform/file_io.h"

namespace morvel::cli {

namespace {

namespace fs = std::filesystem;

// What a run needs besides its options.
struct RunState {
    const RecoverOptions& opt;
    OutputPlan& plan;
    PartialFiles* partials = nullptr;  // results being written, removed on a stop signal
};

Reason noFullDocumentReason(const DocumentOutcome& o);

const char* kindName(uint16_t format, OutputKind kind) {
    switch (kind) {
        case OutputKind::Full:
            return "full";
        case OutputKind::Filtered:
            return format == kFormatDoc ? "filtered" : "text";
        case OutputKind::Raw:
            return "raw";
    }
    return "";
}

// Writes one result to its target; the NUL that ends a text buffer is left out. Every result
// of a run goes through here: the checks that keep inputs and this run's results safe, the
// folders of the mirrored tree, the atomic write and the record of what was written.
void writeOutput(const RunState& run, const DocumentRecord& rec, OutputKind which,
                 const fs::path& target, DocumentOutcome& outcome) {
    const char* kind = kindName(rec.format, which);
    const std::optional<std::vector<uint8_t>>& buffer = which == OutputKind::Full ? rec.fullData
                                                        : which == OutputKind::Filtered
                                                            ? rec.filteredData
                                                            : rec.rawText;
    const uint32_t length = which == OutputKind::Full       ? rec.fullLength
                            : which == OutputKind::Filtered ? rec.filteredLength
                                                            : rec.rawTextLength;
    if (!buffer || length == 0)
        return;
    if (run.plan.isInput(target)) {
        outcome.errors.push_back("refusing to write " + target.string() +
                                 ": it is one of the documents being recovered");
        return;
    }
    if (run.plan.writtenThisRun(target)) {
        outcome.errors.push_back("refusing to write " + target.string() +
                                 ": another document's result was written there in this run");
        return;
    }
    std::error_code ec;
    if (run.opt.skipExisting && fs::exists(target, ec)) {
        // Resuming a stopped batch: what an earlier run wrote stays, and is no error.
        const auto size = fs::file_size(target, ec);
        outcome.written.push_back({kind, target, ec ? 0 : static_cast<size_t>(size), true});
        return;
    }
    if (target.has_parent_path() && !fs::is_directory(target.parent_path(), ec)) {
        fs::create_directories(target.parent_path(), ec);
        if (ec) {
            outcome.errors.push_back("cannot create folder " + target.parent_path().string() +
                                     ": " + ec.message());
            return;
        }
    }
    SaveOptions how;
    how.overwrite = run.opt.force;
    how.partials = run.partials;
    SaveOutcome saved = writeResult(rec, which, target, how);
    if (!saved.ok) {
        if (saved.status == SaveStatus::AlreadyExists)
            saved.error += " (use --force to replace it)";
        outcome.errors.push_back(saved.error);
        return;
    }
    run.plan.noteWritten(target);
    outcome.written.push_back({kind, target, saved.bytes});
}

// True when every result the document can have is there already; they are listed as its
// outputs.
bool resultsExist(const Placement& placement, uint16_t format, DocumentOutcome& outcome) {
    std::vector<WrittenOutput> there;
    for (const auto& [kind, target] : placement.targets) {
        std::error_code ec;
        const auto size = fs::file_size(target, ec);
        if (ec)
            return false;
        there.push_back({kindName(format, kind), target, static_cast<size_t>(size), true});
    }
    outcome.written = std::move(there);
    return !outcome.written.empty();
}

// The target of one kind of result in a placement.
const fs::path& targetOf(const Placement& placement, OutputKind kind) {
    for (const auto& t : placement.targets)
        if (t.first == kind)
            return t.second;
    static const fs::path kNone;
    return kNone;
}

DocumentOutcome recoverOne(const RunState& run, const fs::path& input,
                           const fs::path& relativeFolder, const fs::path& runFolder,
                           TerminalProgress& progress, TemplateStoreCache& templates) {
    DocumentOutcome outcome;
    outcome.input = input;
    const auto started = std::chrono::steady_clock::now();

    DocumentRecord rec;
    rec.fileName = input.filename().string();
    rec.folder = input.has_parent_path() ? input.parent_path().string() : ".";
    rec.format = formatFromFileName(rec.fileName);
    outcome.format = rec.format;
    // Names are placed before anything is read, so they do not depend on what is recovered.
    const Placement placement = rec.format == kFormatUnknown
                                    ? Placement{}
                                    : run.plan.place(relativeFolder, rec.fileName, rec.format);

    struct stat st {};
    const bool found = ::stat(input.c_str(), &st) == 0;
    if (found && !S_ISREG(st.st_mode)) {
        // A FIFO, device or socket: reading it could block for ever or never end.
        outcome.errors.push_back(readStatusText(ReadStatus::NotRegularFile));
        rec.format = kFormatUnknown;
    } else if (rec.format == kFormatUnknown) {
        outcome.errors.push_back("Error: unknown file format!");
    } else if (found && static_cast<uint64_t>(st.st_size) > kMaxInputSize) {
        outcome.errors.push_back(
            "the file is larger than 2 GiB; Word documents use 32-bit sizes, "
            "so it cannot be a document this program can read");
        rec.format = kFormatUnknown;
    } else if (found && run.opt.skipExisting && resultsExist(placement, rec.format, outcome)) {
        outcome.skipped = true;
        outcome.success = true;
        outcome.exitCode = kExitAllFull;
        return outcome;
    }

    if (rec.format != kFormatUnknown) {
        CollectedErrors errors;
        RecoveryEnvironment env;
        env.workingFolder = runFolder;
        env.programFolder = defaultProgramFolder();
        env.progress = &progress;
        env.status = &progress;
        env.errors = &errors;
        env.templates = &templates;
        progress.setStatusText("Recovering of " + rec.fileName + "  Step 1 of 2:");
        try {
            RecoverDocument(rec, env);
        } catch (const std::bad_alloc&) {
            // The document does not fit in memory: it fails alone, the batch goes on.
            errors.showError(kNotEnoughMemoryMessage);
            rec.success = 0;
        }
        progress.clear();
        for (const std::string& text : errors.texts())
            outcome.errors.push_back(text);
        outcome.success = rec.success != 0;
        outcome.fullFailed = rec.fullFailed != 0;
        outcome.docx = rec.docxReport;
        outcome.result = rec.fullResult;
        outcome.fullBuilt = rec.fullData.has_value();

        for (OutputKind kind : {OutputKind::Full, OutputKind::Filtered, OutputKind::Raw})
            if (kind != OutputKind::Raw || rec.format == kFormatDoc)
                writeOutput(run, rec, kind, targetOf(placement, kind), outcome);
    }

    bool full = false;
    for (const auto& w : outcome.written)
        full |= std::string(w.kind) == "full";
    // Nothing written is no success, whatever the steps said.
    outcome.success = outcome.success && !outcome.written.empty();
    if (!full)
        outcome.reason = noFullDocumentReason(outcome);
    outcome.exitCode = full && outcome.errors.empty() ? kExitAllFull
                       : outcome.written.empty()      ? kExitSomeFailed
                                                      : kExitSomeTextOnly;
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

// Why a document got no full document: a stable code and a one-line message. A step that
// failed says why in its result; when the full document was built but could not be written,
// or no step ran, the first error says why.
Reason noFullDocumentReason(const DocumentOutcome& o) {
    if (o.result.set() && !o.fullBuilt)
        return {o.result.key(), o.result.message};
    if (!o.errors.empty())
        return {"error", o.errors.front()};
    return {"no-full-document", "no full document could be built"};
}

// Recovers documents one after the other, as they are found.
class Batch {
  public:
    Batch(const RunState& run, const fs::path& runFolder)
        : run_(run),
          runFolder_(runFolder),
          progress_(stderr, run.opt.verbosity != Verbosity::Quiet) {}

    void recover(const fs::path& input, const fs::path& relativeFolder) {
        DocumentOutcome o;
        try {
            o = recoverOne(run_, input, relativeFolder, runFolder_, progress_, templates_);
        } catch (const std::bad_alloc&) {
            o = DocumentOutcome{};
            o.input = input;
            o.errors.push_back(kNotEnoughMemoryMessage);
        }
        printOutcome(run_.opt, o);
        ++documents_;
        worst_ = std::max(worst_, o.exitCode);
    }
    int worst() const { return worst_; }
    size_t documents() const { return documents_; }

  private:
    const RunState& run_;
    fs::path runFolder_;
    TerminalProgress progress_;
    TemplateStoreCache templates_;
    int worst_ = kExitAllFull;
    size_t documents_ = 0;
};

}  // namespace

int runRecover(const std::vector<std::string>& args) {
    RecoverOptions opt;
    switch (parseRecoverOptions(args, opt)) {
        case ParseResult::Help:
            std::fputs(commandHelp("recover"), stdout);
            return kExitAllFull;
        case ParseResult::Usage:
            return kExitUsage;
        case ParseResult::Run:
            break;
    }
    // Said once here rather than as a failure per document: every .docx needs temp.dat.
    const TemplateStoreLookup store = findTemplateStore(templateStoreFolders());
    if (!store.found())
        std::fprintf(stderr, "morvel: %s; .docx documents cannot be recovered\n",
                     templateStoreNotFoundMessage(store).c_str());
    if (!opt.filesFrom.empty()) {
        std::string listError;
        if (!readFileList(opt.filesFrom, opt.nulSeparated, opt.inputs, listError)) {
            std::fprintf(stderr, "morvel recover: %s\n", listError.c_str());
            return kExitSomeFailed;
        }
    }
    // A missing output folder is made, parents too, as an archiver's -d does.
    std::error_code ec;
    if (!fs::is_directory(opt.outputDir, ec)) {
        fs::create_directories(opt.outputDir, ec);
        if (!fs::is_directory(opt.outputDir)) {
            std::fprintf(stderr, "morvel: cannot create output folder %s: %s\n",
                         opt.outputDir.c_str(),
                         ec ? ec.message().c_str() : "a file of that name is in the way");
            return kExitUsage;
        }
    }

    // Every input is known before the first result is written, so none can be replaced.
    OutputPlan plan(opt.outputDir);
    std::vector<FileIdentity> skip;  // where results appear: never searched for documents
    if (const auto out = identityOf(opt.outputDir))
        skip.push_back(*out);
    for (const fs::path& input : opt.inputs) {
        if (fs::is_directory(input, ec))
            plan.protectFolder(input);
        else
            plan.protectFile(input);
    }

    std::string err;
    fs::path working = privateWorkingFolder(err);
    if (!working.empty())
        removeStaleRunFolders(working);  // left by runs that were killed
    // The signals are handled before the run folder exists, so none can leave it behind; it
    // is made under the lock the signal watcher takes before it removes the folder.
    RunFolder runFolder;
    PartialFiles partials;
    const RunState run{opt, plan, &partials};
    StopSignals stopSignals(partials, runFolder);
    bool made;
    {
        auto held = partials.hold();
        made = !working.empty() && runFolder.create(working, err);
    }
    if (!made) {
        std::fprintf(stderr, "morvel: Cannot make temp folder: %s\n", err.c_str());
        return kExitSomeFailed;
    }

    Batch batch(run, runFolder.path());
    for (const fs::path& input : opt.inputs) {
        if (!fs::is_directory(input, ec)) {
            batch.recover(input, fs::path());
            continue;
        }
        // A folder's documents stream through as the walk finds them: no cap on their number.
        // The root itself is searched even when it is the output folder.
        const size_t found = walkFolderDocuments(
            input, skip, [&](const fs::path& document, const fs::path& relative) {
                batch.recover(document, relative);
            });
        if (found == 0)
            std::fprintf(stderr, "morvel: no Word documents found in %s\n", input.c_str());
    }
    // No document at all is no success.
    return batch.documents() == 0 ? static_cast<int>(kExitSomeFailed) : batch.worst();
}

}  // namespace morvel::cli
