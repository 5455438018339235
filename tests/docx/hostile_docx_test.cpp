#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "docx/office_broken_repair_2007.h"
#include "tests/support/hostile_inputs.h"
#include "tests/support/test_files.h"
#include "tests/support/time_bounds.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

using test::kSlowdown;

double cpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Crafted packages that once made the salvage or the rebuild quadratic: both packages are
// built, in a time many times what they take now, so a path that turns quadratic again (or a
// walk that does not end) fails here rather than hanging a user's batch. The heavier cases
// (GiB-sized parts) are measured by the hostile-input survey in bench/, not here.
TEST(HostileDocx, BothPackagesBuiltInBoundedTime) {
    const std::set<std::string> bounded = {"stored_headers_to_end", "overlapping_headers",
                                           "many_entries", "token_flood"};
    const std::vector<uint8_t> store = test::readFile(MORVEL_TEMPLATE_STORE);
    for (const test::HostileInput& input : test::hostileDocxInputs()) {
        if (!bounded.count(input.name))
            continue;
        SCOPED_TRACE(input.name);
        const std::vector<uint8_t> bytes = input.make(1);
        const double start = cpuSeconds();
        OfficeBrokenRepair_2007 engine;
        engine.OpenDamaged(std::span<const uint8_t>(bytes));
        ASSERT_EQ(engine.LoadTemplateStore(store.data(), static_cast<uint32_t>(store.size())), 0);
        std::vector<uint8_t> text, full;
        engine.WriteTextPackage(text);
        engine.WriteFullPackage(full);
        const double spent = cpuSeconds() - start;
        // Each took from 8 s to over 15 minutes before; now at most a few seconds.
        EXPECT_LT(spent, 20 * kSlowdown) << "CPU seconds";
    }
}

// Relationships parts too large for the salvage to keep, two of which lead to parts that are
// gone: the full package reads each part once (listing it and rewriting it without the
// relationships to lost parts, whitespace and all) instead of inflating it anew for every
// question asked of it.
TEST(HostileDocx, LargeRelationshipsPartsAreInflatedAtMostOnce) {
    const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
    const std::string open =
        "<Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const auto rel = [](const std::string& id, const std::string& target) {
        return "<Relationship Id=\"" + id + "\" Type=\"t\" Target=\"" + target + "\"/>";
    };
    const std::string padding(40u << 20, ' ');
    const std::string lost = rel("rId9", "lost.xml");
    const std::string mainRelsHead = decl + open + rel("rId1", "styles.xml");
    const std::string mainRelsTail = padding + "</Relationships>";
    const std::string extraRelsHead = decl + open + rel("rId1", "../word/document.xml");
    const std::string gone = rel("rId2", "gone.bin");

    test::ZipBuilder zip;
    zip.add("[Content_Types].xml",
            decl +
                "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                "<Default Extension=\"rels\" "
                "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                "<Override PartName=\"/word/document.xml\" "
                "ContentType=\"application/"
                "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
                "</Types>");
    zip.add("_rels/.rels",
            decl + open + rel("rId1", "word/document.xml") + padding + "</Relationships>");
    zip.add("word/document.xml",
            decl +
                "<w:document "
                "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                "<w:body><w:p><w:r><w:t>Kept.</w:t></w:r></w:p></w:body></w:document>");
    zip.add("word/_rels/document.xml.rels", mainRelsHead + lost + mainRelsTail);
    zip.add("word/_rels/extra.xml.rels", extraRelsHead + gone + mainRelsTail);
    const std::vector<uint8_t> bytes = zip.finish();

    const std::vector<uint8_t> store = test::readFile(MORVEL_TEMPLATE_STORE);
    OfficeBrokenRepair_2007 engine;
    engine.OpenDamaged(std::span<const uint8_t>(bytes));
    ASSERT_EQ(engine.LoadTemplateStore(store.data(), static_cast<uint32_t>(store.size())), 0);
    std::vector<uint8_t> text, full;
    engine.WriteTextPackage(text);
    EXPECT_EQ(engine.WriteFullPackage(full), 0);
    ASSERT_FALSE(full.empty());
    const ZipBrokenExtractor& salvage = engine.Salvage();
    for (uint32_t i = 0; i < salvage.EntryCount(); ++i) {
        SCOPED_TRACE(std::string(salvage.Entry(i).name.view()));
        EXPECT_LE(salvage.InflationsOf(i), 1u);
    }

    // The relationships to lost parts are gone, all else is kept as it was.
    ZipBrokenExtractor out;
    out.OpenMemory(full.data(), static_cast<uint32_t>(full.size()));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"word/_rels/document.xml.rels", mainRelsHead + mainRelsTail},
        {"word/_rels/extra.xml.rels", extraRelsHead + mainRelsTail}};
    for (const auto& [name, content] : expected) {
        SCOPED_TRACE(name);
        const uint32_t i = out.FindEntry(spanOf(name));
        ASSERT_NE(i, kEntryNotFound);
        EXPECT_TRUE(out.GetEntryData(i).view() == content);
    }
    const uint32_t pkg = out.FindEntry(spanOf("_rels/.rels"));
    ASSERT_NE(pkg, kEntryNotFound);
    EXPECT_EQ(
        out.GetEntryData(pkg).length,
        decl.size() + open.size() + rel("rId1", "word/document.xml").size() + mainRelsTail.size());
}

}  // namespace
}  // namespace morvel
