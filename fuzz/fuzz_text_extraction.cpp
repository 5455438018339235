// Raw and filtered text extraction on arbitrary bytes; every raw scan path is checked against the
// others and against the byte-at-a-time rules, and a sample of small inputs against the slow
// rescanning algorithm of the filtered text, so any difference aborts.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/raw_text_scan.h"
#include "core/text_extraction.h"
#include "tests/support/filtered_text_reference.h"

namespace {

// The byte-at-a-time raw text is linear, but builds its output byte by byte.
constexpr size_t kRawReferenceMaxSize = 64 * 1024;
// The rescanning reference makes one pass per threshold, almost 4,000 of them, so it costs
// about a second per input under the sanitizers: it sees inputs up to this size, and of those
// one in kFilteredReferenceSample, picked by the input's hash so that a finding reproduces.
constexpr size_t kFilteredReferenceMaxSize = 600;
constexpr uint32_t kFilteredReferenceSample = 32;

uint32_t fnv1a(const uint8_t* data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

}  // namespace

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
    if (size <= kRawReferenceMaxSize && *rec.rawText != morvel::test::rawTextReference(bytes))
        std::abort();
    if (size <= kFilteredReferenceMaxSize && fnv1a(data, size) % kFilteredReferenceSample == 0 &&
        *rec.filteredData != morvel::test::filteredTextByRescanning(bytes))
        std::abort();
    return 0;
}
