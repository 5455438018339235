#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "doc/word_text_marks.h"

namespace morvel {
namespace {

std::vector<uint16_t> units(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(WordTextMarks, KeepsFieldResultsAndPlainMarks) {
    struct Case {
        const char* name;
        std::string in, out;
    } cases[] = {
        {"plain marks stay",
         "a\tb\x0B"
         "c\x0C"
         "d\x1E"
         "e\x1F"
         "f\r",
         "a\tb\x0B"
         "c\x0C"
         "d\x1E"
         "e\x1F"
         "f\r"},
        {"field result kept", "x\x13 DATE \x14today\x15y", "xtodayy"},
        {"field without result", "x\x13 TOC \x15y", "xy"},
        {"nested instruction",
         "a\x13 IF \x13 PAGE \x14"
         "1\x15 = 1 \x14yes\x15z",
         "ayesz"},
        {"nested result",
         "a\x13 HYPERLINK \x14go \x13 PAGE \x14"
         "2\x15 now\x15z",
         "ago 2 nowz"},
        {"unclosed field keeps its text", "a\x13 lost instruction text", "a lost instruction text"},
        {"stray separator and end",
         "a\x14"
         "b\x15"
         "c",
         "abc"},
        {"cells end paragraphs", "one\x07two\x07\x07", "one\rtwo\r\r"},
        {"line feeds", "a\r\nb\nc", "a\rb\rc"},
        {"anchors dropped", "\x01pic\x02note\x08obj", "picnoteobj"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint16_t> got = plainDocumentText(units(c.in));
        EXPECT_EQ(std::string(got.begin(), got.end()), c.out);
    }
}

// Deeply nested fields cost one pass, not one per level.
TEST(WordTextMarks, DeepNestingStaysLinear) {
    std::vector<uint16_t> in(100000, 0x13);
    in.insert(in.end(), 100000, 0x15);
    in.push_back('k');
    const std::vector<uint16_t> got = plainDocumentText(in);
    EXPECT_EQ(got, std::vector<uint16_t>{'k'});
}

}  // namespace
}  // namespace morvel
