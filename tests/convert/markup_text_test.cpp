#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "convert/html_text.h"
#include "convert/mhtml_text.h"
#include "convert/xml_text.h"

namespace morvel {
namespace {

std::span<const uint8_t> bytesOf(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

struct Case {
    const char* what;
    std::string_view source;
    std::string_view text;
};

TEST(HtmlText, TextOfSmallPages) {
    const Case cases[] = {
        {"paragraphs and breaks", "<html><body><p>One</p><p>Two<br>lines</p></body></html>",
         "One\nTwo\vlines"},
        {"white space collapses", "<p>  a \n\t b  </p>\n\n<div>c</div>", "a b\nc"},
        {"inline elements join", "<p>Hel<b>lo</b> <i>you</i></p>", "Hello you"},
        {"entities", "<p>&lt;a&gt; &amp; &quot;q&quot; &eacute;&nbsp;&#233;&#xE9;&euro;&copy</p>",
         "<a> & \"q\" \u00E9\u00A0\u00E9\u00E9\u20AC\u00A9"},
        {"unknown entity is text", "<p>&bogus; & x</p>", "&bogus; & x"},
        {"script, style and title left out",
         "<html><head><title>T</title><style>p{color:red}</style><script>var a='<p>';</script>"
         "</head><body>Body</body></html>",
         "Body"},
        {"comments and conditional markers left out",
         "<p>a<!-- hidden <p>x</p> -->b<![if !supportLists]>- <![endif]>c</p>", "ab- c"},
        {"Word's XML islands left out",
         "<!--[if gte mso 9]><xml><o:DocumentProperties><o:Author>A</o:Author></o:"
         "DocumentProperties></xml><![endif]--><p class=MsoNormal>Text</p>",
         "Text"},
        {"list items and table cells",
         "<ul><li>x</li><li>y</li></ul><table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></"
         "table>",
         "x\ny\na\tb\nc"},
        {"preformatted text keeps its spaces", "<pre>a  b\n\tc</pre>", "a  b\v\tc"},
        {"images with inline data left out",
         "<p>x<img src=\"data:image/png;base64,iVBORw0KGgo=\">y</p>", "xy"},
        {"a stray less-than sign is text", "<p>1 < 2 and 3<4</p>", "1 < 2 and 3<4"},
        {"cut off inside a tag", "<p>Hello</p><p>Wor<span style=\"font-", "Hello\nWor"},
        {"an unclosed comment ends at its tag's end", "<p>a<!-- broken > b</p>", "a b"},
        {"unclosed title does not swallow the page", "<title>T<body><p>Body</p>", "T\nBody"},
        {"script cut off holds no text", "<p>a</p><script>var x = 1;", "a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(htmlText(bytesOf(c.source)), c.text) << c.what;
}

// The page's bytes are read in the charset it declares, else as UTF-8 when valid, else 1252.
TEST(HtmlText, CharsetOfThePage) {
    const Case cases[] = {
        {"meta charset utf-8", "<meta charset=\"utf-8\"><p>caf\xC3\xA9</p>", "caf\u00E9"},
        {"http-equiv windows-1251",
         "<meta http-equiv=Content-Type content=\"text/html; charset=windows-1251\"><p>\xCF\xF0"
         "\xE8</p>",
         "\u041F\u0440\u0438"},
        {"no declaration, valid UTF-8", "<p>\xE2\x82\xAC 5</p>", "\u20AC 5"},
        {"no declaration, 8-bit text", "<p>caf\xE9 \x80</p>", "caf\u00E9 \u20AC"},
        {"declared UTF-8 with a stray 8-bit byte keeps it", "<meta charset=utf-8><p>a\xE9</p>",
         "a\u00E9"},
        {"charset in a later meta tag", "<meta name=a><meta charset=windows-1251><p>\xCF</p>",
         "\u041F"},
        {"UTF-16LE with its mark", std::string_view("\xFF\xFE<\0p\0>\0\xE9\0", 10), "\u00E9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(htmlText(bytesOf(c.source)), c.text) << c.what;
    // A charset given from outside (a MIME part's) wins over the page's own guess.
    EXPECT_EQ(htmlText(bytesOf("<p>\xCF</p>"), 1251), "\u041F");
}

TEST(MhtmlText, TheHtmlPartDecoded) {
    const Case cases[] = {
        {"quoted-printable part",
         "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"----=_NextPart_01\"\r\n"
         "\r\n------=_NextPart_01\r\nContent-Location: file:///C:/x.htm\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\nContent-Type: text/html; "
         "charset=\"windows-1252\"\r\n\r\n<html><body><p class=3DMsoNormal>caf=E9 soft=\r\n"
         "break</p></body></html>\r\n\r\n------=_NextPart_01\r\nContent-Type: image/png\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\niVBORw0KGgo=\r\n------=_NextPart_01--\r\n",
         "caf\u00E9 softbreak"},
        {"base64 part, cut off",
         "MIME-Version: 1.0\nContent-Type: multipart/related; boundary=b1\n\n--b1\n"
         "Content-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: base64\n\n"
         "PHA+SGk8L3A+PHA+dGhlcmU8L3A+\n",
         "Hi\nthere"},
        {"no parts found: read as HTML", "MIME-Version: 1.0\n\n<p>plain</p>", "plain"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mhtmlText(bytesOf(c.source)), c.text) << c.what;
}

TEST(MhtmlText, DecodersKeepWhatTheyCannotRead) {
    const auto qp = decodeQuotedPrintable(bytesOf("a=3Db=\r\nc=ZZd="));
    EXPECT_EQ(std::string(qp.begin(), qp.end()), "a=bc=ZZd=");
    const auto b64 = decodeBase64(bytesOf("SGVs\nbG8*!gd29y"));  // damage and a cut group
    EXPECT_EQ(std::string(b64.begin(), b64.end()), "Hello wor");
}

TEST(XmlText, WordprocessingMl) {
    const Case cases[] = {
        {"2003 document",
         "<?xml version=\"1.0\"?><?mso-application progid=\"Word.Document\"?>"
         "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\">"
         "<o:DocumentProperties><o:Title>Title</o:Title></o:DocumentProperties>"
         "<w:fonts><w:font w:name=\"Arial\"/></w:fonts><w:styles><w:style><w:name "
         "w:val=\"Normal\"/></w:style></w:styles><w:body><w:p><w:pPr><w:tabs><w:tab "
         "w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr><w:r><w:t>Hello</w:t></w:r><w:r><w:tab/>"
         "<w:t xml:space=\"preserve\"> A &amp; B </w:t><w:br/><w:t>next</w:t></w:r></w:p><w:p/>"
         "<w:p><w:r><w:instrText>PAGE</w:instrText><w:t>3</w:t><w:delText>gone</w:delText>"
         "</w:r><w:r><w:pict><w:binData>iVBORw0KGgo=</w:binData></w:pict></w:r></w:p></w:body>"
         "</w:wordDocument>",
         "Hello\t A & B \vnext\n\n3"},
        {"cut off inside a run",
         "<w:wordDocument><w:body><w:p><w:r><w:t>One</w:t></w:r></w:p>"
         "<w:p><w:r><w:t>Tw",
         "One\nTw"},
        {"declared 8-bit encoding",
         "<?xml version=\"1.0\" encoding=\"windows-1251\"?><w:p><w:t>\xCF</w:t></w:p>", "\u041F"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wordXmlText(bytesOf(c.source)), c.text) << c.what;
}

TEST(XmlText, FlatOpcMainDocumentPart) {
    const std::string_view source =
        "<?xml version=\"1.0\"?><pkg:package xmlns:pkg=\"http://schemas.microsoft.com/office/"
        "2006/xmlPackage\"><pkg:part pkg:name=\"/word/styles.xml\" pkg:contentType=\"x\">"
        "<pkg:xmlData><w:styles><w:t>not text</w:t></w:styles></pkg:xmlData></pkg:part>"
        "<pkg:part pkg:name=\"/word/document.xml\" pkg:contentType=\"application/"
        "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"><pkg:xmlData>"
        "<w:document><w:body><w:p><w:r><w:t>Body</w:t></w:r></w:p><w:p><w:r><w:t>two</w:t>"
        "</w:r></w:p></w:body></w:document></pkg:xmlData></pkg:part><pkg:part "
        "pkg:name=\"/word/media/image1.png\"><pkg:binaryData>iVBORw0KGgo=</pkg:binaryData>"
        "</pkg:part></pkg:package>";
    EXPECT_EQ(flatOpcText(bytesOf(source)), "Body\ntwo");
    // Without a part marked as the main document every part's text is read.
    EXPECT_EQ(flatOpcText(bytesOf("<pkg:package><pkg:part><w:p><w:t>x</w:t></w:p>")), "x");
}

TEST(XmlText, CharacterDataOfOtherXml) {
    const Case cases[] = {
        {"indented items",
         "<?xml version=\"1.0\"?>\n<list>\n  <item>one two</item>\n  "
         "<item>three &amp; four</item>\n</list>\n",
         "one two\nthree & four"},
        {"adjacent items", "<a><b>x</b><b>y</b></a>", "x\ny"},
        {"mixed content and CDATA", "<p>Hello <b>you</b> <![CDATA[<raw> & ok]]></p>",
         "Hello you <raw> & ok"},
        {"comments and instructions left out", "<?pi x?><!-- c --><r>t</r>", "t"},
        {"cut off", "<r>ab<c", "ab"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(xmlCharacterData(bytesOf(c.source)), c.text) << c.what;
}

}  // namespace
}  // namespace morvel
