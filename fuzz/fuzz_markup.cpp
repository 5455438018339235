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

// The name and kind of a token read from its bytes: what the tokenizer keeps must agree.
void checkNameAndKind(const MarkUpStore& store, uint32_t index) {
    const ByteSpan t = store.Token(index);
    uint32_t end = 1;
    if (t.length > 2) {
        end = t.data[1] == '/' ? 2 : 1;
        while (end < t.length && t.data[end] != ' ' && t.data[end] != '>' && t.data[end] != '/')
            ++end;
    }
    const std::string_view name = t.length > 2 ? t.view().substr(1, end - 1) : std::string_view();
    const TagKind kind = t.length >= 2 && t.data[1] == '/'              ? TagKind::Closing
                         : t.length >= 2 && t.data[t.length - 2] == '/' ? TagKind::SelfClosing
                                                                        : TagKind::Opening;
    if (store.GetTagName(index).view() != name || store.Kind(index) != kind) {
        std::fprintf(stderr, "token %u: kept name or kind differs from its bytes\n", index);
        std::abort();
    }
}

uint32_t runRules(ByteSpan part, size_t salt) {
    MarkUpStore store;
    store.Tokenize(part);
    TagAttributes attrs;
    for (uint32_t i = 0; i <= store.TokenCount(); ++i) {
        checkNameAndKind(store, i);
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
