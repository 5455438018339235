#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "core/document_record.h"
#include "core/output_names.h"
#include "platform/file_io.h"

namespace morvel {

// The chosen name with the result's extension forced onto its file name: everything after the
// last dot of the file name is replaced, or a dot and the extension are appended when the file
// name has no dot. Dots in folder names are left alone.
std::filesystem::path forceExtension(const std::filesystem::path& chosen,
                                     const std::string& extension);

// Which result the toolbar's save button writes for the preview tab in front:
// 0 full document, 1 filtered text, anything else raw text.
OutputKind outputKindForTab(int tab);

// What became of a save.
enum class SaveStatus {
    Saved,
    NotRecovered,     // the record holds no such result
    ProtectedTarget,  // the target is the original document or another protected file
    AlreadyExists,    // the target exists and replacing was not allowed
    WriteFailed       // the file could not be written or put in place
};

struct SaveOutcome {
    bool ok = false;
    SaveStatus status = SaveStatus::NotRecovered;
    std::filesystem::path written;  // the name actually written (extension forced)
    size_t bytes = 0;               // bytes written
    std::string error;              // why nothing was written
};

// How writeResult may write.
struct SaveOptions {
    bool overwrite = true;             // replace an existing file
    PartialFiles* partials = nullptr;  // the temporary name is listed here while it exists
    // Files never written over besides the record's own document (the other documents of a
    // batch, say).
    std::span<const std::filesystem::path> protectedFiles;
};

// Writes one result of a record to exactly `target`, atomically: a failure leaves no partial
// file, and the record's own document (or any protected file) is never written over. Text
// results leave out their terminating NUL. Every save of a result goes through here.
SaveOutcome writeResult(const DocumentRecord& record, OutputKind kind,
                        const std::filesystem::path& target, const SaveOptions& options = {});

// Writes bytes a recovery of the record made besides its three results (its plain text) to
// exactly `target`, with the same guarantees: atomic, never over the record's own document
// or a protected file.
SaveOutcome writeRecordBytes(const DocumentRecord& record, std::span<const uint8_t> bytes,
                             const std::filesystem::path& target, const SaveOptions& options = {});

// One result of a record written and flushed under a temporary name beside its target, not
// yet in place: the slow half of writeResult, which a batch's workers do while the first
// thread puts the results in place in input order.
struct StagedResult {
    bool present = false;  // the record held this result (else nothing was written)
    StagedFile file;
    size_t bytes = 0;   // bytes written
    std::string error;  // why nothing was written
    WriteStatus status = WriteStatus::Ok;
};

// Writes one result of a record beside `target` (text results without their terminating NUL)
// and flushes it; the target itself is neither looked at nor touched. Without `flushNow` the
// file is only written, and flushStaged (or placeResult) puts it on the disk later: a caller
// with several results writes them all first, so their folder is written out once.
StagedResult stageResult(const DocumentRecord& record, OutputKind kind,
                         const std::filesystem::path& target, PartialFiles* partials = nullptr,
                         bool flushNow = true);
// Flushes a result staged without flushing; a failure becomes the result's error.
void flushStaged(StagedResult& staged);

// Puts a staged result at `target` (in the folder it was staged for) with writeResult's checks:
// a protected target or the record's own document is refused and the staged file removed.
SaveOutcome placeResult(const DocumentRecord& record, StagedResult& staged,
                        const std::filesystem::path& target, const SaveOptions& options = {});

// Writes one result of a record under the chosen name with its extension forced, replacing an
// existing file except the source document itself, which is refused (writeResult).
SaveOutcome saveResult(const DocumentRecord& record, OutputKind kind,
                       const std::filesystem::path& chosen);

// Copies the record's original file into targetFolder (created with every missing level),
// replacing a file of the same name. On failure the error text is "Error in copy dbx" and the
// record's success becomes 0. Returns an empty string on success.
std::string copyOriginal(DocumentRecord& record, const std::filesystem::path& targetFolder);

}  // namespace morvel
