#pragma once

#include "core/document_record.h"
#include "core/recovery_environment.h"

namespace morvel {

// Step 1 of a .doc recovery: texts that survive any damage to the file's structure.
// Both read record.fileData and honour record.stopEvent between their five progress steps.

// Every printable 7-bit byte of the file, line ends normalised to CR LF, NUL-terminated.
void ExtractRawText(DocumentRecord& record, const RecoveryEnvironment& env);

// Only the long runs of text that look like body text (8-bit or UTF-16LE Latin text).
// The result equals what rescanning the file with thresholds 3959, 3958, ... 3 would collect
// at the first threshold that collects anything, but is found in a single pass.
void ExtractFilteredText(DocumentRecord& record, const RecoveryEnvironment& env);

}  // namespace morvel
