#include "core/recovery_driver.h"

#include <gtest/gtest.h>

#include <functional>

#include "docwriter/recover_doc_file.h"
#include "docx/office_broken_repair_2007.h"
#include "platform/collected_errors.h"
#include "platform/file_io.h"
#include "tests/support/file_events.h"
#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"
#include "tests/support/word_package.h"

namespace morvel {
namespace {

struct DriverRun {
    test::TempDir dir;
    ProgressModel progress;
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
        {"missing.doc", kFormatDoc, "Error in read doc: No such file or directory"},
        {"missing.docx", kFormatDocx, "Error in read docx: No such file or directory"},
        {"notes.txt", kFormatUnknown, "Error: unknown file format! (No such file or directory)"},
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

struct FormatCase {
    const char* name;
    uint16_t format;
    std::function<std::vector<uint8_t>()> make;
    bool full;  // a full document is expected
};

std::vector<FormatCase> formatCases() {
    return {
        {"letter.doc", kFormatDoc, [] { return test::Word97Builder().buildFile(); }, true},
        {"cut.doc", kFormatDoc,
         [] {
             test::Word97Builder b;
             b.withTable = false;  // the text is kept as a plain document
             return b.buildFile();
         },
         true},
        {"old.doc", kFormatDoc,
         [] {
             test::Word97Builder b;
             b.nFib = 104;  // Word 95: its text as a plain document
             return b.buildFile();
         },
         true},
        {"report.docx", kFormatDocx,
         [] { return test::buildWordPackage(test::wordPackageParts(), {}); }, true},
        {"noise.docx", kFormatDocx, [] { return std::vector<uint8_t>(3000, 0x5A); }, false},
    };
}

// Every result is built in memory: the input is opened once, and nothing is made, written or
// even opened in the working folder, whatever the format and outcome.
TEST(RecoveryDriver, ReadsTheInputOnceAndLeavesTheWorkingFolderAlone) {
    for (const FormatCase& c : formatCases()) {
        SCOPED_TRACE(c.name);
        DriverRun run(c.name, c.format);
        test::TempDir work, program;
        std::filesystem::copy_file(MORVEL_TEMPLATE_STORE, program.path() / kTemplateStoreName);
        run.env.workingFolder = work.path();
        run.env.programFolder = program.path();
        const std::filesystem::path input = run.dir.path() / c.name;
        test::writeFile(input, c.make());
        test::FileEvents inputEvents(input), workEvents(work.path());
        ASSERT_TRUE(inputEvents.valid() && workEvents.valid());

        RecoverDocument(run.record, run.env);
        inputEvents.collect();
        workEvents.collect();
        EXPECT_EQ(inputEvents.opens(), 1u);
        EXPECT_EQ(inputEvents.changes(), 0u);
        EXPECT_EQ(workEvents.opens() + workEvents.changes(), 0u);
        EXPECT_TRUE(std::filesystem::is_empty(work.path()));
        EXPECT_EQ(run.record.fullData.has_value(), c.full);
        if (run.record.fullData) {
            EXPECT_EQ(run.record.fullData->size(), run.record.fullLength);
        }
    }
}

// The full document's step leaves its result in the record: the engine's code and message,
// or why the input could not be read. No "Error!" stands in for a known cause.
TEST(RecoveryDriver, FullResultCarriesTheCause) {
    struct Case {
        const char* name;
        uint16_t format;
        std::vector<uint8_t> bytes;  // no file at all when empty
        const char* source;
        int32_t code;
        const char* message;  // found in the result's message
    } cases[] = {
        {"letter.doc", kFormatDoc, test::Word97Builder().buildFile(), kRecoverDocSource,
         kRecoverDocWritten, "written"},
        {"old.doc", kFormatDoc,
         [] {
             test::Word97Builder b;
             b.nFib = 104;
             return b.buildFile();
         }(),
         kRecoverDocSource, kRecoverDocTextOnly, "Word 6.0/95"},
        {"short.doc", kFormatDoc, std::vector<uint8_t>(600, 'a'), kRecoverDocSource,
         kRecoverDocFailed, "too short"},
        {"gone.doc",
         kFormatDoc,
         {},
         kReadSource,
         static_cast<int32_t>(ReadStatus::CannotOpen),
         "cannot open"},
        {"noise.docx", kFormatDocx, std::vector<uint8_t>(3000, 0x5A), kDocxSource,
         kDocxDocumentNotFound, "word/document.xml - NotFound."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DriverRun run(c.name, c.format);
        if (!c.bytes.empty())
            test::writeFile(run.dir.path() / c.name, c.bytes);
        if (c.format == kFormatDocx)
            std::filesystem::copy_file(MORVEL_TEMPLATE_STORE, run.dir.path() / kTemplateStoreName);
        RecoverDocument(run.record, run.env);
        const RecoveryResult& r = run.record.fullResult;
        EXPECT_EQ(r.source, c.source);
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
        for (const std::string& shown : run.errors.texts())
            EXPECT_NE(shown, "Error!");
    }
    // A later run starts from a clean result.
    DriverRun run("letter.doc", kFormatDoc);
    run.record.fullResult = {kDocxSource, kDocxException, "stale"};
    test::writeFile(run.dir.path() / "letter.doc", test::Word97Builder().buildFile());
    RecoverDocument(run.record, run.env);
    EXPECT_EQ(run.record.fullResult.source, kRecoverDocSource);
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
    r.fullResult = {kRecoverDocSource, kRecoverDocWritten, "done"};
    ResetRecord(r);
    EXPECT_FALSE(r.fullResult.set());
    EXPECT_FALSE(r.fileData || r.rawText || r.filteredData || r.fullData);
    EXPECT_EQ(r.rawTextLength + r.recoveryState + r.success, 0u);
    EXPECT_EQ(r.fileName, "a.doc");
    EXPECT_EQ(r.fileSize, 3u);
    EXPECT_EQ(r.fullFailed, 1u);
}

}  // namespace
}  // namespace morvel
