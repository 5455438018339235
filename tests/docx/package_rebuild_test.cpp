// The package rebuild keeps every part it can: lost bookkeeping parts are written anew, lost
// parts the template cannot supply are left out with every reference to them, damaged parts
// are decoded as far as they go, and every package built says what became of its parts.
#include <gtest/gtest.h>

#include <map>

#include "docx/office_broken_repair_2007.h"
#include "tests/support/docx_checks.h"
#include "tests/support/test_files.h"
#include "tests/support/word_package.h"

namespace morvel {
namespace {

const std::string kChecker = std::string(MORVEL_TEST_DIR) + "/check_docx_outputs.py";

const std::vector<uint8_t>& realStore() {
    static const std::vector<uint8_t> store = test::readFile(MORVEL_TEMPLATE_STORE);
    return store;
}

struct Built {
    int status = -1;
    std::vector<uint8_t> bytes;
    std::vector<std::string> names;
    std::map<std::string, std::string> content;  // first entry of each name
    PackageReport report;

    bool has(const std::string& part, const std::string& text) const {
        auto it = content.find(part);
        return it != content.end() && it->second.find(text) != std::string::npos;
    }
    const PartReport* part(const std::string& name) const {
        for (const PartReport& p : report.parts)
            if (p.name == name)
                return &p;
        return nullptr;
    }
};

Built readBack(int status, std::vector<uint8_t> bytes, const PackageReport& report) {
    Built b;
    b.status = status;
    b.report = report;
    b.bytes = std::move(bytes);
    ZipBrokenExtractor z;
    z.OpenMemory(b.bytes.data(), static_cast<uint32_t>(b.bytes.size()));
    for (uint32_t i = 0; i < z.EntryCount(); ++i) {
        const std::string name(z.Entry(i).name.view());
        b.names.push_back(name);
        b.content.emplace(name, std::string(z.GetEntryData(i).view()));
    }
    return b;
}

// Both packages from one engine over one salvage scan, as the driver builds them.
std::pair<Built, Built> recoverBoth(const std::vector<uint8_t>& input) {
    OfficeBrokenRepair_2007 engine;
    EXPECT_EQ(engine.OpenDamaged(std::span<const uint8_t>(input)), 0);
    EXPECT_EQ(
        engine.LoadTemplateStore(realStore().data(), static_cast<uint32_t>(realStore().size())), 0);
    std::vector<uint8_t> text, full;
    const int textStatus = engine.WriteTextPackage(text);
    Built t = readBack(textStatus, std::move(text), engine.Report());
    const int fullStatus = engine.WriteFullPackage(full);
    Built f = readBack(fullStatus, std::move(full), engine.Report());
    return {std::move(t), std::move(f)};
}

TEST(PackageRebuild, LostPartsNeverSinkTheFullDocument) {
    const std::string ct = "[Content_Types].xml", pkgRels = "_rels/.rels",
                      docRels = "word/_rels/document.xml.rels", doc = "word/document.xml";
    struct Expect {
        std::string part, text;
    };
    struct Case {
        const char* what;
        std::set<std::string> lost;
        int status;
        std::vector<std::pair<std::string, PartState>> states;
        std::vector<Expect> present, absent;
        std::string summary;
    } cases[] = {
        {"content types lost: rebuilt from the parts present",
         {ct},
         kDocxContentTypesNotFound,
         {{ct, PartState::Synthesised}},
         {{ct,
           "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
           "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"},
          {ct, "PartName=\"/word/footer1.xml\""},
          {ct, "PartName=\"/word/charts/chart1.xml\""},
          {ct, "PartName=\"/docProps/core.xml\""},
          {ct, "<Default Extension=\"png\" ContentType=\"image/png\"/>"},
          {doc, "Echo closing words"}},
         {},
         "content types rebuilt"},
        {"package relationships lost: rebuilt",
         {pkgRels},
         kDocxOk,
         {{pkgRels, PartState::Synthesised}},
         {{pkgRels, "relationships/officeDocument\" Target=\"word/document.xml\""},
          {pkgRels, "Target=\"docProps/core.xml\""},
          {pkgRels, "Target=\"docProps/app.xml\""}},
         {},
         "package relationships rebuilt"},
        {"document relationships lost: rebuilt, references that cannot be mapped go",
         {docRels},
         kDocxOk,
         {{docRels, PartState::Synthesised}},
         {{docRels, "relationships/styles\" Target=\"styles.xml\""},
          {docRels, "relationships/footer\" Target=\"footer1.xml\""},
          {docRels, "relationships/image\" Target=\"media/image1.png\""},
          {doc, "Alpha title"},
          {doc, "Echo closing words"}},
         {{doc, "r:id="}, {doc, "r:embed="}, {docRels, "Id=\"rId4\""}},
         "document relationships rebuilt"},
        {"chart lost, template lacks it: left out with its override and relationship",
         {"word/charts/chart1.xml"},
         kDocxLostPartNotInTemplate,
         {{"word/charts/chart1.xml", PartState::LeftOut}},
         {{doc, "Charlie chart"}, {docRels, "media/image1.png"}},
         {{ct, "chart1"}, {docRels, "chart1"}, {doc, "c:chart"}},
         "word/charts/chart1.xml lost"},
        {"image lost: its relationship goes",
         {"word/media/image1.png"},
         kDocxOk,
         {{"word/media/image1.png", PartState::LeftOut}},
         {{doc, "Bravo paragraph"}},
         {{docRels, "image1"}, {doc, "a:blip"}},
         "1 image lost"},
        {"styles lost: the template's come",
         {"word/styles.xml"},
         kDocxOk,
         {{"word/styles.xml", PartState::FromTemplate}},
         {{"word/styles.xml", "w:docDefaults"}},
         {{doc, "w:pStyle"}},
         "word/styles.xml from the template"},
        {"content types and styles lost: the relationships name the styles the template gives",
         {ct, "word/styles.xml"},
         kDocxContentTypesNotFound,
         {{ct, PartState::Synthesised}, {"word/styles.xml", PartState::FromTemplate}},
         {{ct, "PartName=\"/word/styles.xml\""},
          {docRels, "Target=\"styles.xml\""},
          {"word/styles.xml", "w:docDefaults"}},
         {},
         "content types rebuilt; word/styles.xml from the template"},
        {"every bookkeeping part lost",
         {ct, pkgRels, docRels},
         kDocxContentTypesNotFound,
         {{ct, PartState::Synthesised},
          {pkgRels, PartState::Synthesised},
          {docRels, PartState::Synthesised}},
         {{ct, "PartName=\"/word/styles.xml\""}, {doc, "Echo closing words"}},
         {},
         "content types rebuilt; package relationships rebuilt; document relationships rebuilt"},
    };
    std::vector<std::pair<std::string, std::vector<uint8_t>>> outputs;
    for (const Case& c : cases) {
        auto [text, full] = recoverBoth(test::buildWordPackage(test::wordPackageParts(), c.lost));
        EXPECT_EQ(full.status, c.status) << c.what;
        ASSERT_FALSE(full.bytes.empty()) << c.what;
        EXPECT_EQ(text.status, kDocxOk) << c.what;
        for (const auto& [name, state] : c.states) {
            const PartReport* p = full.part(name);
            ASSERT_NE(p, nullptr) << c.what << ": " << name;
            EXPECT_EQ(partStateName(p->state), partStateName(state)) << c.what << ": " << name;
        }
        for (const Expect& e : c.present)
            EXPECT_TRUE(full.has(e.part, e.text)) << c.what << ": " << e.part << " " << e.text;
        for (const Expect& e : c.absent)
            EXPECT_FALSE(full.has(e.part, e.text)) << c.what << ": " << e.part << " " << e.text;
        EXPECT_EQ(full.report.summary(), c.summary) << c.what;
        // Every part the report lists as in the package is there, and no other.
        std::set<std::string> reported;
        for (const PartReport& p : full.report.parts)
            if (p.state != PartState::LeftOut)
                reported.insert(p.name);
        EXPECT_EQ(reported, std::set<std::string>(full.names.begin(), full.names.end())) << c.what;
        outputs.emplace_back(std::string(c.what) + " full", full.bytes);
        outputs.emplace_back(std::string(c.what) + " text", text.bytes);
    }
    if (!test::pythonDocxAvailable())
        GTEST_SKIP() << "python3-docx is not installed";
    EXPECT_EQ(test::packagesThatDoNotOpen(kChecker, outputs), "");
}

TEST(PackageRebuild, IntactPackageKeepsEveryEntryAsItWas) {
    const test::PackageParts parts = test::wordPackageParts();
    auto [text, full] = recoverBoth(test::buildWordPackage(parts));
    EXPECT_EQ(full.status, kDocxOk);
    // The rewritten parts first, then every other entry in scan order, unchanged.
    std::vector<std::string> names = {"word/document.xml", "word/footer1.xml"};
    for (const auto& [name, content] : parts)
        if (name != "word/document.xml" && name != "word/footer1.xml")
            names.push_back(name);
    EXPECT_EQ(full.names, names);
    for (const auto& [name, content] : parts) {
        // The rewritten parts lose the whitespace between their tags; the rest is unchanged.
        if (name != names[0] && name != names[1]) {
            EXPECT_EQ(full.content[name], content) << name;
        }
        const PartReport* p = full.part(name);
        ASSERT_NE(p, nullptr) << name;
        EXPECT_EQ(p->state, PartState::Intact) << name;
    }
    EXPECT_EQ(full.report.summary(), "");
    EXPECT_EQ(text.status, kDocxOk);
    EXPECT_TRUE(text.has("word/document.xml", "Echo closing words"));
    if (test::pythonDocxAvailable()) {
        EXPECT_EQ(
            test::packagesThatDoNotOpen(kChecker, {{"full", full.bytes}, {"text", text.bytes}}),
            "");
    }
}

TEST(PackageRebuild, CutOffMainDocumentKeepsItsStartInBothPackages) {
    const std::vector<uint8_t> input =
        test::buildCutOffWordPackage(test::wordPackageParts(), "Charlie ch");
    ZipBrokenExtractor scan;
    scan.OpenMemory(input.data(), static_cast<uint32_t>(input.size()));
    if (scan.FindDamaged(spanOf("word/document.xml")) == kEntryNotFound)
        GTEST_SKIP() << "the salvage scan does not list damaged entries yet";
    auto [text, full] = recoverBoth(input);
    for (const Built* b : {&text, &full}) {
        const char* which = b == &text ? "text" : "full";
        EXPECT_EQ(b->status, kDocxOk) << which;
        EXPECT_TRUE(b->has("word/document.xml", "Alpha title")) << which;
        EXPECT_TRUE(b->has("word/document.xml", "Bravo paragraph")) << which;
        EXPECT_FALSE(b->has("word/document.xml", "Echo")) << which;
        const PartReport* p = b->part("word/document.xml");
        ASSERT_NE(p, nullptr) << which;
        EXPECT_EQ(p->state, PartState::Partial) << which;
        EXPECT_GT(p->decodedBytes, 0u) << which;
        EXPECT_LT(p->decodedBytes, p->declaredBytes) << which;
    }
    EXPECT_TRUE(full.report.summary().starts_with("word/document.xml: partial, "))
        << full.report.summary();
    if (test::pythonDocxAvailable()) {
        EXPECT_EQ(
            test::packagesThatDoNotOpen(kChecker, {{"full", full.bytes}, {"text", text.bytes}}),
            "");
    }
}

// A main document that inflates to many megabytes makes a package of about its compressed
// size: rewritten parts are deflated, with their true sizes in the headers.
TEST(PackageRebuild, RewrittenPartsAreDeflated) {
    test::PackageParts parts = test::wordPackageParts();
    std::string body;
    while (body.size() < (16u << 20))
        body += "<w:p><w:r><w:t>Golf hotel india</w:t></w:r></w:p>";
    std::string& doc = parts[2].second;
    ASSERT_EQ(parts[2].first, "word/document.xml");
    doc.insert(doc.find("<w:sectPr>"), body);
    const std::vector<uint8_t> input = test::buildWordPackage(parts);
    auto [text, full] = recoverBoth(input);
    for (const Built* b : {&text, &full}) {
        EXPECT_EQ(b->status, kDocxOk);
        EXPECT_LT(b->bytes.size(), 2u << 20);
        EXPECT_GT(b->content.at("word/document.xml").size(), 16u << 20);
        ZipBrokenExtractor z;
        z.OpenMemory(b->bytes.data(), static_cast<uint32_t>(b->bytes.size()));
        const LocalEntry& e = z.Entry(z.FindEntry(spanOf("word/document.xml")));
        EXPECT_EQ(e.method, kMethodDeflate);
        EXPECT_EQ(e.uncompressedSize, b->content.at("word/document.xml").size());
    }
}

TEST(PackageRebuild, PartReportSummary) {
    struct Case {
        std::vector<PartReport> parts;
        bool budget;
        std::string summary;
    } cases[] = {
        {{{"word/document.xml", PartState::Intact, 10, 10}}, false, ""},
        {{{"word/document.xml", PartState::Partial, 71, 100},
          {"word/media/image1.png", PartState::LeftOut, 0, 0},
          {"word/media/image2.png", PartState::LeftOut, 5, 90},
          {"[Content_Types].xml", PartState::Synthesised, 0, 0}},
         false,
         "word/document.xml: partial, 71 % decoded; content types rebuilt; 2 images lost"},
        {{{"word/styles.xml", PartState::Repaired, 5, 5},
          {"word/settings.xml", PartState::FromTemplate, 0, 0},
          {"word/theme/theme1.xml", PartState::FromTemplate, 0, 0},
          {"word/charts/chart1.xml", PartState::LeftOut, 0, 0},
          {"word/charts/chart2.xml", PartState::LeftOut, 0, 0}},
         true,
         "word/styles.xml: repaired; 2 parts lost; 2 parts from the template; size limit "
         "reached, later parts not decoded"},
        {{{"word/footer1.xml", PartState::Partial, 3, 0}}, false, "word/footer1.xml: partial"},
    };
    for (const Case& c : cases) {
        PackageReport r;
        r.parts = c.parts;
        r.inflateBudgetExhausted = c.budget;
        EXPECT_EQ(r.summary(), c.summary);
    }
}

}  // namespace
}  // namespace morvel
