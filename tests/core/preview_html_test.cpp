#include "core/preview_html.h"

#include <gtest/gtest.h>

#include "platform/windows1252.h"
#include "tests/support/test_files.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

// A ZIP package of the given parts, each deflated.
std::vector<uint8_t> zipOf(const std::vector<std::pair<std::string, std::string>>& parts) {
    test::ZipBuilder zip;
    for (const auto& [name, data] : parts)
        zip.add(name, data);
    return zip.finish();
}

std::string body(const std::string& documentXml) {
    std::string html = docxPreviewHtml(zipOf({{"word/document.xml", documentXml}}));
    size_t b = html.find("<body");
    b = html.find('>', b) + 1;
    return html.substr(b, html.rfind("</body>") - b);
}

std::string doc(const std::string& inner) {
    return "<?xml version=\"1.0\"?><w:document xmlns:w=\"x\"><w:body>" + inner +
           "</w:body></w:document>";
}

TEST(PreviewHtml, RendersParagraphsRunsAndTables) {
    struct Case {
        const char* name;
        std::string xml;
        std::string html;
    } cases[] = {
        {"plain", "<w:p><w:r><w:t>Hello</w:t></w:r></w:p>", "<p>Hello</p>"},
        {"formatting",
         "<w:p><w:r><w:rPr><w:b/><w:i w:val=\"1\"/></w:rPr><w:t>bi</w:t></w:r>"
         "<w:r><w:rPr><w:u w:val=\"single\"/></w:rPr><w:t xml:space=\"preserve\"> u</w:t></w:r>"
         "<w:r><w:t>n</w:t></w:r></w:p>",
         "<p><b><i>bi</i></b><u> u</u>n</p>"},
        {"toggles off",
         "<w:p><w:r><w:rPr><w:b w:val=\"0\"/><w:i w:val=\"false\"/><w:u w:val=\"none\"/></w:rPr>"
         "<w:t>x</w:t></w:r></w:p>",
         "<p>x</p>"},
        {"paragraph mark properties do not reach the runs",
         "<w:p><w:pPr><w:rPr><w:b/></w:rPr></w:pPr><w:r><w:t>x</w:t></w:r></w:p>", "<p>x</p>"},
        {"breaks tabs and escapes",
         "<w:p><w:r><w:t>a&amp;b&lt;</w:t><w:tab/><w:t>&#x20AC;&#233;</w:t><w:br/>"
         "<w:t>c</w:t></w:r></w:p>",
         "<p>a&amp;b&lt;\t\u20AC\u00E9<br/>c</p>"},
        {"empty paragraphs keep their line", "<w:p/><w:p><w:pPr/></w:p>",
         "<p>&nbsp;</p><p>&nbsp;</p>"},
        {"table with a spanning cell",
         "<w:tbl><w:tr><w:tc><w:tcPr><w:gridSpan w:val=\"2\"/></w:tcPr><w:p><w:r><w:t>A</w:t>"
         "</w:r></w:p></w:tc></w:tr><w:tr><w:tc><w:p/></w:tc><w:tc><w:p><w:r><w:t>B</w:t></w:r>"
         "</w:p></w:tc></w:tr></w:tbl>",
         "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\"><tr><td colspan=\"2\"><p>A</p>"
         "</td></tr><tr><td><p>&nbsp;</p></td><td><p>B</p></td></tr></table>"},
        {"fallback copy and deleted or field text left out",
         "<w:p><w:r><mc:AlternateContent><mc:Choice><w:t>one</w:t></mc:Choice><mc:Fallback>"
         "<w:t>two</w:t><w:p/></mc:Fallback></mc:AlternateContent><w:delText>d</w:delText>"
         "<w:instrText>PAGE</w:instrText></w:r></w:p>",
         "<p>one</p>"},
        {"cut-off part shows what came before",
         "<w:p><w:r><w:t>kept</w:t></w:r></w:p><w:p><w:r><w:t", "<p>kept</p>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(body(doc(c.xml)), c.html) << c.name;
}

TEST(PreviewHtml, ShowsTheIntactPartsOfADamagedPackage) {
    test::ZipBuilder builder;
    builder.add("[Content_Types].xml", "<Types/>", 0);
    builder.add("word/document.xml", doc("<w:p><w:r><w:t>Body</w:t></w:r></w:p>"));
    std::vector<uint8_t> flipped = builder.finish();
    flipped[30 + 19 + 2] ^= 0x20;  // inside the stored content types
    EXPECT_NE(docxPreviewHtml(flipped).find("Body"), std::string::npos);
    EXPECT_EQ(docxPreviewHtml(test::bytesOf("not a package")), "");
}

TEST(PreviewHtml, TextFromTheWindowsCodePage) {
    const std::vector<uint8_t> text = {'a', '<', 0x80, 0xE9, '\r', '\n', '\r', '\n', 'b', 0x81, 0};
    EXPECT_EQ(windows1252ToUtf8(text), "a<\u20AC\u00E9\r\n\r\nb\uFFFD");
    std::string html = textPreviewHtml(text);
    EXPECT_NE(html.find("<p>a&lt;\u20AC\u00E9</p><p>&nbsp;</p><p>b\uFFFD</p></body>"),
              std::string::npos)
        << html;
}

TEST(PreviewHtml, CorpusDocumentsRenderTheirText) {
    auto files = test::corpusFiles("docx");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    int rendered = 0;
    for (const auto& f : files) {
        std::string html = docxPreviewHtml(test::readFile(f));
        if (html.find("<p>") != std::string::npos)
            ++rendered;
    }
    EXPECT_GE(rendered, static_cast<int>(files.size()) / 2);
}

}  // namespace
}  // namespace morvel
