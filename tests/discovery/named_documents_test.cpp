#include "discovery/named_documents.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "discovery/folder_search.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

TEST(NamedDocuments, AddsTheWordFilesGivenAndSaysWhyOthersAreLeftOut) {
    test::TempDir dir;
    const fs::path templates = dir.path() / "Templates";
    fs::create_directories(templates);
    test::writeFile(templates / "~$LETTER.DOC", test::bytesOf("x"));
    test::writeFile(dir.path() / "report.docx", test::bytesOf("x"));
    test::writeFile(dir.path() / "notes.txt", test::bytesOf("x"));
    fs::create_directories(dir.path() / "folder.doc");

    StoreSetup setup;
    setup.workingFolder = dir.path() / "work";
    setup.settingsFile = dir.path() / "settings.ini";
    std::string error;
    auto store = OpenDocumentStore(setup, error);
    ASSERT_TRUE(store) << error;

    const std::string root = dir.path().string();
    const std::vector<std::string> skipped =
        AddNamedDocuments(*store, {root + "/Templates/../Templates/~$LETTER.DOC",
                                   root + "/report.docx", root + "/report.docx",
                                   root + "/notes.txt", root + "/gone.doc", root + "/folder.doc"});

    // Picked by the user, so listed as ordinary documents under their real folder, once each.
    ASSERT_EQ(store->recordCount(), 2);
    const DocumentRecord& letter = store->record(0);
    EXPECT_EQ(letter.fileName, "~$LETTER.DOC");
    EXPECT_EQ(letter.folder, templates.string());
    EXPECT_EQ(letter.format, kFormatDoc);
    EXPECT_EQ(letter.category, kCategoryOrdinary);
    const DocumentRecord& report = store->record(1);
    EXPECT_EQ(report.folder, root);
    EXPECT_EQ(report.format, kFormatDocx);

    const std::vector<std::string> expected = {
        root + "/notes.txt: not a .doc or .docx file",
        root + "/gone.doc: not a file",
        root + "/folder.doc: not a file",
    };
    EXPECT_EQ(skipped, expected);
}

}  // namespace
}  // namespace morvel
