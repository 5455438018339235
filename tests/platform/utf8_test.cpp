#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <vector>

namespace morvel {
namespace {

TEST(Utf8, EncodesEveryLengthAndReplacesWhatHasNoForm) {
    struct Case {
        uint32_t codePoint;
        std::string utf8;
    } cases[] = {
        {0x41, "A"},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0xE9, "\xC3\xA9"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0x20AC, "\xE2\x82\xAC"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0xD800, "\xEF\xBF\xBD"},  // a surrogate on its own
        {0xDFFF, "\xEF\xBF\xBD"},
        {0x110000, "\xEF\xBF\xBD"},  // beyond Unicode
        {0xFFFFFFFF, "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        std::string out = "x";
        appendUtf8(out, c.codePoint);
        EXPECT_EQ(out, "x" + c.utf8) << std::hex << c.codePoint;
    }
}

TEST(Utf8, JoinsSurrogatePairsOfUtf16Text) {
    struct Case {
        const char* name;
        std::vector<uint8_t> utf16le;
        std::string utf8;
    } cases[] = {
        {"plain", {'a', 0, 0xE9, 0, 0xAC, 0x20}, "a\xC3\xA9\xE2\x82\xAC"},
        {"pair", {0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},
        {"lone high then text",
         {0x3D, 0xD8, 'b', 0},
         "\xEF\xBF\xBD"
         "b"},
        {"lone high at the end", {'a', 0, 0x3D, 0xD8}, "a\xEF\xBF\xBD"},
        {"lone low",
         {0x00, 0xDE, 'c', 0},
         "\xEF\xBF\xBD"
         "c"},
        {"odd last byte", {'a', 0, 'b'}, "a"},
        {"empty", {}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(utf16leToUtf8(c.utf16le), c.utf8) << c.name;
}

}  // namespace
}  // namespace morvel
