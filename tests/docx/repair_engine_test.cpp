#include <gtest/gtest.h>

#include <map>
#include <set>

#include "docx/office_broken_repair_2007.h"
#include "docx/template_store_writer.h"
#include "platform/le_reader.h"
#include "tests/support/test_files.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
const std::string kRels =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";

using Parts = std::map<std::string, std::string>;

Parts samplePackage() {
    return {
        {"[Content_Types].xml",
         kDecl + "<Types><Override PartName=\"/word/document.xml\" ContentType=\"m\"/>"
                 "<Override PartName=\"/word/styles.xml\" ContentType=\"s\"/>"
                 "<Override PartName=\"/word/footer1.xml\" ContentType=\"f\"/>"
                 "<Override PartName=\"/word/charts/chart1.xml\" ContentType=\"c\"/></Types>"},
        {"word/document.xml",
         kDecl + "<w:document><w:body>\n"
                 "<w:p><w:pPr><w:pStyle w:val=\"Title\"/></w:pPr><w:r><w:t>Title "
                 "text</w:t></w:r></w:p>\n"
                 "<w:p><w:r><w:drawing><a:blip r:embed=\"rId2\"/></w:drawing></w:r></w:p>\n"
                 "<w:p><w:hyperlink r:id=\"rId4\"><w:r><w:t>link</w:t></w:r></w:hyperlink></w:p>\n"
                 "<w:sectPr><w:footerReference r:id=\"rId3\"/></w:sectPr></w:body></w:document>"},
        {"word/_rels/document.xml.rels",
         kDecl + kRels +
             "<Relationship Id=\"rId1\" Type=\"t\" Target=\"styles.xml\"/>"
             "<Relationship Id=\"rId2\" Type=\"t\" Target=\"media/image1.png\"/>"
             "<Relationship Id=\"rId3\" Type=\"t\" Target=\"footer1.xml\"/>"
             "<Relationship Id=\"rId4\" Type=\"t\" Target=\"http://x.test/\" "
             "TargetMode=\"External\"/></Relationships>"},
        {"word/styles.xml", kDecl + "<w:styles/>"},
        {"word/media/image1.png", std::string(300, '\x89')},
        {"word/footer1.xml", kDecl + "<w:ftr><w:p><w:r><w:t>foot</w:t></w:r></w:p></w:ftr>"},
        {"word/charts/chart1.xml", kDecl + "<c:chartSpace/>"},
    };
}

// The package with the CRC of each named entry spoiled in its local header and its central
// record, so the salvage loses it.
std::vector<uint8_t> build(const Parts& parts, const std::set<std::string>& lost = {}) {
    test::ZipBuilder zip;
    std::vector<uint8_t> bytes;
    std::vector<size_t> spoil;
    for (const auto& [name, content] : parts) {
        size_t at = zip.add(name, content);
        if (lost.count(name))
            spoil.push_back(at);
    }
    for (test::ZipBuilder::Central& c : zip.central())
        if (lost.count(c.name))
            c.crc ^= 0xFF;
    bytes = zip.finish();
    for (size_t at : spoil)
        bytes[at + 14] ^= 0xFF;
    return bytes;
}

const std::vector<uint8_t>& realStore() {
    static const std::vector<uint8_t> store = test::readFile(MORVEL_TEMPLATE_STORE);
    return store;
}

struct Result {
    int status = -1;
    std::string message;
    bool written = false;
    std::vector<std::string> names;
    Parts content;  // first entry of each name
};

Result run(const std::vector<uint8_t>& package, bool full,
           const std::vector<uint8_t>& store = realStore()) {
    test::TempDir dir;
    test::writeFile(dir.path() / "in.docx", package);
    OfficeBrokenRepair_2007 engine;
    EXPECT_EQ(engine.OpenDamaged(dir.path() / "in.docx"), 0);
    engine.LoadTemplateStore(store.data(), static_cast<uint32_t>(store.size()));
    const auto out = dir.path() / "out";
    Result r;
    r.status = full ? engine.WriteFullPackage(out) : engine.WriteTextPackage(out);
    r.message = std::string(engine.Message().view());
    r.written = std::filesystem::exists(out);
    if (r.written) {
        std::vector<uint8_t> bytes = test::readFile(out);
        ZipBrokenExtractor z;
        z.OpenMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
        for (uint32_t i = 0; i < z.EntryCount(); ++i) {
            std::string name(z.Entry(i).name.view());
            r.names.push_back(name);
            r.content.emplace(name, std::string(z.GetEntryData(i).view()));
        }
    }
    return r;
}

