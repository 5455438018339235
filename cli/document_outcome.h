#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "core/content_route.h"
#include "core/document_record.h"

namespace morvel::cli {

// One result file of a document.
struct WrittenOutput {
    const char* kind;  // "full", "filtered", "text" or "raw"
    std::filesystem::path path;
    size_t bytes;
    bool existing = false;  // --skip-existing: left as an earlier run wrote it
};

// Why a document got no full document.
struct Reason {
    std::string code;  // stable, for scripts
    std::string message;
};

// What became of one document in a recover run.
struct DocumentOutcome {
    std::filesystem::path input;
    uint16_t format = kFormatUnknown;            // of the results: the bytes decide it
    std::optional<ContentFormat> content;        // what the bytes were found to be
    std::optional<ContentReason> contentReason;  // why, when what the file is settles it
    bool success = false;
    bool fullFailed = false;
    bool skipped = false;                // --skip-existing found all its results
    std::vector<WrittenOutput> written;  // or, when skipped, the results already there
    std::vector<std::string> errors;
    std::vector<GradedFinding> findings;  // the salvage's refused and fatal findings
    std::optional<DocxRecoveryReport> docx;
    // Set when the file's bytes were repaired before recovery.
    std::optional<ImageRepair> repair;
    RecoveryResult result;   // what the full document's step came to
    bool fullBuilt = false;  // the step built a full document (written or not)
    Reason reason;           // set when no full document was written
    double seconds = 0;
    int exitCode = kExitSomeFailed;
};

// "recovered", "text only", "failed" or "skipped".
const char* verdictOf(const DocumentOutcome& o);

}  // namespace morvel::cli
