#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "docx/markup_repair.h"
#include "docx/markup_repair_roots.h"
#include "docx/markup_rules.h"
#include "docx/markup_store.h"
#include "docx/markup_wellformed.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
const std::string kRoot =
    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";

// A main document with a centred paragraph, a table holding a nested table, a paragraph
// with a lost picture's drawing, and a section.
const std::string kDocument =
    kDecl + kRoot +
    "<w:body><w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr><w:r><w:t>Alpha beta</w:t></w:r>"
    "</w:p><w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/></w:tblPr><w:tr><w:tc><w:p><w:r>"
    "<w:t>Cell one</w:t></w:r></w:p><w:tbl><w:tr><w:tc><w:p><w:r><w:t>Inner cell</w:t></w:r>"
    "</w:p></w:tc></w:tr></w:tbl></w:tc></w:tr></w:tbl><w:p><w:r><w:t xml:space=\"preserve\">"
    "Gamma delta</w:t></w:r><w:r><w:tab/><w:t>Epsilon</w:t></w:r></w:p><w:sectPr><w:pgSz "
    "w:w=\"11906\"/></w:sectPr></w:body></w:document>";

std::string before(const std::string& s, const std::string& mark, int shift) {
    return s.substr(0, s.find(mark) + shift);
}

std::string from(const std::string& s, const std::string& mark, int shift = 0) {
    return s.substr(s.find(mark) + shift);
}

