#pragma once

#include "core/document_record.h"
#include "core/recovery_environment.h"

namespace morvel {

// Names of the temporary results that earlier versions left in the working folder (a store
// still removes them from a folder it does not own; recoveries now build every result in
// memory) and of the template store.
inline constexpr const char* kTempFullName = "temp";
inline constexpr const char* kTempTextName = "temp1";
inline constexpr const char* kTemplateStoreName = "temp.dat";

// RecoveryResult::source of the .docx engine's status codes and of a failed read of the input
// (its code a ReadStatus).
inline constexpr const char* kDocxSource = "docx";
inline constexpr const char* kReadSource = "read";

// Runs the whole recovery of one record on the calling thread, in memory: the input file is
// read once and nothing is written. The outcome is left in the record: success, resultsReady,
// fullFailed, the result buffers, the full document's result and, for a .docx, the report.
// Both .docx packages come from one engine over one salvage of the record's file image.
void RecoverDocument(DocumentRecord& record, const RecoveryEnvironment& env);

// The steps, exposed for tests and for callers that run one of them alone.
void RecoverFullDocumentDoc(DocumentRecord& record, const RecoveryEnvironment& env);
void RecoverTextDocx(DocumentRecord& record, const RecoveryEnvironment& env);
void RecoverFullDocx(DocumentRecord& record, const RecoveryEnvironment& env);

}  // namespace morvel
