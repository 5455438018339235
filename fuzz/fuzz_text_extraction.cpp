// Raw and filtered text extraction on arbitrary bytes; small inputs are also checked against the
// slow rescanning algorithms, and every raw scan path against the others, so any difference
// aborts.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/raw_text_scan.h"
#include "core/text_extraction.h"
#include "tests/support/filtered_text_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    morvel::DocumentRecord rec;
    rec.fileData = bytes;
    rec.fileSize = static_cast<uint32_t>(size);
    morvel::RecoveryEnvironment env;
    morvel::ExtractRawText(rec, env);
    morvel::ExtractFilteredText(rec, env);
    if (!rec.rawText || !rec.filteredData || rec.success != 1)
        std::abort();
    if (rec.rawText->size() != rec.rawTextLength || rec.rawText->back() != 0)
        std::abort();
    for (auto path : {morvel::RawScanPath::Portable, morvel::RawScanPath::Ssse3})
        if (morvel::rawScanPathAvailable(path) && morvel::BuildRawText(bytes, path) != *rec.rawText)
            std::abort();
    if (size <= 600) {  // the reference rescans thousands of times
        if (*rec.rawText != morvel::test::rawTextReference(bytes))
            std::abort();
        if (*rec.filteredData != morvel::test::filteredTextByRescanning(bytes))
            std::abort();
    }
    return 0;
}
