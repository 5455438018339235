#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "doc/doc_context.h"
#include "platform/progress.h"

namespace morvel {

// Result codes of RecoverDocFile; kRecoverDocWritten and kRecoverDocTextOnly leave a document.
enum RecoverDocResult : int32_t {
    kRecoverDocWritten = 1,       // read and written by the Word 97 writer
    kRecoverDocTextOnly = 2,      // structure unreadable: the text written as a plain document
    kRecoverDocFailed = -1,       // too short, unsalvageable container, or unreadable document
    kRecoverDocException = -2,    // the reader threw
    kRecoverDocRtf = 50,          // an RTF file
    kRecoverDocNotWord97 = 52,    // Word 6.0/95 or older, or an unknown version
    kRecoverDocExcel = 53,        // an Excel workbook
    kRecoverDocSalvageThrew = 55  // the compound-file salvage threw
};

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
};

// Salvages a damaged Word binary document held in memory and writes a new one to outputPath.
int RecoverDocFile(std::span<const uint8_t> image, const std::filesystem::path& outputPath,
                   ProgressIndicator* progress);

// The same with the caller's context (its statusCode tells what the reader found) and,
// when `findings` is given, what the reader saw.
int RecoverDocFile(std::span<const uint8_t> image, const std::filesystem::path& outputPath,
                   DocContext& ctx, RecoverDocFindings* findings = nullptr);

// Everything RecoverDocFile does except writing: the result code it would return, with what
// the reader found.
int InspectDocFile(std::span<const uint8_t> image, DocContext& ctx, RecoverDocFindings& findings);

}  // namespace morvel
