#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/outputs.h"
#include "core/preview_names.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

TEST(OutputNames, DefaultNamesAndForcedExtensions) {
    struct Case {
        const char* file;
        uint16_t format;
        OutputKind kind;
        const char* name;
        const char* extension;
    };
    const Case cases[] = {
        {"Report.doc", kFormatDoc, OutputKind::Full, "Report_recovered.doc", "doc"},
        {"Report.doc", kFormatDoc, OutputKind::Filtered, "Report_Filtered_text.txt", "txt"},
        {"Report.doc", kFormatDoc, OutputKind::Raw, "Report_Raw_text.txt", "txt"},
        {"Report.docx", kFormatDocx, OutputKind::Full, "Report_recovered.docx", "docx"},
        {"Report.docx", kFormatDocx, OutputKind::Filtered, "Report_docs_text.docx", "docx"},
        {"LETTER.DOC", kFormatDoc, OutputKind::Full, "LETTER_recovered.doc", "doc"},
        // Named after the format the bytes showed, whatever the file's extension.
        {"x.doc", kFormatDocx, OutputKind::Full, "x_recovered.docx", "docx"},
        {"x.doc", kFormatDocx, OutputKind::Filtered, "x_docs_text.docx", "docx"},
        {"x.docx", kFormatDoc, OutputKind::Full, "x_recovered.doc", "doc"},
        {"x.docx", kFormatDoc, OutputKind::Raw, "x_Raw_text.txt", "txt"},
        {"scan.2024.bin", kFormatDocx, OutputKind::Full, "scan.2024_recovered.docx", "docx"},
        {"noextension", kFormatDoc, OutputKind::Filtered, "noextension_Filtered_text.txt", "txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(defaultOutputName(c.file, c.format, c.kind), c.name) << c.file;
        EXPECT_EQ(forcedExtension(c.format, c.kind), c.extension) << c.file;
    }
}

TEST(OutputNames, ForceExtensionTouchesOnlyTheFileName) {
    const std::vector<std::array<const char*, 3>> cases = {
        {"/out/mine", "docx", "/out/mine.docx"},
        {"/out/mine.txt", "doc", "/out/mine.doc"},
        {"/out/v1.2/mine", "txt", "/out/v1.2/mine.txt"},
        {"/out/a.b.c", "txt", "/out/a.b.txt"},
        {"mine.", "doc", "mine.doc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(forceExtension(c[0], c[1]), fs::path(c[2])) << c[0];
    EXPECT_EQ(outputKindForTab(0), OutputKind::Full);
    EXPECT_EQ(outputKindForTab(1), OutputKind::Filtered);
    EXPECT_EQ(outputKindForTab(2), OutputKind::Raw);
    EXPECT_EQ(outputKindForTab(7), OutputKind::Raw);
}

class Outputs : public ::testing::Test {
  protected:
    void SetUp() override {
        rec.fileName = "Report.doc";
        rec.folder = dir.path().string();
        rec.format = kFormatDoc;
        test::writeFile(dir.path() / "Report.doc", original);
        rec.rawText = test::bytesOf(std::string("raw\r\ntext", 9) + '\0');
        rec.rawTextLength = 10;
        rec.filteredData = std::vector<uint8_t>{0};
        rec.filteredLength = 1;
        rec.fullData = std::vector<uint8_t>{0xD0, 0xCF, 0x11, 0xE0, 0};
        rec.fullLength = 5;
    }
    std::vector<std::string> names(const fs::path& folder) const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    test::TempDir dir;
    DocumentRecord rec;
    const std::vector<uint8_t> original = test::bytesOf("the damaged original");
};

TEST_F(Outputs, SavedTextsLeaveOutTheNulAndDocumentsKeepEveryByte) {
    SaveOutcome raw = saveResult(rec, OutputKind::Raw, dir.path() / "raw");
    ASSERT_TRUE(raw.ok) << raw.error;
    EXPECT_EQ(raw.written, dir.path() / "raw.txt");
    EXPECT_EQ(test::readFile(raw.written), test::bytesOf("raw\r\ntext"));

    SaveOutcome empty = saveResult(rec, OutputKind::Filtered, dir.path() / "empty.doc");
    ASSERT_TRUE(empty.ok) << empty.error;
    EXPECT_EQ(empty.written, dir.path() / "empty.txt");
    EXPECT_TRUE(test::readFile(empty.written).empty());

    // An existing file is replaced (the dialog has asked before).
    test::writeFile(dir.path() / "full.doc", test::bytesOf("older and longer content"));
    SaveOutcome full = saveResult(rec, OutputKind::Full, dir.path() / "full.txt");
    ASSERT_TRUE(full.ok) << full.error;
    EXPECT_EQ(test::readFile(dir.path() / "full.doc"), *rec.fullData);
}

TEST_F(Outputs, RefusesTheSourceAnAbsentResultAndLeavesNoPartialFile) {
    // "Report.txt" becomes "Report.doc", the document being recovered.
    SaveOutcome onto = saveResult(rec, OutputKind::Full, dir.path() / "Report.txt");
    EXPECT_FALSE(onto.ok);
    EXPECT_NE(onto.error.find("original"), std::string::npos);
    fs::create_symlink(dir.path() / "Report.doc", dir.path() / "alias.doc");
    EXPECT_FALSE(saveResult(rec, OutputKind::Full, dir.path() / "alias").ok);
    EXPECT_EQ(test::readFile(dir.path() / "Report.doc"), original);

    rec.fullData.reset();
    EXPECT_FALSE(saveResult(rec, OutputKind::Full, dir.path() / "nothing").ok);
    EXPECT_FALSE(fs::exists(dir.path() / "nothing.doc"));

    // A write that cannot be put in place (a folder holds the name) leaves nothing behind.
    fs::create_directory(dir.path() / "out");
    fs::create_directory(dir.path() / "out" / "busy.txt");
    SaveOutcome failed = saveResult(rec, OutputKind::Raw, dir.path() / "out" / "busy");
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.error.empty());
    EXPECT_EQ(names(dir.path() / "out"), std::vector<std::string>{"busy.txt"});
}

// The one save every caller uses: its status tells an existing file, a protected target and
// an absent result apart without reading the message.
TEST_F(Outputs, WriteResultStatusSaysWhatHappened) {
    const fs::path other = dir.path() / "Other.doc";
    test::writeFile(other, original);
    test::writeFile(dir.path() / "taken.txt", test::bytesOf("keep me"));
    const std::vector<fs::path> batch = {other};
    struct Case {
        const char* target;
        OutputKind kind;
        bool overwrite;
        SaveStatus status;
        size_t bytes;
    } cases[] = {
        {"new.txt", OutputKind::Raw, false, SaveStatus::Saved, 9},
        {"taken.txt", OutputKind::Raw, false, SaveStatus::AlreadyExists, 0},
        {"taken.txt", OutputKind::Full, true, SaveStatus::Saved, 5},
        {"Other.doc", OutputKind::Full, true, SaveStatus::ProtectedTarget, 0},
        {"Report.doc", OutputKind::Full, true, SaveStatus::ProtectedTarget, 0},
        {"busy/sub.txt", OutputKind::Raw, true, SaveStatus::WriteFailed, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        SaveOptions how;
        how.overwrite = c.overwrite;
        how.protectedFiles = batch;
        const SaveOutcome o = writeResult(rec, c.kind, dir.path() / c.target, how);
        EXPECT_EQ(o.status, c.status) << o.error;
        EXPECT_EQ(o.ok, c.status == SaveStatus::Saved);
        EXPECT_EQ(o.bytes, c.bytes);
        EXPECT_EQ(o.error.empty(), o.ok);
    }
    EXPECT_EQ(test::readFile(other), original);
    EXPECT_EQ(test::readFile(dir.path() / "Report.doc"), original);
    EXPECT_EQ(test::readFile(dir.path() / "taken.txt"), *rec.fullData);
    rec.rawText.reset();
    EXPECT_EQ(writeResult(rec, OutputKind::Raw, dir.path() / "none.txt").status,
              SaveStatus::NotRecovered);
    EXPECT_FALSE(fs::exists(dir.path() / "none.txt"));
}

TEST_F(Outputs, CopyOriginalCreatesEveryLevelAndReportsFailure) {
    const fs::path target = dir.path() / "backup" / "2024" / "letters";
    rec.success = 1;
    EXPECT_EQ(copyOriginal(rec, target), "");
    EXPECT_EQ(test::readFile(target / "Report.doc"), original);
    test::writeFile(target / "Report.doc", test::bytesOf("stale copy"));
    EXPECT_EQ(copyOriginal(rec, target), "");
    EXPECT_EQ(test::readFile(target / "Report.doc"), original);
    // Copying into the document's own folder leaves it as it is.
    EXPECT_EQ(copyOriginal(rec, dir.path()), "");
    EXPECT_EQ(test::readFile(dir.path() / "Report.doc"), original);

    fs::remove(dir.path() / "Report.doc");
    EXPECT_EQ(copyOriginal(rec, target), "Error in copy dbx");
    EXPECT_EQ(rec.success, 0u);
    EXPECT_EQ(test::readFile(target / "Report.doc"), original);
    EXPECT_EQ(names(target), std::vector<std::string>{"Report.doc"});
}

TEST(WorkingFolder, PreviewNamesAndCleaning) {
    test::TempDir dir;
    PreviewNames names;
    const fs::path a = names.next(dir.path(), "docx");
    const fs::path b = names.next(dir.path());
    EXPECT_EQ(a.parent_path(), dir.path());
    EXPECT_EQ(a.filename().string().rfind("~temporary_", 0), 0u);
    EXPECT_EQ(a.extension(), ".docx");
    EXPECT_EQ(b.extension(), "");
    EXPECT_NE(a.stem(), b.stem());

    for (const char* n : {"~temporary_1_2_3_4", "~old.docx", "keep.txt", "temp"})
        test::writeFile(dir.path() / n, test::bytesOf("x"));
    test::writeFile(a, test::bytesOf("x"));
    test::writeFile(b, test::bytesOf("x"));
    fs::create_directory(dir.path() / "~folder");
    cleanPreviewFiles(dir.path(), a, b);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {a.filename().string(), b.filename().string(), "keep.txt",
                                         "temp", "~folder"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}

}  // namespace
}  // namespace morvel
