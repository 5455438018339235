#include "cli/json_text.h"

#include <cstdio>

namespace morvel::cli {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not valid.
size_t utf8Length(std::string_view s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char buf[8];
        switch (c) {
            case '"':
                out += "\\\"";
                continue;
            case '\\':
                out += "\\\\";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        if (c < 0x20) {
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (size_t n = utf8Length(text, i)) {
            out.append(text.substr(i, n));
            i += n - 1;
        } else {
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        }
    }
    out += '"';
    return out;
}

}  // namespace morvel::cli
