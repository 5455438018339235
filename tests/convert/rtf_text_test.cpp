#include "convert/rtf_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace morvel {
namespace {

std::string rtf(std::string_view source) {
    return rtfText(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(source.data()), source.size()));
}

// Each case is a whole (or damaged) RTF file and the text it must give: paragraphs end with
// LF, line breaks are VT, tabs stay.
TEST(RtfText, TextOfSmallDocuments) {
    struct Case {
        const char* what;
        std::string_view source;
        std::string_view text;
    } cases[] = {
        {"paragraphs", R"({\rtf1\ansi Hello\par World\par})", "Hello\nWorld"},
        {"line, tab, escapes", R"({\rtf1 a\line b\tab c \{x\} \\ d\~e})",
         "a\vb\tc {x} \\ d\u00A0e"},
        {"special characters",
         R"({\rtf1 \emdash\endash\lquote x\rquote\bullet\ldblquote y\rdblquote})",
         "\u2014\u2013\u2018x\u2019\u2022\u201Cy\u201D"},
        {"optional hyphen and nonbreaking hyphen", R"({\rtf1 co\-op\_x})", "coop\u2011x"},
        {"unicode with default fallback", R"({\rtf1 caf\u233?\par})", "caf\u00E9"},
        {"unicode with two fallback bytes", R"({\rtf1\uc2 \u8364\'80\'80 EUR})", "\u20AC EUR"},
        {"unicode with no fallback", R"({\rtf1\uc0 \u8364 x})", "\u20ACx"},
        {"negative unicode value", R"({\rtf1 \u-3913?})", "\uF0B7"},
        {"surrogate pair", R"({\rtf1 \u-10179?\u-8704?})", "\U0001F600"},
        {"fallback skip count is per group", R"({\rtf1 {\uc3 \u8364 abc}\u233 ?x})",
         "\u20AC\u00E9x"},
        {"1252 hex escape", R"({\rtf1\ansi\ansicpg1252 caf\'e9})", "caf\u00E9"},
        {"1251 hex escape", R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8\'e2\'e5\'f2})",
         "\u041F\u0440\u0438\u0432\u0435\u0442"},
        {"font charset overrides the document page",
         R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\froman Times;}{\f1\fcharset204 Arial Cyr;}}\f0 \'e9 {\f1 \'e9}})",
         "\u00E9 \u0439"},
        {"ansi charset keeps the document page",
         R"({\rtf1\ansi\ansicpg1251{\fonttbl{\f0\fcharset0 Arial;}}\f0 \'e9})", "\u0439"},
        {"font, colour, style tables and info left out",
         R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red255\green0\blue0;}{\stylesheet{\s0 Normal;}}{\info{\title T}{\author A}}Body})",
         "Body"},
        {"ignorable groups, nested, left out",
         R"({\rtf1 a{\*\generator x{\inner {deeper} text}}b{\*\unknownword y}c})", "abc"},
        {"pictures and object data left out, object result kept",
         R"({\rtf1 x{\pict\pngblip 89504e47}y{\object\objemb{\*\objdata 0102}{\result R}}z})",
         "xyRz"},
        {"picture after formatting words is still left out", R"({\rtf1 {\f1\pict 4142}ok})", "ok"},
        {"binary data skipped by its length", "{\\rtf1 a{\\pict\\bin3 }}}b}c", "ac"},
        {"field result kept, instruction dropped",
         R"({\rtf1 see {\field{\*\fldinst HYPERLINK "http://x"}{\fldrslt {link}}} now})",
         "see link now"},
        {"field instruction without ignorable mark",
         R"({\rtf1 {\field{\fldinst PAGE}{\fldrslt 3}}})", "3"},
        {"table cells and rows", R"({\rtf1 \trowd a\cell b\cell\row c\cell d\cell\row})",
         "a\tb\t\nc\td\t"},
        {"header text kept on its own line", R"({\rtf1 {\header H}Body\par})", "H\nBody"},
        {"backslash before a line end is a paragraph", "{\\rtf1 a\\\nb}", "a\nb"},
        {"file line ends are no text", "{\\rtf1 a\r\nb}", "ab"},
        {"cut off in the middle", R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}Hello\par Wor)",
         "Hello\nWor"},
        {"cut off inside a hex escape", R"({\rtf1 ab\')", "ab"},
        {"unbalanced closing braces", R"({\rtf1 a}}}b\par c})", "ab\nc"},
        {"unbalanced opening braces", R"({\rtf1 {{{a\par b)", "a\nb"},
        {"empty paragraphs kept", R"({\rtf1 a\par\par b})", "a\n\nb"},
        {"double-byte code page pairs", R"({\rtf1\ansicpg932 \'82\'a0x})", "\uFFFDx"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rtf(c.source), c.text) << c.what;
}

// Groups nested far deeper than any real file are read without a growing state, and the text
// inside and after them is kept.
TEST(RtfText, DeepNestingKeepsText) {
    std::string source = "{\\rtf1 start ";
    source += std::string(200000, '{');
    source += "deep";
    source += std::string(200000, '}');
    source += " end}";
    EXPECT_EQ(rtf(source), "start deep end");

    // A skipped group opened below the depth bound stays skipped above it.
    std::string skipped = "{\\rtf1 a{\\*\\x ";
    skipped += std::string(5000, '{') + "hidden" + std::string(5000, '}');
    skipped += "}b}";
    EXPECT_EQ(rtf(skipped), "ab");
}

}  // namespace
}  // namespace morvel
