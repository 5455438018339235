#include "cli/json_text.h"

#include <cstdio>

namespace morvel::cli {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not valid: overlong
// forms, UTF-16 surrogates and values past U+10FFFF are not.
size_t utf8Length(std::string_view s, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = at(0);
    const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((at(k) & 0xC0) != 0x80)
            return 0;
    // The second byte's range where the first allows less than 0x80..0xBF.
    if ((c == 0xE0 && at(1) < 0xA0) || (c == 0xED && at(1) > 0x9F) || (c == 0xF0 && at(1) < 0x90) ||
        (c == 0xF4 && at(1) > 0x8F))
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

bool isValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80)
            continue;
        const size_t n = utf8Length(bytes, i);
        if (n == 0)
            return false;
        i += n - 1;
    }
    return true;
}

std::string replaceInvalidUtf8(std::string_view bytes) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            out += bytes[i];
        } else if (const size_t n = utf8Length(bytes, i)) {
            out.append(bytes.substr(i, n));
            i += n - 1;
        } else {
            out.append(kReplacement);
        }
    }
    return out;
}

std::string hexOfBytes(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::string jsonPathMembers(std::string_view name, std::string_view path) {
    std::string out = jsonString(name) + ":" + jsonString(replaceInvalidUtf8(path));
    if (!isValidUtf8(path))
        out += "," + jsonString(std::string(name) + "_bytes") + ":\"" + hexOfBytes(path) + "\"";
    return out;
}

}  // namespace morvel::cli
