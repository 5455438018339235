// The RTF text reader over arbitrary bytes: the text must be valid UTF-8 holding no control
// character besides the paragraph, line break and tab marks, and must go into a plain Word
// document's text whole.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "convert/rtf_text.h"
#include "convert/text_builder.h"
#include "core/text_conversion.h"
#include "platform/utf8.h"

namespace {

using namespace morvel;

void check(const std::string& text) {
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && c != kParagraphEnd && c != kLineBreak && c != kTab) {
            std::fprintf(stderr, "control character 0x%02X in the text\n", b);
            std::abort();
        }
    }
    // Valid UTF-8 reads back into UTF-16 and out again unchanged.
    const std::vector<uint8_t> units = wordTextOf(text);
    std::string back = utf16leToUtf8(units);
    for (char& c : back)
        if (c == '\r')
            c = kParagraphEnd;
    if (back != text) {
        std::fprintf(stderr, "the text is not valid UTF-8\n");
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check(rtfText(std::span<const uint8_t>(data, size)));
    return 0;
}