const std::string kCleanDocument =
    kDecl +
    "<w:document><w:body>"
    "<w:p><w:pPr><w:pStyle w:val=\"Title\"/></w:pPr><w:r><w:t>Title text</w:t></w:r></w:p>"
    "<w:p><w:r><w:drawing><a:blip r:embed=\"rId2\"/></w:drawing></w:r></w:p>"
    "<w:p><w:hyperlink r:id=\"rId4\"><w:r><w:t>link</w:t></w:r></w:hyperlink></w:p>"
    "<w:sectPr><w:footerReference r:id=\"rId3\"/></w:sectPr></w:body></w:document>";

TEST(OfficeBrokenRepair2007, FullPackageOfAnIntactPackage) {
    Result r = run(build(samplePackage()), true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.message, "O'k");
    EXPECT_EQ(r.names, (std::vector<std::string>{
                           "word/document.xml", "word/footer1.xml", "[Content_Types].xml",
                           "word/_rels/document.xml.rels", "word/charts/chart1.xml",
                           "word/media/image1.png", "word/styles.xml"}));
    EXPECT_EQ(r.content["word/document.xml"], kCleanDocument);
    EXPECT_EQ(r.content["word/_rels/document.xml.rels"],
              samplePackage()["word/_rels/document.xml.rels"]);
}

TEST(OfficeBrokenRepair2007, FullPackageAfterLosses) {
    struct Case {
        const char* what;
        std::set<std::string> lost;
        int status;
        std::string document;            // expected main document, empty: not checked
        std::vector<std::string> added;  // entries that must come from the template
    } cases[] = {
        {"lost image: its paragraph is emptied",
         {"word/media/image1.png"},
         0,
         kDecl + "<w:document><w:body><w:p><w:pPr><w:pStyle w:val=\"Title\"/></w:pPr><w:r><w:t>"
                 "Title text</w:t></w:r></w:p><w:p/><w:p><w:hyperlink r:id=\"rId4\"><w:r><w:t>link"
                 "</w:t></w:r></w:hyperlink></w:p><w:sectPr><w:footerReference r:id=\"rId3\"/>"
                 "</w:sectPr></w:body></w:document>",
         {}},
        {"lost relationships: every referring paragraph is emptied, the template's part added",
         {"word/_rels/document.xml.rels"},
         0,
         kDecl + "<w:document><w:body><w:p><w:pPr><w:pStyle w:val=\"Title\"/></w:pPr><w:r><w:t>"
                 "Title text</w:t></w:r></w:p><w:p/><w:p/><w:sectPr></w:sectPr></w:body>"
                 "</w:document>",
         {"word/_rels/document.xml.rels"}},
        {"lost styles: style references go, the template's styles come",
         {"word/styles.xml"},
         0,
         "",
         {"word/styles.xml"}},
        {"lost footer: the template's blank one comes",
         {"word/footer1.xml"},
         0,
         "",
         {"word/footer1.xml"}},
        {"lost part that is in neither package", {"word/charts/chart1.xml"}, 10, "", {}},
    };
    for (const Case& c : cases) {
        Result r = run(build(samplePackage(), c.lost), true);
        EXPECT_EQ(r.status, c.status) << c.what;
        ASSERT_TRUE(r.written) << c.what;
        if (!c.document.empty()) {
            EXPECT_EQ(r.content["word/document.xml"], c.document) << c.what;
        }
        for (const std::string& name : c.added) {
            EXPECT_EQ(r.names.back(), name) << c.what;
        }
        if (c.lost.count("word/media/image1.png")) {
            // The relationship to the lost image goes; the others stay as they were.
            const std::string rels = r.content["word/_rels/document.xml.rels"];
            EXPECT_EQ(rels.find("image1"), std::string::npos);
            EXPECT_NE(rels.find("<Relationship Id=\"rId1\" Type=\"t\" Target=\"styles.xml\"/>"),
                      std::string::npos);
        }
        if (c.lost.count("word/styles.xml")) {
            EXPECT_EQ(r.content["word/document.xml"].find("pStyle"), std::string::npos);
            EXPECT_NE(r.content["word/styles.xml"].find("w:docDefaults"), std::string::npos);
        }
    }
}

