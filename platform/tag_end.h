#pragma once

#include <cstddef>
#include <string_view>

namespace morvel {

// The index of the '>' that closes a markup tag whose text continues at `from`, or npos.
// A '>' inside a quoted attribute value does not close the tag, as XML allows a raw '>'
// there. A quote left open by damage must not swallow the rest of the part: a quoted run that
// meets a '<' (never legal in a value) or the end of the text is broken, and the tag then
// ends at the first '>' after that quote opened, or, with none there, the quote is ignored
// and the walk goes on as outside quotes.
inline size_t findTagEnd(std::string_view text, size_t from) {
    constexpr size_t npos = std::string_view::npos;
    char quote = 0;
    size_t quotedEnd = npos;  // first '>' inside the open quote
    for (size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else if (c == '>') {
                if (quotedEnd == npos)
                    quotedEnd = i;
            } else if (c == '<') {
                if (quotedEnd != npos)
                    return quotedEnd;
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            quotedEnd = npos;
        } else if (c == '>') {
            return i;
        }
    }
    return quote ? quotedEnd : npos;
}

}  // namespace morvel
