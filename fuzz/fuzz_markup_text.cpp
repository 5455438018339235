// The HTML, web archive and XML text readers over arbitrary bytes, each reader on every input:
// the text must be valid UTF-8 holding no control character besides the paragraph, line break
// and tab marks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "convert/html_text.h"
#include "convert/mhtml_text.h"
#include "convert/text_builder.h"
#include "convert/xml_text.h"
#include "core/text_conversion.h"
#include "platform/utf8.h"

namespace {

using namespace morvel;

void check(const char* reader, const std::string& text) {
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && c != kParagraphEnd && c != kLineBreak && c != kTab) {
            std::fprintf(stderr, "%s: control character 0x%02X in the text\n", reader, b);
            std::abort();
        }
    }
    const std::vector<uint8_t> units = wordTextOf(text);
    std::string back = utf16leToUtf8(units);
    for (char& c : back)
        if (c == '\r')
            c = kParagraphEnd;
    if (back != text) {
        std::fprintf(stderr, "%s: the text is not valid UTF-8\n", reader);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> in(data, size);
    check("html", htmlText(in));
    check("html 1251", htmlText(in, 1251));
    check("mhtml", mhtmlText(in));
    check("word xml", wordXmlText(in));
    check("flat opc", flatOpcText(in));
    check("xml", xmlCharacterData(in));
    return 0;
}
