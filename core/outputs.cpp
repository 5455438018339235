#include "core/outputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <span>

#include "platform/file_io.h"

namespace morvel {

namespace fs = std::filesystem;

namespace {

fs::path sourceOf(const DocumentRecord& record) {
    return fs::path(record.folder + "/" + record.fileName);
}

}  // namespace

fs::path forceExtension(const fs::path& chosen, const std::string& extension) {
    const std::string name = chosen.filename().string();
    const size_t dot = name.rfind('.');
    const std::string forced =
        dot == std::string::npos ? name + "." + extension : name.substr(0, dot + 1) + extension;
    return chosen.parent_path() / forced;
}

OutputKind outputKindForTab(int tab) {
    return tab == 0 ? OutputKind::Full : tab == 1 ? OutputKind::Filtered : OutputKind::Raw;
}

namespace {

// The result's bytes as written to a file: text results without their terminating NUL; empty
// when the record holds no such result.
std::optional<std::span<const uint8_t>> resultBytes(const DocumentRecord& record, OutputKind kind) {
    const std::optional<std::vector<uint8_t>>* buffer = nullptr;
    uint32_t length = 0;
    bool text = false;
    switch (kind) {
        case OutputKind::Full:
            buffer = &record.fullData;
            length = record.fullLength;
            break;
        case OutputKind::Filtered:
            buffer = &record.filteredData;
            length = record.filteredLength;
            text = record.format == kFormatDoc;
            break;
        case OutputKind::Raw:
            buffer = &record.rawText;
            length = record.rawTextLength;
            text = true;
            break;
    }
    if (!buffer || !*buffer)
        return std::nullopt;
    size_t n = std::min<size_t>(length, (*buffer)->size());
    // The terminating NUL belongs to the buffer, not to the text file.
    if (text && n > 0 && (**buffer)[n - 1] == 0)
        --n;
    return std::span<const uint8_t>((*buffer)->data(), n);
}

// Refuses a target that is a protected file or the record's own document; empty when the
// target may be written.
SaveOutcome refusal(const DocumentRecord& record, const fs::path& target,
                    const SaveOptions& options) {
    SaveOutcome outcome;
    outcome.written = target;
    for (const fs::path& kept : options.protectedFiles) {
        if (sameFile(target, kept)) {
            outcome.status = SaveStatus::ProtectedTarget;
            outcome.error = "refusing to write " + target.string() +
                            ": it is one of the documents being recovered";
            return outcome;
        }
    }
    if (sameFile(target, sourceOf(record))) {
        outcome.status = SaveStatus::ProtectedTarget;
        outcome.error = "Cannot save over the original document " + target.string() +
                        "; it is never changed. Choose another name.";
    }
    return outcome;
}

SaveOutcome notRecovered() {
    SaveOutcome outcome;
    outcome.status = SaveStatus::NotRecovered;
    outcome.error = "This result was not recovered, so there is nothing to save.";
    return outcome;
}

SaveStatus statusOf(WriteStatus written) {
    return written == WriteStatus::Ok              ? SaveStatus::Saved
           : written == WriteStatus::AlreadyExists ? SaveStatus::AlreadyExists
                                                   : SaveStatus::WriteFailed;
}

}  // namespace

StagedResult stageResult(const DocumentRecord& record, OutputKind kind, const fs::path& target,
                         PartialFiles* partials, bool flushNow) {
    StagedResult staged;
    const std::optional<std::span<const uint8_t>> bytes = resultBytes(record, kind);
    if (!bytes)
        return staged;
    staged.present = true;
    staged.error = staged.file.write(target, *bytes, partials, &staged.status);
    staged.bytes = staged.error.empty() ? bytes->size() : 0;
    if (flushNow)
        flushStaged(staged);
    return staged;
}

void flushStaged(StagedResult& staged) {
    if (!staged.present || !staged.error.empty())
        return;
    staged.error = staged.file.flush(&staged.status);
    if (!staged.error.empty())
        staged.bytes = 0;
}

SaveOutcome placeResult(const DocumentRecord& record, StagedResult& staged, const fs::path& target,
                        const SaveOptions& options) {
    if (!staged.present)
        return notRecovered();
    SaveOutcome outcome = refusal(record, target, options);
    if (!outcome.error.empty() || !staged.error.empty()) {
        staged.file.discard();
        if (outcome.error.empty()) {
            outcome.error = staged.error;
            outcome.status = statusOf(staged.status);
        }
        return outcome;
    }
    WriteStatus written = WriteStatus::Ok;
    outcome.error = staged.file.place(target, options.overwrite, &written);
    outcome.ok = outcome.error.empty();
    outcome.bytes = outcome.ok ? staged.bytes : 0;
    outcome.status = statusOf(written);
    return outcome;
}

SaveOutcome writeResult(const DocumentRecord& record, OutputKind kind, const fs::path& target,
                        const SaveOptions& options) {
    // An absent result is refused rather than saved as an empty file under a document's name.
    const std::optional<std::span<const uint8_t>> bytes = resultBytes(record, kind);
    if (!bytes)
        return notRecovered();
    return writeRecordBytes(record, *bytes, target, options);
}

SaveOutcome writeRecordBytes(const DocumentRecord& record, std::span<const uint8_t> bytes,
                             const fs::path& target, const SaveOptions& options) {
    // Nothing is written, not even beside it, for a target that may not be written.
    SaveOutcome outcome = refusal(record, target, options);
    if (!outcome.error.empty())
        return outcome;
    WriteStatus written = WriteStatus::Ok;
    outcome.error = writeFileAtomic(target, bytes, options.overwrite, options.partials, &written);
    outcome.ok = outcome.error.empty();
    outcome.bytes = outcome.ok ? bytes.size() : 0;
    outcome.status = statusOf(written);
    return outcome;
}

SaveOutcome saveResult(const DocumentRecord& record, OutputKind kind, const fs::path& chosen) {
    return writeResult(record, kind, forceExtension(chosen, forcedExtension(record.format, kind)));
}

std::string copyOriginal(DocumentRecord& record, const fs::path& targetFolder) {
    const fs::path source = sourceOf(record);
    const fs::path target = targetFolder / record.fileName;
    std::error_code ec;
    fs::create_directories(targetFolder, ec);
    bool ok = fs::is_directory(targetFolder, ec) && fs::is_regular_file(source, ec);
    if (ok && sameFile(source, target))
        return {};  // the original is already there
    if (ok) {
        // Copied under a temporary name and renamed, so an existing file is replaced only by a
        // complete copy.
        std::string tmpl = (targetFolder / ("." + record.fileName + ".partial-XXXXXX")).string();
        const int fd = ::mkstemp(tmpl.data());
        ok = fd >= 0;
        if (ok) {
            ::close(fd);
            ok = fs::copy_file(source, tmpl, fs::copy_options::overwrite_existing, ec) &&
                 std::rename(tmpl.c_str(), target.c_str()) == 0;
            if (!ok)
                fs::remove(tmpl, ec);
        }
    }
    if (ok)
        return {};
    record.success = 0;
    return "Error in copy dbx";
}

}  // namespace morvel
