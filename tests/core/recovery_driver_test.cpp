#include "core/recovery_driver.h"

#include <gtest/gtest.h>

#include "platform/collected_errors.h"
#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"

namespace morvel {
namespace {

struct DriverRun {
    test::TempDir dir;
    CountingProgress progress;
    CollectedErrors errors;
    RecoveryEnvironment env;
    DocumentRecord record;

    DriverRun(const std::string& name, uint16_t format) {
        env.workingFolder = dir.path();
        env.programFolder = dir.path();  // holds no temp.dat
        env.progress = &progress;
        env.errors = &errors;
        record.fileName = name;
        record.folder = dir.path().string();
        record.format = format;
    }
};

TEST(RecoveryDriver, ReportsUnreadableAndUnknownDocuments) {
    struct Case {
        const char* name;
        uint16_t format;
        const char* message;
    } cases[] = {
        {"missing.doc", kFormatDoc, "Error in read doc"},
        {"missing.docx", kFormatDocx, "Error in read docx"},
        {"notes.txt", kFormatUnknown, "Error: unknown file format!"},
    };
    for (const auto& c : cases) {
        DriverRun run(c.name, c.format);
        RecoverDocument(run.record, run.env);
        EXPECT_EQ(run.record.success, 0u) << c.name;
        ASSERT_EQ(run.errors.texts().size(), 1u) << c.name;
        EXPECT_EQ(run.errors.texts()[0], c.message);
        EXPECT_FALSE(run.record.rawText.has_value());
    }
}

// An empty file gives no results at all, and says why; a file without any text gives no text
// results, since an empty text file is no result.
TEST(RecoveryDriver, EmptyDocGivesNoResultsAndSaysWhy) {
    DriverRun run("empty.doc", kFormatDoc);
    test::writeFile(run.dir.path() / "empty.doc", {});
    RecoverDocument(run.record, run.env);
    EXPECT_EQ(run.record.success, 0u);
    EXPECT_EQ(run.record.resultsReady, 0u);
    EXPECT_FALSE(run.record.rawText.has_value());
    EXPECT_FALSE(run.record.filteredData.has_value());
    EXPECT_FALSE(run.record.fullData.has_value());
    ASSERT_EQ(run.errors.texts().size(), 1u);
    EXPECT_EQ(run.errors.texts()[0], "the file is empty");
    EXPECT_FALSE(std::filesystem::exists(run.dir.path() / kTempFullName));

    DriverRun blank("blank.doc", kFormatDoc);
    test::writeFile(blank.dir.path() / "blank.doc", std::vector<uint8_t>(2000, 0));
    RecoverDocument(blank.record, blank.env);
    EXPECT_FALSE(blank.record.rawText.has_value());
    EXPECT_EQ(blank.record.rawTextLength, 0u);
    EXPECT_FALSE(blank.record.filteredData.has_value());
    EXPECT_EQ(blank.record.filteredLength, 0u);
    EXPECT_EQ(blank.record.fullFailed, 1u);
    EXPECT_FALSE(blank.record.fullData.has_value());
}

// A document whose tables were lost still gives its text as a plain Word document: that is
// the full result, and the working file is gone once it is read.
TEST(RecoveryDriver, TextOnlyDocIsTheFullDocument) {
    DriverRun run("cut.doc", kFormatDoc);
    test::Word97Builder b;
    b.withTable = false;
    test::writeFile(run.dir.path() / "cut.doc", b.buildFile());
    RecoverDocument(run.record, run.env);
    EXPECT_EQ(run.record.success, 1u);
    EXPECT_EQ(run.record.fullFailed, 0u);
    ASSERT_TRUE(run.record.fullData.has_value());
    EXPECT_EQ(run.record.fullData->size(), run.record.fullLength);
    EXPECT_GT(run.record.fullLength, 4096u);
    EXPECT_FALSE(std::filesystem::exists(run.dir.path() / kTempFullName));
}

TEST(RecoveryDriver, DocxWithoutTemplateStoreSucceedsWithoutResults) {
    DriverRun run("letter.docx", kFormatDocx);
    test::writeFile(run.dir.path() / "letter.docx", test::bytesOf("PK not really a package"));
    RecoverDocument(run.record, run.env);
    EXPECT_EQ(run.record.success, 1u);
    EXPECT_EQ(run.record.resultsReady, 0u);
    EXPECT_EQ(run.record.fullFailed, 1u);
    EXPECT_EQ(run.record.filteredLength, 0u);
}

TEST(RecoveryDriver, ResetRecordFreesResultsAndKeepsIdentity) {
    DocumentRecord r;
    r.fileName = "a.doc";
    r.format = kFormatDoc;
    r.fileSize = 3;
    r.fullFailed = 1;
    r.fileData = std::vector<uint8_t>{1, 2, 3};
    r.rawText = std::vector<uint8_t>{0};
    r.rawTextLength = 1;
    r.recoveryState = kRecoveredWithFull;
    r.success = 1;
    ResetRecord(r);
    EXPECT_FALSE(r.fileData || r.rawText || r.filteredData || r.fullData);
    EXPECT_EQ(r.rawTextLength + r.recoveryState + r.success, 0u);
    EXPECT_EQ(r.fileName, "a.doc");
    EXPECT_EQ(r.fileSize, 3u);
    EXPECT_EQ(r.fullFailed, 1u);
}

}  // namespace
}  // namespace morvel
