#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/content_format.h"
#include "docx/part_report.h"
#include "platform/finding_grade.h"
#include "platform/manual_reset_event.h"
#include "platform/recovery_result.h"

namespace morvel {

// Values of DocumentRecord::format.
enum DocumentFormat : uint16_t { kFormatUnknown = 0, kFormatDoc = 1, kFormatDocx = 2 };

// Values of DocumentRecord::category.
enum DocumentCategory : uint16_t {
    kCategoryOrdinary = 0,
    kCategoryTemplates = 2,
    kCategoryTilde = 3
};

// Values of DocumentRecord::recoveryState.
enum RecoveryState : uint32_t { kNeverRecovered = 0, kRecoveredNoFull = 1, kRecoveredWithFull = 2 };

// What the .docx engine made of a document: the parts of the full package (of the text-only
// one when no full package was built) and each package's status code and message.
struct DocxRecoveryReport {
    PackageReport package;
    bool textRan = false, fullRan = false;
    uint32_t textStatus = 0, fullStatus = 0;
    std::string textMessage, fullMessage;
};

// A repair of the file's own bytes made before the engine read them (the file itself is never
// changed): a stable code for scripts and a one-line message.
struct ImageRepair {
    std::string code;
    std::string message;
};

// One document the user can recover, with its file image and its three results.
// A buffer that is absent (std::nullopt) has never been produced; its length field is then
// meaningless. Text buffers keep their terminating NUL, which the length counts.
struct DocumentRecord {
    std::string fileName;              // name without folder, as listed
    std::string folder;                // folder holding the file, no trailing separator
    std::string fullPath;              // folder + "/" + fileName, rebuilt at every run
    uint16_t format = kFormatUnknown;  // by the name when listed; by the bytes once recovered
    uint16_t category = kCategoryOrdinary;

    std::optional<std::vector<uint8_t>> fileData;
    std::optional<std::vector<uint8_t>> rawText;
    std::optional<std::vector<uint8_t>> filteredData;
    std::optional<std::vector<uint8_t>> fullData;

    uint32_t rawTextLength = 0;
    uint32_t filteredLength = 0;
    uint32_t fullLength = 0;
    uint32_t fileSize = 0;
    uint32_t resultsReady = 0;
    uint32_t recoveryState = kNeverRecovered;
    uint8_t fullFailed = 0;
    uint8_t removed = 0;
    uint32_t success = 0;

    // What the file's bytes were found to be at the last recovery; absent before the first.
    std::optional<ContentFormat> content;
    // What fileData's bytes are, when the caller sniffed them before handing them on (a batch
    // names its results first); the recovery then does not sniff the same bytes again. Goes
    // with fileData: whatever replaces or drops the bytes drops it.
    std::optional<ContentFormat> fileDataContent;

    // Set when the bytes the engine read were repaired first; fileData then holds them.
    std::optional<ImageRepair> imageRepair;

    // Set by a .docx recovery.
    std::optional<DocxRecoveryReport> docxReport;

    // What the salvage of either format found that was refused or fatal, in its order.
    std::vector<GradedFinding> findings;

    // What the full document's step came to: the engine's result code and message, or the
    // stage that failed before it (reading the file). Unset before a recovery.
    RecoveryResult fullResult;

    // The store's stop event, lent for one run; not owned.
    const ManualResetEvent* stopEvent = nullptr;
};

// Frees the four buffers, the image repair, the .docx report and the full result and clears the
// result fields (the content kind too); names, format, category, fileSize, fullFailed and removed
// stay.
void ResetRecord(DocumentRecord& record);

}  // namespace morvel
