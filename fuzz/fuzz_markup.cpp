// Tokenizer, tag names, attributes and both rewrite rule sets over one arbitrary part.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "docx/markup_rules.h"
#include "docx/markup_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace morvel;
    MarkUpStore store;
    store.Tokenize(ByteSpan(data, static_cast<uint32_t>(size)));
    TagAttributes attrs;
    for (uint32_t i = 0; i <= store.TokenCount(); ++i) {
        (void)store.GetTagName(i);
        (void)store.GapBefore(i);
        store.ParseAttributes(i, attrs);
    }
    const std::vector<ByteSpan> kept = {spanOf("rId1"), spanOf("")};
    MissingParts missing;
    missing.styles = size % 2 == 0;
    missing.footnotes = size % 3 == 0;
    std::vector<ByteSpan> segments;
    applyFullDocumentRules(store, kept, missing, segments);
    segments.clear();
    applyTextOnlyRules(store, segments);
    return 0;
}
