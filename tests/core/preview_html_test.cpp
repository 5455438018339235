#include "core/preview_html.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "core/package_part_reader.h"
#include "platform/le_reader.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

struct Part {
    std::string name;
    std::string data;
    bool deflate = true;
};

// A ZIP package with local headers, central directory and end record.
std::vector<uint8_t> zipOf(const std::vector<Part>& parts) {
    std::vector<uint8_t> out, central;
    for (const Part& p : parts) {
        std::vector<uint8_t> body(p.data.begin(), p.data.end());
        uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(p.data.data()),
                             static_cast<uInt>(p.data.size()));
        if (p.deflate) {
            body.assign(compressBound(static_cast<uLong>(p.data.size())) + 16, 0);
            z_stream zs{};
            deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
            zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(p.data.data()));
            zs.avail_in = static_cast<uInt>(p.data.size());
            zs.next_out = body.data();
            zs.avail_out = static_cast<uInt>(body.size());
            deflate(&zs, Z_FINISH);
            body.resize(zs.total_out);
            deflateEnd(&zs);
        }
        uint32_t offset = static_cast<uint32_t>(out.size());
        auto header = [&](std::vector<uint8_t>& v, bool isCentral) {
            appendU32LE(v, isCentral ? 0x02014b50 : 0x04034b50);
            if (isCentral)
                appendU16LE(v, 20);
            appendU16LE(v, 20);
            appendU16LE(v, 0);
            appendU16LE(v, p.deflate ? 8 : 0);
            appendU32LE(v, 0);
            appendU32LE(v, crc);
            appendU32LE(v, static_cast<uint32_t>(body.size()));
            appendU32LE(v, static_cast<uint32_t>(p.data.size()));
            appendU16LE(v, static_cast<uint16_t>(p.name.size()));
            appendU16LE(v, 0);
            if (isCentral) {
                for (int i = 0; i < 4; ++i)
                    appendU16LE(v, 0);
                appendU32LE(v, 0);
                appendU32LE(v, offset);
            }
            v.insert(v.end(), p.name.begin(), p.name.end());
        };
        header(out, false);
        out.insert(out.end(), body.begin(), body.end());
        header(central, true);
    }
    uint32_t cdOffset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    appendU32LE(out, 0x06054b50);
    appendU32LE(out, 0);
    appendU16LE(out, static_cast<uint16_t>(parts.size()));
    appendU16LE(out, static_cast<uint16_t>(parts.size()));
    appendU32LE(out, static_cast<uint32_t>(central.size()));
    appendU32LE(out, cdOffset);
    appendU16LE(out, 0);
    return out;
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

TEST(PackagePartReader, FindsIntactPartsOnly) {
    const std::string xml = doc("<w:p><w:r><w:t>Body</w:t></w:r></w:p>");
    std::vector<uint8_t> zip =
        zipOf({{"[Content_Types].xml", "<Types/>", false}, {"word/document.xml", xml}});
    auto part = readPackagePart(zip, "word/document.xml");
    ASSERT_TRUE(part);
    EXPECT_EQ(std::string(part->begin(), part->end()), xml);
    EXPECT_FALSE(readPackagePart(zip, "word/styles.xml"));

    // Without its central directory the part is still found through its local header.
    std::vector<uint8_t> cut(zip.begin(), zip.begin() + static_cast<long>(zip.size()) - 60);
    EXPECT_TRUE(readPackagePart(cut, "word/document.xml"));

    // A flipped byte of the stored part fails its CRC; a size beyond the limit is refused.
    std::vector<uint8_t> flipped = zip;
    flipped[30 + 19 + 2] ^= 0x20;
    EXPECT_FALSE(readPackagePart(flipped, "[Content_Types].xml"));
    EXPECT_FALSE(readPackagePart(zip, "word/document.xml", xml.size() - 1));
    EXPECT_EQ(docxPreviewHtml(flipped).find("Body") != std::string::npos, true);
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
