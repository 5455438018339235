#include "core/document_record.h"

namespace morvel {

void ResetRecord(DocumentRecord& record) {
    record.fileData.reset();
    record.fileDataContent.reset();
    record.rawText.reset();
    record.filteredData.reset();
    record.fullData.reset();
    record.imageRepair.reset();
    record.docxReport.reset();
    record.findings.clear();
    record.fullResult = {};
    record.content.reset();
    record.rawTextLength = 0;
    record.filteredLength = 0;
    record.fullLength = 0;
    record.resultsReady = 0;
    record.recoveryState = kNeverRecovered;
    record.success = 0;
}

}  // namespace morvel
