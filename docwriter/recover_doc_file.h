#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/progress.h"

namespace morvel {

// Result codes of RecoverDocFile; only kRecoverDocWritten means a recovered full document.
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

// Salvages a damaged Word binary document held in memory and writes a new one to outputPath.
// (Placeholder until the Word 97 reader and writer land: it always fails.)
int RecoverDocFile(std::span<const uint8_t> image, const std::filesystem::path& outputPath,
                   ProgressIndicator* progress);

}  // namespace morvel
