#pragma once

#include <cstddef>
#include <string_view>

namespace morvel {

// The index of the '>' that closes a markup tag whose text continues at `from`, or npos.
// A '>' inside a quoted attribute value does not close the tag.
inline size_t findTagEnd(std::string_view text, size_t from) {
    char quote = 0;
    for (size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

}  // namespace morvel
