#include "docx/left_open_elements.h"

#include <cstdint>

#include "docx/markup_store.h"
#include "docx/span_match.h"

namespace morvel {

std::string closingTagsFor(const std::vector<ByteSpan>& segments) {
    // Sized once: a part is tens of megabytes in many small pieces, and growing the buffer
    // piece by piece would copy it over and over.
    uint64_t total = 0;
    for (ByteSpan s : segments)
        if (!s.absent())
            total += s.length;
    std::vector<uint8_t> joined;
    joined.reserve(total);
    for (ByteSpan s : segments)
        if (!s.absent())
            joined.insert(joined.end(), s.begin(), s.end());
    MarkUpStore store;
    store.Tokenize(ByteSpan(joined.data(), static_cast<uint32_t>(joined.size())));
    std::vector<ByteSpan> open;
    for (uint32_t i = 0; i < store.TokenCount(); ++i) {
        const ByteSpan name = store.GetTagName(i);
        // Declarations, processing instructions and comments open nothing.
        if (name.length == 0 || StartsWith(name, "?") || StartsWith(name, "!"))
            continue;
        const TagKind kind = store.Kind(i);
        if (kind == TagKind::Opening) {
            open.push_back(name);
        } else if (kind == TagKind::Closing) {
            const ByteSpan bare(name.data + 1, name.length - 1);
            // Close up to the matching element; a stray closing tag closes nothing.
            for (size_t k = open.size(); k > 0; --k)
                if (Equals(open[k - 1], bare)) {
                    open.resize(k - 1);
                    break;
                }
        }
    }
    std::string tags;
    for (size_t k = open.size(); k > 0; --k)
        tags += "</" + std::string(open[k - 1].view()) + ">";
    return tags;
}

}  // namespace morvel
