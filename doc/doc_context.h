#pragma once

#include <cstdint>

#include "doc/doc_findings.h"
#include "platform/progress.h"

namespace morvel {

// Values of DocContext::statusCode.
inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusSalvageFailed = 3000;  // the compound file could not be salvaged
inline constexpr int32_t kStatusTextOnly = 501;        // no usable tables: write the text alone

// The state one .doc recovery shares between the compound-file salvage, the Word reader and
// the writers. One object per document, so two documents can be recovered at once.
struct DocContext {
    int32_t statusCode = kStatusOk;
    uint32_t imageSize = 0;                 // bytes of the file image being salvaged
    uint32_t textLength = 0;                // byte length of the UTF-16 text in the reader's buffer
    bool textIs16Bit = false;               // the document text is stored as UTF-16
    int progressRange = 0;                  // top of the progress range set by the reader
    ProgressIndicator* progress = nullptr;  // may be null
    DocFindings findings;                   // what the salvage and the reader found
};

}  // namespace morvel
