#pragma once

#include "core/document_record.h"

namespace morvel {

// The code of the repair below, for scripts.
inline constexpr const char* kLineEndRepairCode = "line-end-conversion-undone";

// Undoes a text-mode transfer's line-end conversion of the record's file image before an
// engine reads it: a compound file or a ZIP package whose structure the conversion broke and
// whose restored bytes validate. The image is replaced by the restored bytes (the file on
// disk is never touched) and the repair noted in record.imageRepair; true when that happened.
bool UndoLineEndConversion(DocumentRecord& record);

}  // namespace morvel
