#pragma once

#include "core/document_record.h"
#include "core/recovery_environment.h"

namespace morvel {

// Names of the temporary results in the working folder (the .doc writer's; .docx packages are
// built in memory) and of the template store.
inline constexpr const char* kTempFullName = "temp";
inline constexpr const char* kTempTextName = "temp1";
inline constexpr const char* kTemplateStoreName = "temp.dat";

// Runs the whole recovery of one record on the calling thread. The outcome is left in the
// record: success, resultsReady, fullFailed, the result buffers and, for a .docx, the report.
// Both .docx packages come from one engine over one salvage of the record's file image.
void RecoverDocument(DocumentRecord& record, const RecoveryEnvironment& env);

// The steps, exposed for tests and for callers that run one of them alone.
void RecoverFullDocumentDoc(DocumentRecord& record, const RecoveryEnvironment& env);
void RecoverTextDocx(DocumentRecord& record, const RecoveryEnvironment& env);
void RecoverFullDocx(DocumentRecord& record, const RecoveryEnvironment& env);

}  // namespace morvel
