#include "core/text_conversion.h"

#include "convert/html_text.h"
#include "convert/mhtml_text.h"
#include "convert/rtf_text.h"
#include "convert/text_builder.h"
#include "convert/xml_text.h"

namespace morvel {

namespace {

// Word's paragraph mark in a document's text.
constexpr uint16_t kWordParagraphMark = 0x000D;

void appendUnit(std::vector<uint8_t>& out, uint16_t unit) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
}

// The code point of the UTF-8 sequence at `i` (advanced past it); the converters give valid
// UTF-8 only, so a malformed byte is read as U+FFFD and skipped.
uint32_t nextCodePoint(std::string_view s, size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (n == 0 || s.size() - i < n) {
        ++i;
        return 0xFFFD;
    }
    uint32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k)
        cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += n;
    return cp;
}

}  // namespace

bool ConvertDocumentText(ContentFormat format, std::span<const uint8_t> bytes, std::string& text) {
    text.clear();
    switch (format) {
        case ContentFormat::Rtf:
            text = rtfText(bytes);
            return true;
        case ContentFormat::Html:
            text = looksLikeMime(bytes) ? mhtmlText(bytes) : htmlText(bytes);
            return true;
        case ContentFormat::WordXml2003:
            text = wordXmlText(bytes);
            return true;
        case ContentFormat::FlatOpc:
            text = flatOpcText(bytes);
            return true;
        case ContentFormat::OtherXml:
            text = xmlCharacterData(bytes);
            return true;
        default:
            return false;
    }
}

std::vector<uint8_t> wordTextOf(std::string_view converted) {
    std::vector<uint8_t> out;
    out.reserve(converted.size() * 2);
    for (size_t i = 0; i < converted.size();) {
        const uint32_t cp = nextCodePoint(converted, i);
        if (cp == static_cast<unsigned char>(kParagraphEnd)) {
            appendUnit(out, kWordParagraphMark);
        } else if (cp >= 0x10000) {
            const uint32_t v = cp - 0x10000;
            appendUnit(out, static_cast<uint16_t>(0xD800 + (v >> 10)));
            appendUnit(out, static_cast<uint16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            appendUnit(out, static_cast<uint16_t>(cp));
        }
    }
    return out;
}

}  // namespace morvel
