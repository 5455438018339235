// Tokenizer, tag names, attributes and both rewrite rule sets over one arbitrary part; then
// the repair of the same bytes as a damaged part, whose output must be well-formed and must
// go through both rule sets whole.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "docx/markup_repair.h"
#include "docx/markup_rules.h"
#include "docx/markup_store.h"
#include "docx/markup_wellformed.h"

namespace {

using namespace morvel;

uint32_t runRules(ByteSpan part, size_t salt) {
    MarkUpStore store;
    store.Tokenize(part);
    TagAttributes attrs;
    for (uint32_t i = 0; i <= store.TokenCount(); ++i) {
        (void)store.GetTagName(i);
        (void)store.GapBefore(i);
        store.ParseAttributes(i, attrs);
    }
    const std::vector<ByteSpan> kept = {spanOf("rId1"), spanOf("")};
    MissingParts missing;
    missing.styles = salt % 2 == 0;
    missing.footnotes = salt % 3 == 0;
    std::vector<ByteSpan> segments;
    uint32_t status = applyFullDocumentRules(store, kept, missing, segments);
    segments.clear();
    status |= applyTextOnlyRules(store, segments);
    return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteSpan input(data, static_cast<uint32_t>(size));
    runRules(input, size);

    const PartRole role = size == 0 ? PartRole::Other : static_cast<PartRole>(data[0] % 10);
    const std::vector<uint8_t> repaired = repairMarkup(input, role);
    if (repaired.empty())
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(repaired.data()), repaired.size());
    const std::string fault = markupFault(text);
    if (!fault.empty()) {
        std::fprintf(stderr, "repaired part is not well-formed: %s\n", fault.c_str());
        std::abort();
    }
    // Well-formed output never stops the rules (nesting is kept under the bound).
    if (runRules(ByteSpan(repaired.data(), static_cast<uint32_t>(repaired.size())), size) != 0) {
        std::fprintf(stderr, "the rules stopped on a repaired part\n");
        std::abort();
    }
    // Repairing a repaired part changes nothing.
    if (repairMarkup(ByteSpan(repaired.data(), static_cast<uint32_t>(repaired.size())), role) !=
        repaired) {
        std::fprintf(stderr, "a second repair changed the part\n");
        std::abort();
    }
    return 0;
}
