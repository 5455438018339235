// The driver's .docx steps: both packages come from one engine straight into the record,
// nothing is written to the working folder, and the template store is read once per run.
#include <gtest/gtest.h>

#include "core/recovery_driver.h"
#include "core/template_store_cache.h"
#include "docx/office_broken_repair_2007.h"
#include "tests/support/test_files.h"
#include "tests/support/word_package.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

struct DocxRun {
    test::TempDir work, program, docs;
    ProgressModel progress;
    TemplateStoreCache cache;
    RecoveryEnvironment env;

    DocxRun() {
        fs::copy_file(MORVEL_TEMPLATE_STORE, program.path() / kTemplateStoreName);
        env.workingFolder = work.path();
        env.programFolder = program.path();
        env.progress = &progress;
        env.templates = &cache;
    }
    DocumentRecord recover(const std::string& name, const std::vector<uint8_t>& bytes) {
        test::writeFile(docs.path() / name, bytes);
        DocumentRecord rec;
        rec.fileName = name;
        rec.folder = docs.path().string();
        rec.format = kFormatDocx;
        RecoverDocument(rec, env);
        return rec;
    }
};

TEST(DocxDriver, PackagesGoStraightIntoTheRecordWithTheirReport) {
    DocxRun run;
    const DocumentRecord rec = run.recover(
        "lost.docx", test::buildWordPackage(test::wordPackageParts(), {"[Content_Types].xml"}));
    EXPECT_EQ(rec.success, 1u);
    EXPECT_EQ(rec.resultsReady, 1u);
    // Lost content types no longer cost the full document.
    EXPECT_EQ(rec.fullFailed, 0u);
    ASSERT_TRUE(rec.fullData && rec.filteredData);
    EXPECT_EQ(rec.fullData->size(), rec.fullLength);
    EXPECT_EQ(rec.filteredData->size(), rec.filteredLength);
    ASSERT_TRUE(rec.docxReport);
    EXPECT_EQ(rec.docxReport->fullStatus, kDocxContentTypesNotFound);
    EXPECT_EQ(rec.docxReport->fullMessage, "Content_Types not found.");
    EXPECT_EQ(rec.docxReport->textStatus, kDocxOk);
    EXPECT_EQ(rec.docxReport->package.summary(), "content types rebuilt");
    EXPECT_TRUE(fs::is_empty(run.work.path()));

    // The store was read once: with temp.dat gone, the next document still recovers.
    fs::remove(run.program.path() / kTemplateStoreName);
    const DocumentRecord next =
        run.recover("intact.docx", test::buildWordPackage(test::wordPackageParts()));
    EXPECT_EQ(next.fullFailed, 0u);
    ASSERT_TRUE(next.fullData && next.filteredData);
    ASSERT_TRUE(next.docxReport);
    EXPECT_EQ(next.docxReport->package.summary(), "");
    EXPECT_TRUE(fs::is_empty(run.work.path()));
}

// The bar moves on after the salvage and after each package, and never back: the full step
// goes on from where the text-only step left it.
TEST(DocxDriver, TheBarMovesForwardThroughBothPackages) {
    struct Positions : ProgressModel {
        void setPosition(int pos) override {
            ProgressModel::setPosition(pos);
            seen.push_back(pos);
        }
        std::vector<int> seen;
    } positions;
    DocxRun run;
    run.env.progress = &positions;
    run.recover("intact.docx", test::buildWordPackage(test::wordPackageParts()));
    EXPECT_EQ(positions.seen, (std::vector<int>{0, 5, 7, 10}));
    EXPECT_EQ(positions.high(), 10);
}

TEST(DocxDriver, StepsRunAloneReadTheFileAndTheirOwnStore) {
    DocxRun run;
    run.env.templates = nullptr;
    test::writeFile(run.docs.path() / "a.docx", test::buildWordPackage(test::wordPackageParts()));
    DocumentRecord rec;
    rec.fileName = "a.docx";
    rec.folder = run.docs.path().string();
    rec.fullPath = rec.folder + "/a.docx";
    rec.format = kFormatDocx;
    RecoverTextDocx(rec, run.env);
    RecoverFullDocx(rec, run.env);
    EXPECT_TRUE(rec.filteredData && rec.fullData);
    EXPECT_EQ(rec.fullFailed, 0u);
}

}  // namespace
}  // namespace morvel
