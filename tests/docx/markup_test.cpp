#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "docx/markup_rules.h"
#include "docx/markup_store.h"

namespace morvel {
namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";

std::vector<std::string> tokensOf(const std::string& xml) {
    MarkUpStore store;
    store.Tokenize(spanOf(xml));
    std::vector<std::string> out;
    for (uint32_t i = 0; i < store.TokenCount(); ++i)
        out.emplace_back(store.Token(i).view());
    return out;
}

std::string joined(const std::vector<ByteSpan>& segments) {
    std::string s;
    for (ByteSpan seg : segments)
        s += seg.view();
    return s;
}

TEST(MarkUpStore, Tokenize) {
    using V = std::vector<std::string>;
    struct Case {
        std::string xml;
        V tokens;
    } cases[] = {
        {"<w:p/>", V{}},                 // no declaration
        {kDecl + "<a><b>text</b", V{}},  // ends inside a tag
        {kDecl + "<a><!-- <b> -> --></a>", V{kDecl, "<a>", "</a>"}},
        {kDecl + "<t><![CDATA[ <x> ]]></t>", V{kDecl, "<t>", "</t>"}},
        // XML allows a raw '>' in a quoted value: it does not end the tag.
        {kDecl + "<t a=\"1>2\" b='>'>", V{kDecl, "<t a=\"1>2\" b='>'>"}},
        {kDecl + "<t v=\"\xC3\xA9>\">\xE2\x82\xAC<u/></t>",
         V{kDecl, "<t v=\"\xC3\xA9>\">", "<u/>", "</t>"}},
        // A quote left open by damage is broken where it meets '<': the tag ends at the
        // first '>' after the quote, or, with none, the quote is ignored.
        {kDecl + "<a b=\"1><c>x</c></a>", V{kDecl, "<a b=\"1>", "<c>", "</c>", "</a>"}},
        {kDecl + "<a b=\"1<c>x</a>", V{kDecl, "<a b=\"1<c>", "</a>"}},
        {kDecl + "<a b='1>x", V{kDecl, "<a b='1>"}},
        {kDecl + "<a b='1", V{}},
        // A byte-order mark before the declaration stays out of the tokens.
        {"\xEF\xBB\xBF" + kDecl + "<a/>", V{kDecl, "<a/>"}},
        {"\xEF\xBB\xBF<a/>", V{}},
        // A lead byte passes over every byte up to its continuation byte, tags included.
        {kDecl + "<a>\xC3<b/>\x80<c/></a>", V{kDecl, "<a>", "<c/>", "</a>"}},
        // Without a UTF-8 declaration bytes of 0x80 and more mean nothing to the walk.
        {"<?xml version=\"1.0\"?><a>\xC3<b/></a>",
         V{"<?xml version=\"1.0\"?>", "<a>", "<b/>", "</a>"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tokensOf(c.xml), c.tokens) << c.xml;
}

TEST(MarkUpStore, TagNamesAndKinds) {
    struct Case {
        std::string token, name;
        TagKind kind;
    } cases[] = {
        {"</w:p>", "/w:p", TagKind::Closing},
        {"<w:p/>", "w:p", TagKind::SelfClosing},
        {"<w:br w:type=\"page\"/>", "w:br", TagKind::SelfClosing},
        {"<w:t\txml:space=\"preserve\">", "w:t\txml:space=\"preserve\"", TagKind::Opening},
        {"<w:t>", "w:t", TagKind::Opening},
        {"< w:t>", "", TagKind::Opening},
        // Names and tokens too long for the store's one-byte fields are measured again.
        {"<" + std::string(62, 'n') + "/>", std::string(62, 'n'), TagKind::SelfClosing},
        {"<" + std::string(63, 'n') + " a=\"1\">", std::string(63, 'n'), TagKind::Opening},
        {"</" + std::string(300, 'n') + ">", "/" + std::string(300, 'n'), TagKind::Closing},
        {"<w:p a=\"" + std::string(300, 'x') + "\"/>", "w:p", TagKind::SelfClosing},
    };
    for (const Case& c : cases) {
        MarkUpStore store;
        std::string xml = kDecl + c.token;
        store.Tokenize(spanOf(xml));
        ASSERT_EQ(store.TokenCount(), 2u) << c.token;
        EXPECT_EQ(store.GetTagName(1).view(), c.name) << c.token;
        EXPECT_FALSE(store.GetTagName(1).absent()) << c.token;
        EXPECT_EQ(store.Kind(1), c.kind) << c.token;
    }
    MarkUpStore store;
    std::string xml = kDecl + "<>";
    store.Tokenize(spanOf(xml));
    EXPECT_TRUE(store.GetTagName(1).absent());
    EXPECT_TRUE(store.GetTagName(9).empty());
}

TEST(MarkUpStore, ParseAttributes) {
    std::string xml =
        kDecl +
        "<w:r w:rsidR=\"00A1\" r:id='rId5' e=\"\" w:val=\"\xC3\xA9 \xC3\xBC\" x=\"1\" y=\"2\"/>";
    MarkUpStore store;
    store.Tokenize(spanOf(xml));
    TagAttributes a;
    ASSERT_EQ(store.ParseAttributes(1, a), 0);
    std::vector<std::pair<std::string, std::string>> got;
    for (size_t i = 0; i < a.names.size(); ++i)
        if (!a.names[i].empty())
            got.emplace_back(a.names[i].view(), a.values[i].view());
    EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{{"w:rsidR", "00A1"},
                                                                     {"r:id", "rId5"},
                                                                     {"e", ""},
                                                                     {"w:val", "\xC3\xA9 \xC3\xBC"},
                                                                     {"x", "1"},
                                                                     {"y", "2"}}));
    EXPECT_TRUE(a.values[2].absent());
    EXPECT_EQ(store.ParseAttributes(7, a), -1);
    ASSERT_EQ(store.ParseAttributes(0, a), 0);
    EXPECT_EQ(a.names.size(), 5u);
}

std::string body(const std::string& inner) {
    return kDecl + "<w:document><w:body>" + inner + "</w:body></w:document>";
}

struct RuleCase {
    const char* what;
    std::string in;
    std::string out;  // the part's new content
    uint32_t status = 0;
    MissingParts missing = {};
};

TEST(FullDocumentRules, Cases) {
    const std::vector<std::string> ids = {"rIdKept"};
    MissingParts noStyles;
    noStyles.styles = true;
    MissingParts noNotes;
    noNotes.footnotes = true;
    noNotes.endnotes = true;
    const RuleCase cases[] = {
        {"whitespace between tags goes, text and attributes stay",
         body("\n <w:p w:rsidR=\"1\">\n <w:r><w:t xml:space=\"preserve\"> a &amp; b "
              "</w:t></w:r></w:p>"),
         body("<w:p w:rsidR=\"1\"><w:r><w:t xml:space=\"preserve\"> a &amp; b </w:t></w:r></w:p>")},
        {"CDATA inside w:t is copied with the text",
         body("<w:p><w:r><w:t><![CDATA[<x>]]></w:t></w:r></w:p>"),
         body("<w:p><w:r><w:t><![CDATA[<x>]]></w:t></w:r></w:p>")},
        {"run left open: stop at the paragraph's closing tag",
         body("<w:p><w:r><w:t>x</w:t></w:p><w:p/>"), kDecl + "<w:document><w:body>", 4},
        // The declaration is an opening tag that stays on the stack; only a self-closing one
        // leaves the stack empty.
        {"closing tag without any open one", "<?xml/><w:p></w:p></w:p>", "<?xml/><w:p></w:p>", 8},
        {"stray closing tag under the declaration", kDecl + "</w:p>", kDecl, 4},
        {"empty tag name", body("<w:p>< w:r></w:p>"), kDecl + "<w:document><w:body>", 5},
        {"dangling r:embed outside any object loses only itself",
         body(
             "<w:p><w:r><a:blip r:embed=\"rIdLost\"/><w:t>x</w:t></w:r></w:p><w:p><w:r><w:t>y</w:t>"
             "</w:r></w:p>"),
         body("<w:p><w:r><w:t>x</w:t></w:r></w:p><w:p><w:r><w:t>y</w:t></w:r></w:p>")},
        {"kept reference keeps the paragraph",
         body("<w:p><w:hyperlink r:id=\"rIdKept\"><w:r><w:t>x</w:t></w:r></w:hyperlink></w:p>"),
         body("<w:p><w:hyperlink r:id=\"rIdKept\"><w:r><w:t>x</w:t></w:r></w:hyperlink></w:p>")},
        {"dangling v:imagedata loses only itself",
         body("<w:p><w:r><v:shape><v:imagedata "
              "r:id=\"rIdLost\"/></v:shape><w:t>x</w:t></w:r></w:p>"),
         body("<w:p><w:r><v:shape></v:shape><w:t>x</w:t></w:r></w:p>")},
        {"dangling header reference outside paragraphs loses only itself",
         body("<w:sectPr><w:headerReference r:id=\"rIdLost\"/><w:pgSz w:w=\"1\"/></w:sectPr>"),
         body("<w:sectPr><w:pgSz w:w=\"1\"/></w:sectPr>")},
        {"section break referring to a lost header loses only the reference",
         body("<w:p><w:pPr><w:sectPr><w:headerReference "
              "r:id=\"rIdLost\"/></w:sectPr></w:pPr><w:r><w:t>end</w:t></w:r></w:p>"),
         body("<w:p><w:pPr><w:sectPr></w:sectPr></w:pPr><w:r><w:t>end</w:t></w:r></w:p>")},
        {"lost styles drop style references",
         body("<w:p><w:pPr><w:pStyle w:val=\"H1\"/></w:pPr><w:r><w:rPr><w:rStyle w:val=\"E\"/>"
              "</w:rPr><w:t>x</w:t></w:r></w:p>"),
         body("<w:p><w:pPr></w:pPr><w:r><w:rPr></w:rPr><w:t>x</w:t></w:r></w:p>"), 0, noStyles},
        {"lost notes drop note references",
         body("<w:p><w:r><w:footnoteReference w:id=\"1\"/><w:endnoteReference "
              "w:id=\"1\"/></w:r></w:p>"),
         body("<w:p><w:r></w:r></w:p>"), 0, noNotes},
        {"leaf elements keep their text: deleted text, equations, drawing text, positions",
         body("<w:p><w:del><w:r><w:delText>gone</w:delText></w:r></w:del><m:oMath><m:r><m:t>x+1</"
              "m:t>"
              "</m:r></m:oMath><wp:positionH><wp:posOffset>914400</wp:posOffset></wp:positionH>"
              "<wp:positionV><wp:align>top</wp:align></wp:positionV><a:r><a:t>box</a:t></a:r></"
              "w:p>"),
         body("<w:p><w:del><w:r><w:delText>gone</w:delText></w:r></w:del><m:oMath><m:r><m:t>x+1</"
              "m:t>"
              "</m:r></m:oMath><wp:positionH><wp:posOffset>914400</wp:posOffset></wp:positionH>"
              "<wp:positionV><wp:align>top</wp:align></wp:positionV><a:r><a:t>box</a:t></a:r></"
              "w:p>")},
        {"a text box's paragraphs stay inside their anchor paragraph",
         body(
             "<w:p><w:r><w:t>before</w:t></w:r><w:r><w:txbxContent><w:p><w:r><w:t>inner</w:t></w:r>"
             "</w:p></w:txbxContent></w:r><w:r><w:t>after</w:t></w:r></w:p>"),
         body(
             "<w:p><w:r><w:t>before</w:t></w:r><w:r><w:txbxContent><w:p><w:r><w:t>inner</w:t></w:r>"
             "</w:p></w:txbxContent></w:r><w:r><w:t>after</w:t></w:r></w:p>")},
    };
    for (const RuleCase& c : cases) {
        MarkUpStore store;
        store.Tokenize(spanOf(c.in));
        std::vector<ByteSpan> segments;
        std::vector<ByteSpan> kept;
        for (const std::string& id : ids)
            kept.push_back(spanOf(id));
        EXPECT_EQ(applyFullDocumentRules(store, kept, c.missing, segments), c.status) << c.what;
        EXPECT_EQ(joined(segments), c.out) << c.what;
    }
}

// A relationship attribute is found wherever it falls in its tag (the search reads the tag
// eight bytes at a time, so "r:" may straddle two reads or sit in the last, short one); an 'r'
// and a ':' apart are no attribute.
TEST(FullDocumentRules, ReferenceFoundAtAnyOffset) {
    const std::vector<ByteSpan> kept = {spanOf("rIdKept")};
    for (size_t pad = 0; pad < 20; ++pad) {
        const std::string filler = pad == 0 ? "" : " p=\"" + std::string(pad, 'r') + "\"";
        const std::string text = "<w:r><w:t>x</w:t></w:r>";
        for (const char* id : {"rIdKept", "rIdLost"}) {
            const std::string blip = "<a:blip" + filler + " r:embed=\"" + id + "\"/>";
            const std::string in = body("<w:p>" + blip + text + "</w:p>");
            MarkUpStore store;
            store.Tokenize(spanOf(in));
            std::vector<ByteSpan> segments;
            EXPECT_EQ(applyFullDocumentRules(store, kept, {}, segments), 0u) << blip;
            const bool lost = std::string_view(id) == "rIdLost";
            EXPECT_EQ(joined(segments), body("<w:p>" + (lost ? "" : blip) + text + "</w:p>"))
                << blip;
        }
        // Neither a value ending in 'r' before a prefixed name nor a lone "r" is an attribute.
        const std::string plain = "<a:blip" + filler + " w:embed=\"rIdLost\" r=\":\"/>";
        const std::string in = body("<w:p>" + plain + text + "</w:p>");
        MarkUpStore store;
        store.Tokenize(spanOf(in));
        std::vector<ByteSpan> segments;
        EXPECT_EQ(applyFullDocumentRules(store, kept, {}, segments), 0u) << plain;
        EXPECT_EQ(joined(segments), in) << plain;
    }
}

// A reference to a lost part takes out the innermost element that holds it, never the
// paragraph's text.
TEST(FullDocumentRules, LostPartsTakeOutOnlyTheirHolder) {
    const std::string drawing =
        "<w:r><w:drawing><wp:inline><wp:extent cx=\"1\" cy=\"1\"/><a:graphic><a:graphicData>"
        "<pic:pic><pic:blipFill><a:blip r:embed=\"%s\"/></pic:blipFill></pic:pic>"
        "</a:graphicData></a:graphic></wp:inline></w:drawing></w:r>";
    auto picture = [&](const std::string& id) {
        std::string d = drawing;
        return d.replace(d.find("%s"), 2, id);
    };
    const std::string sentences =
        "<w:r><w:t>One.</w:t></w:r><w:r><w:t xml:space=\"preserve\"> Two. Three.</w:t></w:r>";
    const RuleCase cases[] = {
        {"a lost picture goes with its drawing; the sentences stay",
         body("<w:p>" + sentences + picture("rIdLost") + "<w:r><w:t>Four.</w:t></w:r></w:p>"),
         body("<w:p>" + sentences + "<w:r></w:r><w:r><w:t>Four.</w:t></w:r></w:p>")},
        {"a kept picture stays", body("<w:p>" + picture("rIdKept") + "</w:p>"),
         body("<w:p>" + picture("rIdKept") + "</w:p>")},
        {"an embedded object with a lost part goes whole",
         body("<w:p><w:r><w:t>a</w:t><w:object><v:shape><v:imagedata r:id=\"rIdKept\"/>"
              "</v:shape><o:OLEObject r:id=\"rIdLost\"/></w:object><w:t>b</w:t></w:r></w:p>"),
         body("<w:p><w:r><w:t>a</w:t><w:t>b</w:t></w:r></w:p>")},
        {"a legacy picture with a lost part goes whole unless only its fill is lost",
         body("<w:p><w:r><w:pict><v:shape><v:fill r:id=\"rIdLost\"/></v:shape></w:pict>"
              "<w:t>a</w:t></w:r></w:p>"),
         body("<w:p><w:r><w:t>a</w:t></w:r></w:p>")},
        {"a hyperlink to a lost part keeps its runs",
         body("<w:p><w:hyperlink r:id=\"rIdLost\" w:history=\"1\"><w:r><w:t>link</w:t></w:r>"
              "</w:hyperlink><w:r><w:t>after</w:t></w:r></w:p>"),
         body("<w:p><w:r><w:t>link</w:t></w:r><w:r><w:t>after</w:t></w:r></w:p>")},
        {"a lost footer reference in the body's section goes alone",
         body("<w:p><w:r><w:t>x</w:t></w:r></w:p><w:sectPr><w:footerReference w:type=\"default\" "
              "r:id=\"rIdLost\"/><w:pgSz w:w=\"1\"/></w:sectPr>"),
         body("<w:p><w:r><w:t>x</w:t></w:r></w:p><w:sectPr><w:pgSz w:w=\"1\"/></w:sectPr>")},
        {"an element with content that refers to a lost part goes whole, its close tag too",
         body("<w:altChunk r:id=\"rIdLost\"><w:altChunkPr/></w:altChunk><w:p/>"), body("<w:p/>")},
        {"a walk that stops inside a paragraph loses only that paragraph",
         body("<w:p><w:r><w:t>kept</w:t></w:r></w:p><w:p>" + picture("rIdLost") + "<w:r></w:p>"),
         kDecl + "<w:document><w:body><w:p><w:r><w:t>kept</w:t></w:r></w:p>", 4},
    };
    for (const RuleCase& c : cases) {
        MarkUpStore store;
        store.Tokenize(spanOf(c.in));
        std::vector<ByteSpan> segments;
        const std::vector<ByteSpan> kept = {spanOf("rIdKept")};
        EXPECT_EQ(applyFullDocumentRules(store, kept, c.missing, segments), c.status) << c.what;
        EXPECT_EQ(joined(segments), c.out) << c.what;
    }
}

// Long tags, a byte-order mark and nesting past the bound, through both rule sets.
TEST(MarkUpStore, LongTagsMarkAndDepthBound) {
    const std::string longTag = "<w:p w:a=\"" + std::string(600, 'x') + "\" w:b=\">\">";
    const std::string in = "\xEF\xBB\xBF" + body(longTag + "<w:r><w:t>y</w:t></w:r></w:p>");
    MarkUpStore store;
    store.Tokenize(spanOf(in));
    ASSERT_EQ(store.TokenCount(), 11u);
    EXPECT_EQ(store.Token(3).view(), longTag);
    EXPECT_EQ(store.GapBefore(0).view(), "\xEF\xBB\xBF");
    std::vector<ByteSpan> segments;
    EXPECT_EQ(applyFullDocumentRules(store, {}, {}, segments), 0u);
    EXPECT_EQ(joined(segments), in.substr(3));
    segments.clear();
    EXPECT_EQ(applyTextOnlyRules(store, segments), 0u);
    EXPECT_EQ(joined(segments), body("<w:p><w:r><w:t>y</w:t></w:r></w:p>"));

    // Elements never closed: the walk stops at the bound and keeps what came before.
    std::string deep = kDecl + "<w:body>";
    for (uint32_t i = 0; i < kMaxMarkupDepth * 4; ++i)
        deep += "<a>";
    store.Tokenize(spanOf(deep));
    EXPECT_TRUE(store.TooDeep());
    EXPECT_EQ(store.TokenCount(), kMaxMarkupDepth);
    segments.clear();
    EXPECT_EQ(applyFullDocumentRules(store, {}, {}, segments), 4u);
    EXPECT_EQ(joined(segments).size(), kDecl.size() + 8 + (kMaxMarkupDepth - 2) * 3);
    segments.clear();
    EXPECT_EQ(applyTextOnlyRules(store, segments), 4u);
    // Balanced nesting at the bound is still a document.
    std::string atBound = kDecl;
    for (uint32_t i = 1; i < kMaxMarkupDepth; ++i)
        atBound += "<a>";
    for (uint32_t i = 1; i < kMaxMarkupDepth; ++i)
        atBound += "</a>";
    store.Tokenize(spanOf(atBound));
    EXPECT_FALSE(store.TooDeep());
    segments.clear();
    EXPECT_EQ(applyFullDocumentRules(store, {}, {}, segments), 0u);
    EXPECT_EQ(joined(segments), atBound);
}

TEST(TextOnlyRules, Cases) {
    const RuleCase cases[] = {
        {"paragraph attributes go, hyperlink tags go, runs and text stay",
         body("<w:p w:rsidR=\"1\"><w:hyperlink r:id=\"x\"><w:r><w:rPr><w:rFonts "
              "w:ascii=\"A\"/><w:b/>"
              "</w:rPr><w:t>link</w:t></w:r></w:hyperlink><w:bookmarkStart w:id=\"0\"/></w:p><w:p "
              "w:rsidR=\"2\"/>"),
         body("<w:p><w:r><w:rPr><w:b/></w:rPr><w:t>link</w:t></w:r></w:p><w:p/>")},
        {"tabs and breaks in runs separate words; tab stops do not survive",
         body("<w:p><w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr><w:r>"
              "<w:t>a</w:t><w:tab/><w:t>b</w:t><w:br "
              "w:type=\"page\"/><w:t>c</w:t><w:cr/></w:r></w:p>"),
         body("<w:p><w:pPr></w:pPr><w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t><w:cr/>"
              "</w:r></w:p>")},
        {"tables are kept",
         body("<w:tbl><w:tblPr><w:tblW w:w=\"0\"/></w:tblPr><w:tr><w:tc><w:p><w:r><w:t>c</w:t>"
              "</w:r></w:p></w:tc></w:tr></w:tbl>"),
         body("<w:tbl><w:tblPr><w:tblW w:w=\"0\"/></w:tblPr><w:tr><w:tc><w:p><w:r><w:t>c</w:t>"
              "</w:r></w:p></w:tc></w:tr></w:tbl>")},
        {"mismatched closing tag stops the walk", body("<w:p><w:r></w:p>"),
         kDecl + "<w:document><w:body><w:p><w:r>", 4},
        {"closing tags with nothing open are not checked", "<?xml/></w:t></w:x>", "<?xml/></w:t>"},
    };
    for (const RuleCase& c : cases) {
        MarkUpStore store;
        store.Tokenize(spanOf(c.in));
        std::vector<ByteSpan> segments;
        EXPECT_EQ(applyTextOnlyRules(store, segments), c.status) << c.what;
        EXPECT_EQ(joined(segments), c.out) << c.what;
    }
}

}  // namespace
}  // namespace morvel
