#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "doc/doc_context.h"
#include "platform/progress.h"
#include "platform/recovery_result.h"

namespace morvel {

// Result codes of RecoverDocFile; kRecoverDocWritten and kRecoverDocTextOnly give a document.
enum RecoverDocResult : int32_t {
    kRecoverDocWritten = 1,       // read and written by the Word 97 writer
    kRecoverDocTextOnly = 2,      // structure unreadable: the text written as a plain document
    kRecoverDocFailed = -1,       // too short, unsalvageable container, or unreadable document
    kRecoverDocException = -2,    // the reader threw
    kRecoverDocWriteFailed = -3,  // no document could be built from what was read
    kRecoverDocRtf = 50,          // an RTF file
    kRecoverDocNotWord97 = 52,    // Word 6.0/95 or older, or an unknown version
    kRecoverDocExcel = 53,        // an Excel workbook
    kRecoverDocSalvageThrew = 55  // the compound-file salvage threw
};

// Source name of RecoverDocFile's results (RecoveryResult::source).
inline constexpr const char* kRecoverDocSource = "doc";

// The usual message of a result code; a result may carry a more precise one.
const char* recoverDocMessage(int32_t code);

// What the reader found, for inspection.
struct RecoverDocFindings {
    int version = -1;      // the reader's FIB version (-1 when no reader ran)
    int tableStream = -1;  // 1 "1Table", 0 "0Table", -1 none
    bool fibRebuilt = false;
    size_t pieces = 0;
    uint32_t textBytes = 0;
    size_t chpRunsRead = 0, papRunsRead = 0, chpRunsKept = 0, papRunsKept = 0;
    size_t chpxPages = 0, papxPages = 0;
    size_t sections = 0, dataBlocks = 0, pictureRuns = 0, picturesDropped = 0;
    size_t pictureStore = 0;
    bool listsDropped = false;      // the list tables did not parse and were left out
    bool listNamesDropped = false;  // the list names alone did not parse
};

// Salvages a damaged Word binary document held in memory and builds a new one in `document`
// (left empty unless the result's code is kRecoverDocWritten or kRecoverDocTextOnly). Nothing
// is written to disk. The result's message says what became of the document, or why none was
// built.
RecoveryResult RecoverDocFile(std::span<const uint8_t> image, std::vector<uint8_t>& document,
                              ProgressIndicator* progress);

// The same with the caller's context (its statusCode tells what the reader found) and,
// when `findings` is given, what the reader saw.
RecoveryResult RecoverDocFile(std::span<const uint8_t> image, std::vector<uint8_t>& document,
                              DocContext& ctx, RecoverDocFindings* findings = nullptr);

// Everything RecoverDocFile does except writing: the result code it would return, with what
// the reader found.
int InspectDocFile(std::span<const uint8_t> image, DocContext& ctx, RecoverDocFindings& findings);

}  // namespace morvel