TEST(OfficeBrokenRepair2007, BrokenFooterIsReportedButThePackageIsWritten) {
    Parts parts = samplePackage();
    parts["word/footer1.xml"] = kDecl + "<w:ftr><w:p><w:r></w:p></w:ftr>";
    Result r = run(build(parts), true);
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(r.written);
    EXPECT_EQ(r.content["word/document.xml"], kCleanDocument);
}

TEST(OfficeBrokenRepair2007, TargetsAreResolvedAgainstThePartFolder) {
    for (const std::string target : {"/word/media/image1.png", "./media/../media/image1.png"}) {
        Parts parts = samplePackage();
        std::string& rels = parts["word/_rels/document.xml.rels"];
        rels.replace(rels.find("media/image1.png"), 16, target);
        Result r = run(build(parts), true);
        EXPECT_EQ(r.status, 0) << target;
        EXPECT_EQ(r.content["word/document.xml"], kCleanDocument) << target;
        EXPECT_EQ(r.content["word/_rels/document.xml.rels"], rels) << target;
    }
}

TEST(OfficeBrokenRepair2007, PartWithoutDeclarationIsCopiedAsSalvaged) {
    Parts parts = samplePackage();
    parts["word/document.xml"] = "<w:document><w:body><w:p/></w:body></w:document>";
    Result r = run(build(parts), true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.content["word/document.xml"], parts["word/document.xml"]);
}

TEST(OfficeBrokenRepair2007, TextPackage) {
    Result r = run(build(samplePackage()), false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.content["word/document.xml"],
              kDecl +
                  "<w:document><w:body><w:p><w:pPr></w:pPr><w:r><w:t>Title text</w:t></w:r></w:p>"
                  "<w:p><w:r></w:r></w:p><w:p><w:r><w:t>link</w:t></w:r></w:p><w:sectPr>"
                  "</w:sectPr></w:body></w:document>");
    // Every template part, then the new main document.
    EXPECT_EQ(r.names.front(), "[Content_Types].xml");
    EXPECT_EQ(r.names.back(), "word/document.xml");
    EXPECT_GE(r.names.size(), 12u);
}

TEST(OfficeBrokenRepair2007, FailuresWriteNothing) {
    const std::vector<uint8_t> notZip(2000, 'P');
    const std::vector<uint8_t> noPackages = buildTemplateStore({}, "n", 1);
    Parts emptyDoc = samplePackage();
    emptyDoc["word/document.xml"] = "";
    Parts noDecl = samplePackage();
    noDecl["word/document.xml"] = "<w:document/>";
    struct Case {
        const char* what;
        std::vector<uint8_t> package;
        bool full;
        int status;
        const std::vector<uint8_t>* store;
    } cases[] = {
        {"not a package, full", notZip, true, 9, &realStore()},
        {"not a package, text", notZip, false, 7, &realStore()},
        {"no content types", build(samplePackage(), {"[Content_Types].xml"}), true, 9,
         &realStore()},
        {"no main document", build(samplePackage(), {"word/document.xml"}), true, 7, &realStore()},
        {"empty main document", build(emptyDoc), false, 6, &realStore()},
        {"main document yields nothing", build(noDecl), false, 6, &realStore()},
        {"store without packages, full", build(samplePackage()), true, 12, &noPackages},
        {"store without packages, text", build(samplePackage()), false, 3, &noPackages},
    };
    for (const Case& c : cases) {
        Result r = run(c.package, c.full, *c.store);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_FALSE(r.written) << c.what;
    }
    test::TempDir dir;
    test::writeFile(dir.path() / "in.docx", build(samplePackage()));
    OfficeBrokenRepair_2007 engine;
    engine.OpenDamaged(dir.path() / "in.docx");
    EXPECT_EQ(engine.WriteFullPackage(dir.path() / "out"), 11);
    EXPECT_EQ(std::string(engine.Message().view()), "Templates not linked");
    const std::vector<uint8_t>& store = realStore();
    engine.LoadTemplateStore(store.data(), static_cast<uint32_t>(store.size()));
    EXPECT_EQ(engine.WriteFullPackage(dir.path() / "no" / "such" / "folder"), 14);
    EXPECT_EQ(engine.WriteTextPackage(dir.path() / "no" / "such" / "folder"), 14);
    EXPECT_EQ(engine.OpenDamaged(dir.path() / "missing.docx"), 1);
}

}  // namespace
}  // namespace morvel
