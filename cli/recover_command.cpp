#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/batch_pool.h"
#include "cli/commands.h"
#include "cli/document_outcome.h"
#include "cli/help_text.h"
#include "cli/memory_reuse.h"
#include "cli/output_plan.h"
#include "cli/recover_options.h"
#include "cli/recover_report.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress.h"
#include "core/content_route.h"
#include "core/document_format.h"
#include "core/folders.h"
#include "core/output_names.h"
#include "core/outputs.h"
#include "core/plain_text.h"
#include "core/recovery_driver.h"
#include "core/run_folder.h"
#include "core/template_store_cache.h"
#include "discovery/document_walk.h"
#include "docwriter/recover_doc_file.h"
#include "docx/office_broken_repair_2007.h"
#include "platform/collected_errors.h"
#include "platform/file_io.h"

namespace morvel::cli {

namespace {

namespace fs = std::filesystem;

// The documents of a folder that recover takes: those a search lists as ordinary, so no
// templates and no ~ files. `found` gets each path and its folder below the root.
size_t walkRecoverable(const fs::path& root, const std::vector<FileIdentity>& skip,
                       const std::function<void(const fs::path&, const fs::path&)>& found) {
    size_t count = 0;
    walkDocuments(root, skip, [&](const WalkedDocument& d) {
        if (d.category != kCategoryOrdinary)
            return;
        ++count;
        found(fs::path(d.folder + "/" + d.fileName), d.relative);
    });
    return count;
}

// What a run needs besides its options.
struct RunState {
    const RecoverOptions& opt;
    OutputPlan& plan;
    PartialFiles* partials = nullptr;  // results being written, removed on a stop signal
};

Reason noFullDocumentReason(const DocumentOutcome& o);

// The kind of the plain text in the report ("text" names a .docx's text-only package).
constexpr const char* kPlainTextKind = "plain-text";

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

// Writes one output to its target through `save`. Every output of a run goes through here: the
// checks that keep inputs and this run's results safe, the folders of the mirrored tree, the
// atomic write and the record of what was written. `state` is what the target was found to be
// just before (one look per target).
// A staged result already lies in its target's folder, so `makeFolder` is false for it.
template <typename Save>
void writeTarget(const RunState& run, const char* kind, const fs::path& target,
                 OutputPlan::TargetState state, DocumentOutcome& outcome, Save save,
                 bool makeFolder = true) {
    if (state == OutputPlan::TargetState::Input) {
        outcome.errors.push_back("refusing to write " + target.string() +
                                 ": it is one of the documents being recovered");
        return;
    }
    if (state == OutputPlan::TargetState::Written) {
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
    if (makeFolder && target.has_parent_path() && !fs::is_directory(target.parent_path(), ec)) {
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
    SaveOutcome saved = save(how);
    if (!saved.ok) {
        if (saved.status == SaveStatus::AlreadyExists)
            saved.error += " (use --force to replace it)";
        outcome.errors.push_back(saved.error);
        return;
    }
    run.plan.noteWritten(target);
    outcome.written.push_back({kind, target, saved.bytes});
}

// Writes one result of the record to its target; the NUL that ends a text buffer is left out.
// `staged`, when it holds the result, was written beside the target by a worker and is only
// put in place here.
void writeOutput(const RunState& run, const DocumentRecord& rec, OutputKind which,
                 const fs::path& target, OutputPlan::TargetState state, StagedResult& staged,
                 DocumentOutcome& outcome) {
    const std::optional<std::vector<uint8_t>>& buffer = which == OutputKind::Full ? rec.fullData
                                                        : which == OutputKind::Filtered
                                                            ? rec.filteredData
                                                            : rec.rawText;
    const uint32_t length = which == OutputKind::Full       ? rec.fullLength
                            : which == OutputKind::Filtered ? rec.filteredLength
                                                            : rec.rawTextLength;
    if (!staged.present && (!buffer || length == 0))
        return;
    writeTarget(
        run, kindName(rec.format, which), target, state, outcome,
        [&](const SaveOptions& how) {
            return staged.present ? placeResult(rec, staged, target, how)
                                  : writeResult(rec, which, target, how);
        },
        !staged.present);
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
    if (!placement.plainText.empty()) {
        std::error_code ec;
        const auto size = fs::file_size(placement.plainText, ec);
        if (ec)
            return false;
        there.push_back({kPlainTextKind, placement.plainText, static_cast<size_t>(size), true});
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

// The kinds of result a document can have, in the order they are written.
constexpr OutputKind kResultKinds[] = {OutputKind::Full, OutputKind::Filtered, OutputKind::Raw};

bool writesKind(uint16_t format, OutputKind kind) {
    return kind != OutputKind::Raw || format == kFormatDoc;
}

// What one thread of a batch keeps from document to document: its own folder for the
// temporary results, its own copy of the template store and its own progress.
struct Worker {
    fs::path folder;
    fs::path programFolder;  // found once: where temp.dat is looked for
    TemplateStoreCache templates;
    TerminalProgress* progress;
};

// One document of a batch. It is named on the thread that reads the inputs, in input order,
// before anything of it is read; a worker recovers it into memory; it is written and reported
// back on the first thread, again in input order, so a batch's files and report are the same
// whatever the number of threads.
struct BatchItem {
    fs::path input;
    fs::path relativeFolder;
    DocumentRecord rec;
    Placement placement;
    DocumentOutcome outcome;
    bool recover = false;   // the checks passed: the record holds what recovery made
    std::string plainText;  // with --text: the best text recovered, UTF-8
    // The results written and flushed beside their targets by the worker, by kResultKinds.
    StagedResult staged[std::size(kResultKinds)];
    struct stat st {};
    bool found = false;
    bool regular = false;
    double seconds = 0;
};

BatchItem placeItem(OutputPlan& plan, const fs::path& input, const fs::path& relativeFolder) {
    BatchItem item;
    item.input = input;
    item.relativeFolder = relativeFolder;
    item.outcome.input = input;
    DocumentRecord& rec = item.rec;
    rec.fileName = input.filename().string();
    rec.folder = input.has_parent_path() ? input.parent_path().string() : ".";
    rec.format = formatFromFileName(rec.fileName);

    item.found = ::stat(input.c_str(), &item.st) == 0;
    item.regular = item.found && S_ISREG(item.st.st_mode);
    // The results are named after the format the file's bytes show (a package named .doc gets
    // .docx names); the driver recovers from the same bytes.
    if (item.regular && static_cast<uint64_t>(item.st.st_size) <= kMaxInputSize) {
        try {
            std::vector<uint8_t> bytes;
            if (readWholeFile(input, bytes) == ReadStatus::Ok) {
                ContentFormat content = ContentFormat::Unknown;
                rec.format = ResultFormatOf(bytes, rec.fileName, &content);
                // The recovery takes these bytes, and what they were found to be: the file is
                // read and sniffed once.
                rec.fileData = std::move(bytes);
                rec.fileDataContent = content;
            }
        } catch (const std::bad_alloc&) {
            // Too big for memory: named by its extension; its recovery fails alone.
        }
    }
    item.outcome.format = rec.format;
    // Names are placed before recovery, so they do not depend on what is recovered.
    if (rec.format != kFormatUnknown)
        item.placement = plan.place(relativeFolder, rec.fileName, rec.format, true);
    return item;
}

// Writes the record's results beside their targets and flushes them, so that the first
// thread has only to rename them; a result so written leaves memory at once. Results of a
// resumed batch, and those whose folder cannot be made here, are left to the first thread.
void stageResults(const RecoverOptions& opt, BatchItem& item, PartialFiles* partials) {
    DocumentRecord& rec = item.rec;
    if (opt.skipExisting)
        return;
    fs::path readyFolder;
    for (size_t i = 0; i < std::size(kResultKinds); ++i) {
        const OutputKind kind = kResultKinds[i];
        const fs::path& target = targetOf(item.placement, kind);
        std::optional<std::vector<uint8_t>>& buffer = kind == OutputKind::Full ? rec.fullData
                                                      : kind == OutputKind::Filtered
                                                          ? rec.filteredData
                                                          : rec.rawText;
        const uint32_t length = kind == OutputKind::Full       ? rec.fullLength
                                : kind == OutputKind::Filtered ? rec.filteredLength
                                                               : rec.rawTextLength;
        if (!writesKind(rec.format, kind) || target.empty() || !buffer || length == 0)
            continue;
        // A document's results share a folder: it is looked at (and made) once.
        if (target.has_parent_path() && target.parent_path() != readyFolder) {
            std::error_code ec;
            if (!fs::is_directory(target.parent_path(), ec))
                fs::create_directories(target.parent_path(), ec);
            if (ec)
                continue;
            readyFolder = target.parent_path();
        }
        item.staged[i] = stageResult(rec, kind, target, partials, false);
        buffer.reset();
    }
    // Every result is written before the first is flushed: their folder then goes to the disk
    // once for the document rather than once for each of its results.
    for (StagedResult& staged : item.staged)
        flushStaged(staged);
}

// The checks on the input and the recovery itself, into memory; run by a worker.
void recoverItem(const RecoverOptions& opt, BatchItem& item, Worker& worker,
                 PartialFiles* partials) {
    const auto started = std::chrono::steady_clock::now();
    DocumentRecord& rec = item.rec;
    DocumentOutcome& outcome = item.outcome;
    const struct stat& st = item.st;
    if (item.found && !item.regular) {
        // A FIFO, device or socket: reading it could block for ever or never end.
        outcome.errors.push_back(readStatusText(ReadStatus::NotRegularFile));
    } else if (item.found && static_cast<uint64_t>(st.st_size) > kMaxInputSize) {
        outcome.errors.push_back(
            "the file is larger than 2 GiB; Word documents use 32-bit sizes, "
            "so it cannot be a document this program can read");
        rec.format = kFormatUnknown;
    } else if (item.found && opt.skipExisting &&
               resultsExist(item.placement, rec.format, outcome)) {
        outcome.skipped = true;
        outcome.success = true;
        outcome.exitCode = kExitAllFull;
    }

    // Every other file goes to the driver, which reads it by its bytes, whatever its name.
    if (outcome.errors.empty() && !outcome.skipped) {
        item.recover = true;
        CollectedErrors errors;
        RecoveryEnvironment env;
        env.workingFolder = worker.folder;
        env.programFolder = worker.programFolder;
        env.progress = worker.progress;
        env.status = worker.progress;
        env.errors = &errors;
        env.templates = &worker.templates;
        worker.progress->setStatusText("Recovering of " + rec.fileName + "  Step 1 of 2:");
        try {
            RecoverDocument(rec, env);
        } catch (const std::bad_alloc&) {
            // The document does not fit in memory: it fails alone, the batch goes on.
            errors.showError(kNotEnoughMemoryMessage);
            rec.success = 0;
        }
        if (opt.plainText)
            item.plainText = PlainTextOf(rec);
        // The document's own bytes are not needed to write its results: a finished document
        // waiting for its turn holds only those.
        rec.fileData.reset();
        rec.fileDataContent.reset();
        outcome.format = rec.format;
        outcome.content = rec.content;
        outcome.contentReason = contentReasonOf(rec);
        for (const std::string& text : errors.texts())
            outcome.errors.push_back(text);
        outcome.success = rec.success != 0;
        outcome.fullFailed = rec.fullFailed != 0;
        outcome.docx = rec.docxReport;
        outcome.repair = rec.imageRepair;
        outcome.findings = rec.findings;
        outcome.result = rec.fullResult;
        outcome.fullBuilt = rec.fullData.has_value();
        stageResults(opt, item, partials);
    }
    item.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// Writes what recovery made and settles the document's verdict; on the first thread.
void writeItem(const RunState& run, BatchItem& item) {
    const auto started = std::chrono::steady_clock::now();
    DocumentOutcome& outcome = item.outcome;
    DocumentRecord& rec = item.rec;
    if (item.recover) {
        // One look at each target: what is there decides whether it may be written.
        OutputPlan::TargetState states[std::size(kResultKinds)];
        OutputPlan::TargetState textState = OutputPlan::TargetState::Free;
        auto look = [&] {
            bool clash = false;
            for (size_t i = 0; i < std::size(kResultKinds); ++i) {
                states[i] = run.plan.stateOf(targetOf(item.placement, kResultKinds[i]));
                clash |= states[i] == OutputPlan::TargetState::Written;
            }
            if (!item.placement.plainText.empty()) {
                textState = run.plan.stateOf(item.placement.plainText);
                clash |= textState == OutputPlan::TargetState::Written;
            }
            return clash;
        };
        if (look()) {
            // Another spelling of a result written before (a folder link, a file system that
            // ignores case): the document takes the next free number instead.
            item.placement = run.plan.place(item.relativeFolder, rec.fileName, rec.format);
            look();
        }
        // A result staged under its first target is renamed to the new one: the same folder.
        for (size_t i = 0; i < std::size(kResultKinds); ++i)
            if (writesKind(rec.format, kResultKinds[i]))
                writeOutput(run, rec, kResultKinds[i], targetOf(item.placement, kResultKinds[i]),
                            states[i], item.staged[i], outcome);
        const fs::path& textTarget = item.placement.plainText;
        if (!textTarget.empty() && !item.plainText.empty()) {
            const std::span<const uint8_t> bytes(
                reinterpret_cast<const uint8_t*>(item.plainText.data()), item.plainText.size());
            writeTarget(run, kPlainTextKind, textTarget, textState, outcome,
                        [&](const SaveOptions& how) {
                            return writeRecordBytes(rec, bytes, textTarget, how);
                        });
        }
    }
    if (outcome.skipped)
        return;

    bool full = false;
    for (const auto& w : outcome.written)
        full |= std::string(w.kind) == "full";
    // Nothing written is no success, whatever the steps said.
    outcome.success = outcome.success && !outcome.written.empty();
    // A full document that holds the text alone (an older Word version's text, or a document
    // whose structure was lost) is no recovered document: it ends "text only", with the
    // reason its format gives, else the engine's own.
    const bool plainText = full && outcome.result.source == kRecoverDocSource &&
                           outcome.result.code == kRecoverDocTextOnly;
    if (plainText)
        outcome.reason = outcome.contentReason
                             ? Reason{outcome.contentReason->code, outcome.contentReason->message}
                             : Reason{outcome.result.key(), outcome.result.message};
    else if (!full)
        outcome.reason = noFullDocumentReason(outcome);
    outcome.exitCode = full && !plainText && outcome.errors.empty() ? kExitAllFull
                       : outcome.written.empty()                    ? kExitSomeFailed
                                                                    : kExitSomeTextOnly;
    outcome.seconds =
        item.seconds +
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// Why a document got no full document: a stable code and a one-line message. A step that
// failed says why in its result; when the full document was built but could not be written,
// or no step ran, the first error says why.
Reason noFullDocumentReason(const DocumentOutcome& o) {
    // What the file is says it first: a workbook, an encrypted file, an older Word binary.
    if (o.contentReason)
        return {o.contentReason->code, o.contentReason->message};
    if (o.result.set() && !o.fullBuilt)
        return {o.result.key(), o.result.message};
    if (!o.errors.empty())
        return {"error", o.errors.front()};
    return {"no-full-document", "no full document could be built"};
}

// Recovers the documents as they are found, on opt.jobs threads (the first thread alone with
// one job), and writes and reports each whole, in the order they were found.
class Batch {
  public:
    Batch(const RunState& run, const fs::path& runFolder, size_t total)
        : run_(run),
          progress_(stderr, run.opt.verbosity != Verbosity::Quiet),
          total_(total),
          started_(std::chrono::steady_clock::now()),
          pool_(run.opt.jobs > 1 ? run.opt.jobs : 0, size_t{run.opt.jobs} * kWindowPerJob,
                [this](BatchItem& item) { finish(item); }) {
        // With one job the document's own progress is drawn; with more, the batch's alone.
        const unsigned workers = std::max(1u, run.opt.jobs);
        workers_.reserve(workers);
        const fs::path programFolder = defaultProgramFolder();
        for (unsigned i = 0; i < workers; ++i) {
            fs::path folder = runFolder;
            if (run.opt.jobs > 1) {
                // Each thread's temporary results in a folder of its own.
                folder /= "worker-" + std::to_string(i);
                std::error_code ec;
                fs::create_directory(folder, ec);
            }
            TerminalProgress* progress = &progress_;
            if (run.opt.jobs > 1) {
                quietProgress_.push_back(std::make_unique<TerminalProgress>(stderr, false));
                progress = quietProgress_.back().get();
            }
            workers_.push_back(
                std::make_unique<Worker>(Worker{folder, programFolder, {}, progress}));
        }
    }

    void recover(const fs::path& input, const fs::path& relativeFolder) {
        auto item = std::make_shared<BatchItem>(placeItem(run_.plan, input, relativeFolder));
        pool_.submit([this, item](unsigned worker) {
            try {
                recoverItem(run_.opt, *item, *workers_[worker], run_.partials);
            } catch (const std::bad_alloc&) {
                item->rec = DocumentRecord{};
                item->recover = false;
                item->outcome.errors.push_back(kNotEnoughMemoryMessage);
            }
            return std::move(*item);
        });
    }

    // Waits for the documents still being recovered.
    void finishAll() { pool_.drain(); }

    int worst() const { return worst_; }
    size_t documents() const { return documents_; }

  private:
    // Documents held at once per thread: enough to keep every thread busy while one slow
    // document holds back the reporting, few enough to keep their results in memory.
    static constexpr size_t kWindowPerJob = 4;

    void finish(BatchItem& item) {
        progress_.clear();
        try {
            writeItem(run_, item);
        } catch (const std::bad_alloc&) {
            item.outcome.errors.push_back(kNotEnoughMemoryMessage);
        }
        printOutcome(run_.opt, item.outcome);
        ++documents_;
        worst_ = std::max(worst_, item.outcome.exitCode);
        showBatchProgress();
    }

    // "N of M" and the time left, from the mean time per document so far.
    void showBatchProgress() {
        if (!progress_.enabled())
            return;
        const size_t total = std::max(total_, documents_);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        const double left =
            elapsed / static_cast<double>(documents_) * static_cast<double>(total - documents_);
        progress_.setBatchPosition(documents_, total, left);
        if (run_.opt.jobs > 1) {
            progress_.setRange(0, static_cast<int>(std::min<size_t>(total, INT32_MAX)));
            progress_.setPosition(static_cast<int>(std::min<size_t>(documents_, INT32_MAX)));
        }
    }

    const RunState& run_;
    TerminalProgress progress_;
    std::vector<std::unique_ptr<TerminalProgress>> quietProgress_;  // drawn by no one
    std::vector<std::unique_ptr<Worker>> workers_;
    size_t total_;
    std::chrono::steady_clock::time_point started_;
    int worst_ = kExitAllFull;
    size_t documents_ = 0;
    BatchPool<BatchItem> pool_;  // last: its threads end before what they use goes away
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
    keepFreedMemoryForReuse();
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
    OutputPlan plan(opt.outputDir, opt.plainText);
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

    // The number of documents, for "N of M" on a terminal; a folder is walked twice for it.
    size_t total = 0;
    if (opt.verbosity != Verbosity::Quiet && ::isatty(STDERR_FILENO) != 0) {
        for (const fs::path& input : opt.inputs)
            total += fs::is_directory(input, ec)
                         ? walkRecoverable(input, skip, [](const fs::path&, const fs::path&) {})
                         : 1;
    }
    Batch batch(run, runFolder.path(), total);
    for (const fs::path& input : opt.inputs) {
        if (!fs::is_directory(input, ec)) {
            batch.recover(input, fs::path());
            continue;
        }
        // A folder's documents stream through as the walk finds them: no cap on their number.
        // The root itself is searched even when it is the output folder.
        const size_t found =
            walkRecoverable(input, skip, [&](const fs::path& document, const fs::path& relative) {
                batch.recover(document, relative);
            });
        if (found == 0)
            std::fprintf(stderr, "morvel: no Word documents found in %s\n", input.c_str());
    }
    batch.finishAll();
    // No document at all is no success.
    return batch.documents() == 0 ? static_cast<int>(kExitSomeFailed) : batch.worst();
}

}  // namespace morvel::cli
