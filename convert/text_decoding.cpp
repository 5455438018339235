#include "convert/text_decoding.h"

#include "platform/code_pages.h"
#include "platform/utf8.h"

namespace morvel {

namespace {

// The length of the valid UTF-8 sequence at `at`, or 0 when the bytes there are not one.
size_t utf8SequenceAt(std::span<const uint8_t> b, size_t at) {
    const uint8_t c = b[at];
    size_t n = 0;
    uint32_t min = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (b.size() - at < n)
        return 0;
    uint32_t cp = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        if ((b[at + k] & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (b[at + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

std::string utf16beToUtf8(std::span<const uint8_t> bytes) {
    std::string swapped;
    swapped.reserve(bytes.size());
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        swapped += static_cast<char>(bytes[i + 1]);
        swapped += static_cast<char>(bytes[i]);
    }
    return utf16leToUtf8(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(swapped.data()), swapped.size()));
}

bool startsWith(std::span<const uint8_t> b, std::initializer_list<uint8_t> mark) {
    if (b.size() < mark.size())
        return false;
    size_t i = 0;
    for (uint8_t m : mark)
        if (b[i++] != m)
            return false;
    return true;
}

}  // namespace

bool hasUtf16Mark(std::span<const uint8_t> bytes) {
    return startsWith(bytes, {0xFF, 0xFE}) || startsWith(bytes, {0xFE, 0xFF});
}

std::string decodeText(std::span<const uint8_t> bytes, uint32_t codePage) {
    if (startsWith(bytes, {0xFF, 0xFE}))
        return utf16leToUtf8(bytes.subspan(2));
    if (startsWith(bytes, {0xFE, 0xFF}))
        return utf16beToUtf8(bytes.subspan(2));
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF})) {
        bytes = bytes.subspan(3);
        codePage = kUtf8CodePage;
    }
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t c = bytes[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t n = codePage == kUtf8CodePage ? utf8SequenceAt(bytes, i) : 0;
        if (n > 0) {
            out.append(reinterpret_cast<const char*>(bytes.data() + i), n);
            i += n;
            continue;
        }
        appendUtf8(out,
                   codePageCharacter(codePage == kUtf8CodePage ? kDefaultCodePage : codePage, c));
        ++i;
    }
    return out;
}

bool looksLikeUtf8(std::span<const uint8_t> bytes) {
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF}))
        return true;
    bool high = false;
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = utf8SequenceAt(bytes, i);
        if (n == 0) {
            // A sequence cut by the end of a damaged file does not make the rest 8-bit text.
            return high && bytes.size() - i < 4;
        }
        high |= n > 1;
        i += n;
    }
    return high;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string attributeValue(std::string_view text, std::string_view attribute, size_t from) {
    const std::string lower = asciiLower(text);
    const std::string name = asciiLower(attribute);
    for (size_t at = lower.find(name, from); at != std::string::npos;
         at = lower.find(name, at + 1)) {
        // The name must stand alone: not the end of a longer name.
        if (at > 0) {
            const char before = lower[at - 1];
            if ((before >= 'a' && before <= 'z') || before == '-' || before == '_' || before == ':')
                continue;
        }
        size_t i = at + name.size();
        while (i < lower.size() && (lower[i] == ' ' || lower[i] == '\t'))
            ++i;
        if (i >= lower.size() || lower[i] != '=')
            continue;
        ++i;
        while (i < lower.size() && (lower[i] == ' ' || lower[i] == '\t'))
            ++i;
        if (i >= text.size())
            return {};
        if (text[i] == '"' || text[i] == '\'') {
            const size_t end = text.find(text[i], i + 1);
            if (end == std::string::npos)
                return {};
            return std::string(text.substr(i + 1, end - i - 1));
        }
        size_t end = i;
        while (end < text.size() && text[end] != ' ' && text[end] != ';' && text[end] != '>' &&
               text[end] != '"' && text[end] != '\'' && text[end] != '\r' && text[end] != '\n' &&
               text[end] != '/')
            ++end;
        return std::string(text.substr(i, end - i));
    }
    return {};
}

}  // namespace morvel
