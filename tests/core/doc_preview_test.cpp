#include "core/doc_preview.h"

#include <gtest/gtest.h>

#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"

namespace morvel {
namespace {

std::vector<uint8_t> utf16(const std::u16string& s) {
    std::vector<uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

std::string body(const std::u16string& text, std::span<const LookSpan> looks = {}) {
    std::string html = docTextHtml(utf16(text), text.size(), looks);
    size_t b = html.find('>', html.find("<body")) + 1;
    return html.substr(b, html.rfind("</body>") - b);
}

TEST(DocPreview, TextBecomesParagraphsAndTables) {
    struct Case {
        const char* name;
        std::u16string text;
        std::string html;
    } cases[] = {
        {"paragraphs", u"One\rTwo<&>\r", "<p>One</p><p>Two&lt;&amp;&gt;</p>"},
        {"breaks and tabs",
         u"a\vb\tc\x1E\x0C"
         u"d",
         "<p>a<br/>b\tc-</p><p>d</p>"},
        {"field instruction hidden, result kept",
         u"See \x13 PAGEREF x \x14"
         u"12\x15 and \x13 SYMBOL \x15!\r",
         "<p>See 12 and !</p>"},
        {"nested field",
         u"\x13 IF \x13 DATE \x14"
         u"d\x15 \x14"
         u"yes\x15\r",
         "<p>yes</p>"},
        {"anchors dropped, surrogates joined", u"x\x01\x08\x02y\xD83D\xDE00\r",
         "<p>xy\U0001F600</p>"},
        {"table between paragraphs",
         u"Intro\rA\x07"
         u"B1\rB2\x07\x07"
         u"C\x07"
         u"D\x07\x07"
         u"End\r",
         "<p>Intro</p><table border=\"1\" cellspacing=\"0\" cellpadding=\"4\"><tr><td><p>A</p>"
         "</td><td><p>B1</p><p>B2</p></td></tr><tr><td><p>C</p></td><td><p>D</p></td></tr>"
         "</table><p>End</p>"},
        {"lone surrogate and controls", u"\xD800z\x05\r", "<p>z</p>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(body(c.text), c.html) << c.name;
    // The character count bounds the main text; an odd byte count is cut.
    EXPECT_EQ(docTextHtml(utf16(u"main\rfootnote\r"), 5).find("footnote"), std::string::npos);
    std::vector<uint8_t> odd = utf16(u"ab");
    odd.push_back('c');
    EXPECT_NE(docTextHtml(odd, 99).find("<p>ab</p>"), std::string::npos);
}

TEST(DocPreview, LooksWrapTheirCharactersInsideEachParagraph) {
    const CharacterLook plain, bold{true, false, false}, boldItalic{true, true, false},
        underline{false, false, true};
    const std::vector<LookSpan> looks = {{2, plain}, {4, bold}, {9, boldItalic}, {10, underline}};
    // A look still on at a paragraph end is closed there and opened again after it.
    EXPECT_EQ(body(u"abcdef\rghij\r", looks),
              "<p>ab<b>cd</b><b><i>ef</i></b></p><p><b><i>gh</i></b><u>i</u>j</p>");
}

// Character properties come from the document's character pages.
TEST(DocPreview, ShowsBoldItalicAndUnderlineOfTheDocument) {
    test::Word97Builder b;
    b.text = u"Plain bold italic under\r";
    b.chpPages = {{{b.endOf(5), {}},
                   {b.endOf(9), {0x35, 0x08, 0x01}},
                   {b.endOf(16), {0x36, 0x08, 0x81}},
                   {b.endOf(17), {}},
                   {b.endOf(22), {0x3E, 0x2A, 0x01, 0x35, 0x08, 0x00}},
                   {b.endOf(23), {}}}};
    std::string html = docPreviewHtml(b.buildFile());
    EXPECT_NE(html.find("<p>Plain <b>bold</b><i> italic</i> <u>under</u></p>"), std::string::npos)
        << html;
}

TEST(DocPreview, UnreadableImagesGiveNothing) {
    EXPECT_EQ(docPreviewHtml({}), "");
    EXPECT_EQ(docPreviewHtml(test::bytesOf(std::string(4096, 'x'))), "");
}

TEST(DocPreview, CorpusDocumentsShowTheirText) {
    auto files = test::corpusFiles("doc");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    std::string html = docPreviewHtml(test::readFile(test::corpusDir() / "doc/lo_simple.doc"));
    EXPECT_NE(html.find("<p>"), std::string::npos);
}

}  // namespace
}  // namespace morvel
