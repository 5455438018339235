#include "core/text_extraction.h"

#include <algorithm>
#include <span>
#include <vector>

#include "core/filtered_text_scan.h"
#include "core/raw_text_scan.h"

namespace morvel {

namespace {

// The five cancellation points of a step: each looks at the stop event and otherwise moves the
// progress bar on by one. Returns false when the run was cancelled.
bool passCancellationPoints(DocumentRecord& record, const RecoveryEnvironment& env) {
    for (int k = 0; k < 5; ++k) {
        if (record.stopEvent && record.stopEvent->isSet())
            return false;
        if (env.progress)
            env.progress->stepIt();
    }
    return true;
}

// Ends a step whose result is already stored: a cancelled run keeps the text but fails.
void finishStep(DocumentRecord& record, const RecoveryEnvironment& env) {
    if (passCancellationPoints(record, env))
        record.resultsReady = 1;
    else
        record.success = 0;
}

std::span<const uint8_t> imageOf(const DocumentRecord& record) {
    if (!record.fileData)
        return {};
    return std::span<const uint8_t>(record.fileData->data(),
                                    std::min<size_t>(record.fileSize, record.fileData->size()));
}

}  // namespace

void ExtractRawText(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        if (env.progress) {
            env.progress->setRange(0, 10);
            env.progress->setStep(1);
        }
        std::vector<uint8_t> out = BuildRawText(imageOf(record));
        record.rawTextLength = static_cast<uint32_t>(out.size());
        record.rawText = std::move(out);

        finishStep(record, env);
    } catch (...) {
        record.success = 0;
    }
}

void ExtractFilteredText(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        std::vector<uint8_t> out = BuildFilteredText(imageOf(record));
        record.filteredLength = static_cast<uint32_t>(out.size());
        record.filteredData = std::move(out);

        finishStep(record, env);
    } catch (...) {
        record.success = 0;
    }
}

}  // namespace morvel