std::string str(const std::vector<uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

// The text the text-only rules keep from a repaired main document.
std::string textOnlyWords(const std::string& part) {
    MarkUpStore store;
    store.Tokenize(spanOf(part));
    std::vector<ByteSpan> segments;
    EXPECT_EQ(applyTextOnlyRules(store, segments), 0u) << part;
    std::string all;
    for (ByteSpan s : segments)
        all += s.view();
    std::string text;
    bool inTag = false;
    for (char c : all) {
        if (c == '<')
            inTag = true;
        else if (c == '>')
            inTag = false, text += ' ';
        else if (!inTag)
            text += c;
    }
    return text;
}

struct RepairCase {
    const char* what;
    std::string in;
    std::vector<std::string> words;  // must survive, as text the text-only rules keep
    PartRole role = PartRole::MainDocument;
};

const std::vector<RepairCase>& repairCases() {
    static const std::vector<RepairCase> cases = {
        {"intact", kDocument, {"Alpha beta", "Cell one", "Inner cell", "Gamma delta", "Epsilon"}},
        {"byte-order mark", "\xEF\xBB\xBF" + kDocument, {"Alpha beta", "Epsilon"}},
        {"cut inside a tag", before(kDocument, "<w:t>Cell one", 3), {"Alpha beta"}},
        {"cut inside an attribute value", before(kDocument, "center", 3), {}},
        {"cut inside text",
         before(kDocument, "Gamma delta", 5),
         {"Alpha beta", "Cell one", "Inner cell", "Gamma"}},
        {"cut inside a nested table",
         before(kDocument, "Inner cell", 10),
         {"Alpha beta", "Cell one", "Inner cell"}},
        {"gap joining a tag to a later one",
         before(kDocument, "<w:jc", 6) + from(kDocument, "<w:tc><w:p><w:r><w:t>Inner", 7),
         {"Inner cell", "Gamma delta", "Epsilon"}},
        {"gap joining text to a later paragraph's text",
         before(kDocument, "Alpha", 3) + from(kDocument, "a delta"),
         {"Alpa delta", "Epsilon"}},
        {"gap leaving a run open at a new paragraph",
         before(kDocument, "Cell one", 4) + from(kDocument, "<w:p><w:r><w:t xml:space"),
         {"Alpha beta", "Cell", "Gamma delta"}},
        {"lost start: text and closing tags first",
         from(kDocument, "ta</w:t>"),
         {"ta", "Cell one", "Inner cell", "Gamma delta", "Epsilon"}},
        {"lost start inside a cell",
         from(kDocument, "one</w:t>"),
         {"one", "Inner cell", "Gamma delta"}},
        {"lost start: orphan run and cells",
         "<w:r><w:t>orphan</w:t></w:r></w:p></w:tc><w:tc><w:p><w:r><w:t>cell</w:t></w:r></w:p>"
         "</w:tc></w:tr><w:tr><w:tc><w:p><w:r><w:t>row</w:t></w:r></w:p></w:tc></w:tr></w:tbl>"
         "<w:r><w:t>stray</w:t></w:r><w:tab/>",
         {"orphan", "cell", "row", "stray"}},
        {"garbage bytes in text and tags",
         before(kDocument, "beta", 0) + "b\x01\xFF\xC3(e\xEF\xBF\xBEta & <<>> &#1; &amp; ]]> " +
             from(kDocument, "</w:t>").insert(6, "\x02<w:r\xFF>"),
         {"b(eta &amp; ", "&amp;#1; &amp; ]]&gt; "}},
        {"an unknown prefix and a repeated attribute",
         kDecl + kRoot +
             "<w:body><x:p><w:p xmlns:xml=\"u\" xmlns:e=\"\" w:rsidR=\"1\" "
             "w:rsidR=\"2\"><w:r><w:t>kept</w:t>"
             "</w:r></w:p></x:p></w:body></w:document>",
         {"kept"}},
        {"header with its start lost", "ext</w:t></w:r></w:p></w:hdr>", {"ext"}, PartRole::Header},
        {"relationships cut",
         "<?xml version=\"1.0\"?><Relationships "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
         "Id=\"rId1\" Target=\"styles.xml\"/><Relationship Id=\"rId2\" Tar",
         {},
         PartRole::Relationships},
        {"relationships with the start lost",
         "p\" Target=\"a.xml\"/><Relationship Id=\"rId2\" "
         "Target=\"b.xml\"/>",
         {},
         PartRole::Relationships},
    };
    return cases;
}

TEST(RepairMarkup, DamagedPartsBecomeWellFormedAndKeepTheirWords) {
    for (const RepairCase& c : repairCases()) {
        const std::string out = str(repairMarkup(spanOf(c.in), c.role));
        EXPECT_EQ(markupFault(out), "") << c.what << "\n" << out;
        if (c.role == PartRole::MainDocument || c.role == PartRole::Header) {
            const std::string text = textOnlyWords(out);
            for (const std::string& w : c.words)
                EXPECT_NE(text.find(w), std::string::npos) << c.what << ": " << w << "\n" << out;
        }
        // The full-document rules take the repaired part whole.
        MarkUpStore store;
        store.Tokenize(spanOf(out));
        std::vector<ByteSpan> segments;
        EXPECT_EQ(applyFullDocumentRules(store, {}, {}, segments), 0u) << c.what;
        EXPECT_GT(store.TokenCount(), 0u) << c.what;
    }
}

TEST(RepairMarkup, ExactRepairs) {
    const std::string w =
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
    const std::string open = kDecl + "<w:document " + w + "><w:body>";
    struct Case {
        const char* what;
        std::string in, out;
        PartRole role = PartRole::MainDocument;
    } cases[] = {
        {"an intact part passes unchanged", kDocument, kDocument},
        {"the byte-order mark stays", "\xEF\xBB\xBF" + kDocument, "\xEF\xBB\xBF" + kDocument},
        {"open elements close in reverse order", open + "<w:p><w:r><w:t>ab",
         open + "<w:p><w:r><w:t>ab</w:t></w:r></w:p></w:body></w:document>"},
        {"a close tag further up closes those between; one matching nothing goes",
         open + "<w:p><w:r><w:t>a</w:t></w:tc></w:p><w:p/>",
         open + "<w:p><w:r><w:t>a</w:t></w:r></w:p><w:p/></w:body></w:document>"},
        {"a broken tag goes up to its '>', the text after it stays",
         open + "<w:p><w:r w:rsidR=\"00>x</w:r></w:p>",
         open + "<w:p><w:r><w:t xml:space=\"preserve\">x</w:t></w:r></w:p></w:body></w:document>"},
        {"a quoted '>' is part of the value", open + "<w:p w:x=\"a>b\"/>",
         open + "<w:p w:x=\"a>b\"/></w:body></w:document>"},
        {"text in a paragraph gets a run", open + "<w:p>loose</w:p>",
         open + "<w:p><w:r><w:t xml:space=\"preserve\">loose</w:t></w:r></w:p></w:body>"
                "</w:document>"},
        {"a lost body comes back", kDecl + "<w:document " + w + "><w:p/>",
         open + "<w:p/></w:body></w:document>"},
        {"tab stops stay in their paragraph properties",
         open + "<w:p><w:pPr><w:tabs><w:tab w:val=\"left\"/></w:tabs></w:pPr></w:p>",
         open + "<w:p><w:pPr><w:tabs><w:tab w:val=\"left\"/></w:tabs></w:pPr></w:p></w:body>"
                "</w:document>"},
        {"other parts keep their root, which closes only at the end",
         "<?xml version=\"1.0\"?>junk<a><b>x</b></a><c/>",
         "<?xml version=\"1.0\"?><a><b>x</b><c/></a>", PartRole::Other},
        {"a whole part of another kind keeps its own root",
         kDecl + "<w:glossaryDocument " + w + "><w:docParts/></w:glossaryDocument>",
         kDecl + "<w:glossaryDocument " + w + "><w:docParts/></w:glossaryDocument>"},
        {"an element declaring namespaces after a lost start is no root",
         "x</w:t><a:graphic xmlns:a=\"u\"/>",
         kDecl + "\r\n" + std::string(repairRootOf(PartRole::Header).openTag) +
             "<w:p><w:r><w:t xml:space=\"preserve\">x</w:t><a:graphic xmlns:a=\"u\"/></w:r></w:p>"
             "</w:hdr>",
         PartRole::Header},
        {"text keeps its characters, escapes markup and drops what is no XML",
         open + "<w:p><w:r><w:t>a\x01"
                "b&c&amp;d]]>e>\xC3\xA9"
                "f\xFF"
                "g\xE2\x82"
                "h\xF0\x9F\x98\x80</w:t>",
         open + "<w:p><w:r><w:t>ab&amp;c&amp;d]]&gt;e>\xC3\xA9"
                "fgh\xF0\x9F\x98\x80</w:t></w:r></w:p>"
                "</w:body></w:document>"},
        {"nothing to make a part of", "\x01\x02 junk", "", PartRole::Other},
        {"a declaration in another encoding is replaced",
         "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<a/>",
         PartRole::Other},  // A flipped byte in the declaration makes a reader refuse the whole
                            // part.
        {"a damaged attribute name in the declaration replaces it",
         "<?xml version=\"1.0\" encoeo7g=\"UTF-8\" standalone=\"yes\"?><a/>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<a/>", PartRole::Other},
        {"a lost quote in the declaration replaces it",
         "<?xml version=\"1Rblioncoding=\"UTF-8\" standalone=\"yes\"?><a/>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<a/>", PartRole::Other},
        {"a sound declaration with single quotes and spaces is kept",
         "<?xml version = '1.0' encoding='utf-8'?><a/>",
         "<?xml version = '1.0' encoding='utf-8'?><a/>", PartRole::Other},
    };
    for (const Case& c : cases) {
        const std::string out = str(repairMarkup(spanOf(c.in), c.role));
        EXPECT_EQ(out, c.out) << c.what;
        if (!out.empty()) {
            EXPECT_EQ(markupFault(out), "") << c.what;
        }
    }
}

TEST(RepairMarkup, LostRootIsRebuiltForTheRole) {
    struct Case {
        PartRole role;
        std::string name, root;
    } cases[] = {
        {PartRole::MainDocument, "word/document.xml", "<w:document "},
        {PartRole::Header, "word/header2.xml", "<w:hdr "},
        {PartRole::Footer, "word/footer1.xml", "<w:ftr "},
        {PartRole::Footnotes, "word/footnotes.xml", "<w:footnotes "},
        {PartRole::Styles, "word/styles.xml", "<w:styles "},
        {PartRole::Relationships, "word/_rels/document.xml.rels", "<Relationships "},
        {PartRole::ContentTypes, "[Content_Types].xml", "<Types "},
        {PartRole::Other, "word/glossary/document.xml", "<?xml "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(partRoleOf(c.name), c.role) << c.name;
        const std::string out = str(repairMarkup(spanOf("t</w:t></w:r>"), c.role));
        if (c.role == PartRole::Other) {
            EXPECT_EQ(out, "") << "no root is known to rebuild";
            continue;
        }
        EXPECT_EQ(markupFault(out), "") << c.name << "\n" << out;
        EXPECT_NE(out.find(c.root), std::string::npos) << c.name;
    }
    // Without a role, the part's own markup tells.
    const std::string out = str(repairMarkup(spanOf("t</w:t></w:r></w:p><w:p><w:r><w:t>u")));
    EXPECT_NE(out.find("<w:document "), std::string::npos);
    EXPECT_NE(out.find("xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/"
                       "wordprocessingDrawing\""),
              std::string::npos);
    EXPECT_NE(textOnlyWords(out).find("u"), std::string::npos);
}

TEST(MarkupFault, FindsTheFaults) {
    const char* bad[] = {
        "",
        "<a>",
        "<a></b>",
        "<a/><b/>",
        "<a b='1' b='2'/>",
        "<a b=1/>",
        "<a>&bogus;</a>",
        "<a>\x01</a>",
        "<a>\xC3</a>",
        "<a>]]></a>",
        "<x:a/>",
        "<a x:b='1'/>",
        "<a xmlns:xml='u'/>",
        "text<a/>",
        "<a b='<'/>",
        "<?xml version=\"1.0\" encodinh=\"UTF-8\"?><a/>",
        "<?xml version=\"1.0\" standalone=\"maybe\"?><a/>",
        "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?><a/>",
        "<?xml version=\"2.0\"?><a/>",
        "<?xml version=\"1.0'?><a/>",
    };
    for (const char* s : bad)
        EXPECT_NE(markupFault(s), "") << s;
    EXPECT_EQ(markupFault("\xEF\xBB\xBF<?xml version=\"1.0\"?><x:a xmlns:x=\"u\" x:b=\"&#x41;\">"
                          "<![CDATA[<]]><!-- c --><?pi?>\xC3\xA9</x:a>"),
              "");
}

// The repaired parts also open in an independent XML reader, when one is installed.
TEST(RepairMarkup, OutputsParseInPython) {
    if (std::system("python3 -c 'import xml.dom.minidom' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is not installed";
    test::TempDir dir;
    std::string command =
        "python3 -c 'import sys, xml.dom.minidom\n"
        "for f in sys.argv[1:]: xml.dom.minidom.parse(f)'";
    int n = 0;
    for (const RepairCase& c : repairCases()) {
        const auto path = dir.path() / (std::to_string(n++) + ".xml");
        std::ofstream(path, std::ios::binary) << str(repairMarkup(spanOf(c.in), c.role));
        command += " " + path.string();
    }
    EXPECT_EQ(std::system(command.c_str()), 0);
}

}  // namespace
}  // namespace morvel
