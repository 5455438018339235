#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/folder_documents.h"
#include "cli/json_text.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress.h"
#include "core/document_format.h"
#include "core/folders.h"
#include "core/output_names.h"
#include "core/recovery_driver.h"
#include "core/template_store_cache.h"
#include "docx/office_broken_repair_2007.h"
#include "platform/collected_errors.h"
#include "platform/file_io.h"

namespace morvel::cli {

namespace {

namespace fs = std::filesystem;

struct RecoverOptions {
    std::vector<fs::path> inputs;
    fs::path outputDir = ".";
    bool force = false;
    bool json = false;
    PartialFiles* partials = nullptr;  // results being written, removed on a stop signal
};

struct WrittenOutput {
    const char* kind;
    fs::path path;
    size_t bytes;
};

struct Reason {
    std::string code;  // stable, for scripts
    std::string message;
};

struct DocumentOutcome {
    fs::path input;
    uint16_t format = kFormatUnknown;
    bool success = false;
    bool fullFailed = false;
    std::vector<WrittenOutput> written;
    std::vector<std::string> errors;
    std::optional<DocxRecoveryReport> docx;
    Reason reason;  // set when no full document was written
    double seconds = 0;
    int exitCode = kExitSomeFailed;
};

Reason noFullDocumentReason(const DocumentOutcome& o);

const char* formatName(uint16_t f) {
    return f == kFormatDoc ? "doc" : f == kFormatDocx ? "docx" : "unknown";
}

// Writes one result under its default name; the NUL that ends a text buffer is left out.
void writeOutput(const RecoverOptions& opt, const DocumentRecord& rec, OutputKind kind,
                 const std::optional<std::vector<uint8_t>>& buffer, uint32_t length, bool stripNul,
                 const char* kindName, DocumentOutcome& outcome) {
    if (!buffer || length == 0)
        return;
    size_t n = std::min<size_t>(length, buffer->size());
    if (stripNul && n > 0 && (*buffer)[n - 1] == 0)
        --n;
    fs::path target = opt.outputDir / defaultOutputName(rec.fileName, rec.format, kind);
    for (const fs::path& in : opt.inputs) {
        if (sameFile(in, target)) {
            outcome.errors.push_back("refusing to write " + target.string() +
                                     ": it is one of the documents being recovered");
            return;
        }
    }
    std::string err = writeFileAtomic(target, std::span<const uint8_t>(buffer->data(), n),
                                      opt.force, opt.partials);
    if (!err.empty()) {
        if (!opt.force && err.find("already exists") != std::string::npos)
            err += " (use --force to replace it)";
        outcome.errors.push_back(err);
        return;
    }
    outcome.written.push_back({kindName, target, n});
}

DocumentOutcome recoverOne(const RecoverOptions& opt, const fs::path& input,
                           const fs::path& runFolder, TerminalProgress& progress,
                           TemplateStoreCache& templates) {
    DocumentOutcome outcome;
    outcome.input = input;
    const auto started = std::chrono::steady_clock::now();

    DocumentRecord rec;
    rec.fileName = input.filename().string();
    rec.folder = input.has_parent_path() ? input.parent_path().string() : ".";
    rec.format = formatFromFileName(rec.fileName);
    outcome.format = rec.format;

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

        writeOutput(opt, rec, OutputKind::Full, rec.fullData, rec.fullLength, false, "full",
                    outcome);
        writeOutput(opt, rec, OutputKind::Filtered, rec.filteredData, rec.filteredLength,
                    rec.format == kFormatDoc, rec.format == kFormatDoc ? "filtered" : "text",
                    outcome);
        if (rec.format == kFormatDoc)
            writeOutput(opt, rec, OutputKind::Raw, rec.rawText, rec.rawTextLength, true, "raw",
                        outcome);
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

// Why a document got no full document: a stable code and a one-line message.
Reason noFullDocumentReason(const DocumentOutcome& o) {
    if (!o.errors.empty())
        return {"error", o.errors.front()};
    // Without a main document nothing else matters: say that rather than what else is lost.
    if (o.docx && o.docx->textRan && o.docx->textStatus == kDocxDocumentNotFound)
        return {"docx-status-" + std::to_string(o.docx->textStatus), o.docx->textMessage};
    if (o.docx && o.docx->fullRan && o.docx->fullStatus != 0)
        return {"docx-status-" + std::to_string(o.docx->fullStatus), o.docx->fullMessage};
    if (o.format == kFormatDoc)
        return {"doc-structure-lost", "the document's structure could not be read; text recovered"};
    return {"no-full-document", "no full document could be built"};
}

// The .docx engine's account: its status for each package and the parts of the package.
std::string docxReportJson(const DocxRecoveryReport& r) {
    std::string s = "{";
    if (r.textRan)
        s += "\"textStatus\":" + std::to_string(r.textStatus) +
             ",\"textMessage\":" + jsonString(r.textMessage) + ",";
    if (r.fullRan)
        s += "\"fullStatus\":" + std::to_string(r.fullStatus) +
             ",\"fullMessage\":" + jsonString(r.fullMessage) + ",";
    s += "\"summary\":" + jsonString(r.package.summary()) + ",\"parts\":[";
    for (size_t i = 0; i < r.package.parts.size(); ++i) {
        const PartReport& p = r.package.parts[i];
        s += std::string(i ? "," : "") + "{\"name\":" + jsonString(p.name) + ",\"state\":\"" +
             std::string(partStateName(p.state)) +
             "\",\"decoded\":" + std::to_string(p.decodedBytes) +
             ",\"declared\":" + std::to_string(p.declaredBytes) + "}";
    }
    return s + "]}";
}

void printOutcome(const RecoverOptions& opt, const DocumentOutcome& o) {
    if (opt.json) {
        std::string s = "{\"path\":" + jsonString(o.input.string()) + ",\"format\":\"" +
                        formatName(o.format) + "\",\"success\":" + (o.success ? "true" : "false") +
                        ",\"fullFailed\":" + (o.fullFailed ? "true" : "false") + ",\"outputs\":[";
        for (size_t i = 0; i < o.written.size(); ++i) {
            if (i)
                s += ",";
            s += "{\"kind\":\"" + std::string(o.written[i].kind) +
                 "\",\"path\":" + jsonString(o.written[i].path.string()) +
                 ",\"bytes\":" + std::to_string(o.written[i].bytes) + "}";
        }
        s += "],\"errors\":[";
        for (size_t i = 0; i < o.errors.size(); ++i)
            s += (i ? "," : "") + jsonString(o.errors[i]);
        s += "]";
        if (!o.reason.code.empty())
            s += ",\"reason\":{\"code\":" + jsonString(o.reason.code) +
                 ",\"message\":" + jsonString(o.reason.message) + "}";
        if (o.docx)
            s += ",\"docx\":" + docxReportJson(*o.docx);
        char secs[32];
        std::snprintf(secs, sizeof secs, "%.3f", o.seconds);
        s += ",\"seconds\":" + std::string(secs) + "}";
        std::printf("%s\n", s.c_str());
        return;
    }
    for (const auto& e : o.errors)
        std::fprintf(stderr, "morvel: %s: %s\n", o.input.c_str(), e.c_str());
    const char* verdict = o.exitCode == kExitAllFull        ? "recovered"
                          : o.exitCode == kExitSomeTextOnly ? "text only"
                                                            : "failed";
    if (o.reason.code.empty() || !o.errors.empty())
        std::printf("%s: %s (%.2f s)\n", o.input.c_str(), verdict, o.seconds);
    else
        std::printf("%s: %s: %s (%.2f s)\n", o.input.c_str(), verdict, o.reason.message.c_str(),
                    o.seconds);
    if (o.docx) {
        const std::string summary = o.docx->package.summary();
        if (!summary.empty())
            std::printf("  damage   %s\n", summary.c_str());
    }
    for (const auto& w : o.written)
        std::printf("  %-8s %s (%zu bytes)\n", w.kind, w.path.c_str(), w.bytes);
}

// Replaces every folder among the inputs by the documents a search finds in it, leaving out
// Templates folders and ~ files as the document tree does by default.
bool expandFolders(std::vector<fs::path>& inputs) {
    std::vector<std::string> folders;
    std::error_code ec;
    for (const fs::path& p : inputs)
        if (fs::is_directory(p, ec))
            folders.push_back(p.string());
    if (folders.empty())
        return true;
    FolderSearchOutcome found;
    std::string error;
    if (!searchFolders(folders, found, error)) {
        std::fprintf(stderr, "morvel: Cannot make temp folder: %s\n", error.c_str());
        return false;
    }
    for (const std::string& e : found.errors)
        std::fprintf(stderr, "morvel: %s\n", e.c_str());
    std::vector<fs::path> expanded;
    std::vector<bool> taken(found.documents.size(), false);
    for (const fs::path& p : inputs) {
        if (!fs::is_directory(p, ec)) {
            expanded.push_back(p);
            continue;
        }
        // The search cuts one trailing separator from the folder it is given.
        std::string folder = p.string();
        if (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        const size_t before = expanded.size();
        for (size_t i = 0; i < found.documents.size(); ++i) {
            const FoundDocument& d = found.documents[i];
            const bool inside =
                d.folder == folder || (d.folder.size() > folder.size() &&
                                       d.folder.compare(0, folder.size(), folder) == 0 &&
                                       (d.folder[folder.size()] == '/' || folder == "/"));
            if (inside && !taken[i] && d.category == kCategoryOrdinary) {
                taken[i] = true;
                expanded.push_back(fs::path(d.folder) / d.fileName);
            }
        }
        if (expanded.size() == before)
            std::fprintf(stderr, "morvel: no Word documents found in %s\n", p.c_str());
    }
    inputs = std::move(expanded);
    return true;
}

}  // namespace

int runRecover(const std::vector<std::string>& args) {
    RecoverOptions opt;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "morvel: %s needs a folder\n", a.c_str());
                return kExitUsage;
            }
            opt.outputDir = args[++i];
        } else if (a == "--force" || a == "-f") {
            opt.force = true;
        } else if (a == "--json") {
            opt.json = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            std::fprintf(stderr, "morvel: unknown option %s (see morvel --help)\n", a.c_str());
            return kExitUsage;
        } else if (a != "--") {
            opt.inputs.emplace_back(a);
        }
    }
    if (opt.inputs.empty()) {
        std::fprintf(stderr, "morvel: recover needs at least one document (see morvel --help)\n");
        return kExitUsage;
    }
    std::error_code ec;
    if (!expandFolders(opt.inputs))
        return kExitSomeFailed;
    if (opt.inputs.empty())
        return kExitSomeFailed;
    // A missing output folder is made, parents too, as an archiver's -d does.
    if (!fs::is_directory(opt.outputDir, ec)) {
        fs::create_directories(opt.outputDir, ec);
        if (!fs::is_directory(opt.outputDir)) {
            std::fprintf(stderr, "morvel: cannot create output folder %s: %s\n",
                         opt.outputDir.c_str(),
                         ec ? ec.message().c_str() : "a file of that name is in the way");
            return kExitUsage;
        }
    }

    std::string err;
    fs::path working = privateWorkingFolder(err);
    if (!working.empty())
        removeStaleRunFolders(working);  // left by runs that were killed
    // The signals are handled before the run folder exists, so none can leave it behind; it
    // is made under the lock the signal watcher takes before it removes the folder.
    RunFolder runFolder;
    PartialFiles partials;
    opt.partials = &partials;
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

    TerminalProgress progress(stderr);
    TemplateStoreCache templates;
    int worst = kExitAllFull;
    for (const fs::path& input : opt.inputs) {
        DocumentOutcome o;
        try {
            o = recoverOne(opt, input, runFolder.path(), progress, templates);
        } catch (const std::bad_alloc&) {
            o.input = input;
            o.errors.push_back(kNotEnoughMemoryMessage);
        }
        printOutcome(opt, o);
        worst = std::max(worst, o.exitCode);
    }
    return worst;
}

}  // namespace morvel::cli
