#include "discovery/folder_search.h"
#include "platform/collected_errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/store_recorders.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(DocumentPattern, MatchesDotDocAnywhereInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {"a.doc", true},     {"b.docx", true}, {"c.docm", true}, {"D.DOC", true},
        {"x.doc.bak", true}, {"e.Docx", true}, {"a.do", false},  {"doc", false},
        {"adoc", false},     {"a.odt", false}, {".doc", true},   {"a.d0c", false},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(matchesDocumentPattern(name), expected) << name;
}

class Search : public ::testing::Test {
  protected:
    void SetUp() override {
        StoreSetup setup;
        setup.workingFolder = dir.path() / "work";
        setup.settingsFile = dir.path() / "settings.ini";
        setup.observer = &observer;
        setup.errors = &errors;
        std::string error;
        store = OpenDocumentStore(setup, error);
        ASSERT_TRUE(store) << error;
    }
    void touch(const fs::path& p) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "x";
    }
    // Runs one search job to its end as the user interface would; returns its message.
    int search(int32_t mode, const std::string& folders) {
        EXPECT_TRUE(store->StartSearch(mode, folders));
        return test::finishJob(*store, observer);
    }
    // "folder-relative-to-tree/name format category" of every record.
    std::vector<std::string> records() const {
        std::vector<std::string> out;
        const std::string root = tree().string();
        for (int32_t i = 0; i < store->recordCount(); ++i) {
            const DocumentRecord& r = store->record(i);
            std::string folder = r.folder.substr(std::min(root.size(), r.folder.size()));
            out.push_back(folder + "/" + r.fileName + " " + std::to_string(r.format) + " " +
                          std::to_string(r.category));
        }
        return out;
    }
    fs::path tree() const { return dir.path() / "tree"; }

    test::TempDir dir;
    test::RecordingObserver observer;
    CollectedErrors errors;
    std::shared_ptr<CDocumentStore> store;
};

TEST_F(Search, FindsWordDocumentsWithFormatsAndCategories) {
    for (const char* n : {"a.doc", "b.docx", "c.docm", "D.DOC", "~$a.doc", "notes.txt",
                          "Templates/Normal.doc", "Templates/~x.docx", "sub/deep/e.DocX"})
        touch(tree() / n);
    fs::create_directories(tree() / "folder.doc");
    fs::create_directory_symlink("..", tree() / "sub" / "loop");
    fs::create_directory_symlink(tree(), tree() / "sub" / "again");
    touch(dir.path() / "outside" / "hidden.doc");
    fs::create_directory_symlink(dir.path() / "outside", tree() / "link");

    EXPECT_EQ(search(kJobSearchFolder, tree().string() + "/"), WM_RECOVERY_DONE);
    EXPECT_EQ(records(),
              (std::vector<std::string>{"/D.DOC 1 0", "/a.doc 1 0", "/b.docx 2 0", "/~$a.doc 1 3",
                                        "/Templates/Normal.doc 1 2", "/Templates/~x.docx 2 2",
                                        "/sub/deep/e.DocX 2 0"}));
    EXPECT_EQ(observer.count(WM_RECOVERY_DONE), 1);
    EXPECT_EQ(observer.count(WM_REBUILD_TREE), 1);
    EXPECT_TRUE(errors.texts().empty());

    // The same folder again adds nothing.
    EXPECT_EQ(search(kJobSearchList, tree().string()), WM_RECOVERY_DONE);
    EXPECT_EQ(store->recordCount(), 7);
}

TEST_F(Search, AListSearchesEveryEntryAndAnEmptyListEndsDone) {
    touch(tree() / "one" / "a.doc");
    touch(tree() / "two" / "b.doc");
    touch(tree() / "three" / "c.doc");
    EXPECT_EQ(search(kJobSearchList, ""), WM_RECOVERY_DONE);
    EXPECT_EQ(search(kJobSearchList, ";;"), WM_RECOVERY_DONE);
    EXPECT_EQ(store->recordCount(), 0);

    EXPECT_EQ(
        search(kJobSearchList, (tree() / "one/").string() + ";" + (tree() / "two/").string() + ";"),
        WM_RECOVERY_DONE);
    EXPECT_EQ(records(), (std::vector<std::string>{"/one/a.doc 1 0", "/two/b.doc 1 0"}));
    EXPECT_EQ(store->record(0).folder, (tree() / "one").string());
}

TEST_F(Search, PseudoFileSystemsAreNeverEntered) {
    EXPECT_EQ(search(kJobSearchList, "/proc;/sys/;/dev"), WM_RECOVERY_DONE);
    EXPECT_EQ(store->recordCount(), 0);
}

TEST_F(Search, StopIsSeenAtTheNextStatusUpdate) {
    for (int i = 0; i < 250; ++i)
        fs::create_directories(tree() / ("f" + std::to_string(1000 + i)));
    touch(tree() / "f1249" / "late.doc");
    observer.holdIf = [](const StoreMessage& m) {
        return m.id == WM_STATUS_TEXT && m.text.rfind("Searching ", 0) == 0;
    };
    ASSERT_TRUE(store->StartSearch(kJobSearchFolder, tree().string()));
    ASSERT_TRUE(observer.waitHeld());
    store->Stop();
    observer.release();
    EXPECT_EQ(test::finishJob(*store, observer), WM_RECOVERY_FAILED);

    const std::vector<std::string> texts = observer.statusTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].rfind("Searching " + tree().string(), 0), 0u);
    EXPECT_EQ(texts[1], "Please wait,stopping...");
    EXPECT_EQ(texts[2], "Closing search doc...");
    EXPECT_EQ(observer.count(WM_RECOVERY_FAILED), 1);
    EXPECT_EQ(observer.count(WM_RECOVERY_DONE), 0);
    EXPECT_EQ(observer.count(WM_REBUILD_TREE), 1);
    EXPECT_EQ(store->recordCount(), 0);
}

TEST_F(Search, AFullTableIsReportedOnceAndCountsWhatItLeavesOut) {
    const fs::path big = tree() / "big";
    fs::create_directories(big);
    // Hard links to one file: 10001 names, made much faster than 10001 files.
    std::ofstream(dir.path() / "one.doc") << "x";
    for (int i = 0; i <= kTableCapacity; ++i)
        fs::create_hard_link(dir.path() / "one.doc",
                             big / ("d" + std::to_string(100000 + i) + ".doc"));
    touch(tree() / "small" / "a.doc");

    EXPECT_EQ(search(kJobSearchFolder, big.string()), WM_RECOVERY_DONE);
    EXPECT_EQ(store->recordCount(), kTableCapacity);
    EXPECT_TRUE(store->tableFull());
    EXPECT_EQ(errors.texts(), std::vector<std::string>{"Number of doc files >500"});
    EXPECT_EQ(store->record(kTableCapacity - 1).fileName, "d109999.doc");
    // The documents past the limit are counted, so the window can say how many are missing.
    EXPECT_EQ(store->leftOutCount(), 1);

    EXPECT_EQ(search(kJobSearchFolder, (tree() / "small").string()), WM_RECOVERY_DONE);
    EXPECT_EQ(store->recordCount(), kTableCapacity);
    EXPECT_EQ(errors.texts().size(), 1u);
    EXPECT_EQ(store->leftOutCount(), 1);
}

TEST(StartupScan, ListsTheDocumentsFolderWithoutSubfoldersWhenTheOptionIsSet) {
    test::TempDir dir;
    const fs::path docs = dir.path() / "Documents";
    fs::create_directories(docs / "sub");
    test::writeFile(docs / "a.doc", test::bytesOf("x"));
    test::writeFile(docs / "sub" / "b.doc", test::bytesOf("x"));
    for (bool scan : {true, false}) {
        Settings settings;
        settings.scanDocumentsAtStart = scan;
        ASSERT_EQ(saveSettings(dir.path() / "settings.ini", settings), "");
        StoreSetup setup;
        setup.workingFolder = dir.path() / "work";
        setup.settingsFile = dir.path() / "settings.ini";
        setup.documentsFolder = docs;
        setup.allowStartupScan = true;
        std::string error;
        auto store = OpenDocumentStore(setup, error);
        ASSERT_TRUE(store) << error;
        ASSERT_EQ(store->recordCount(), scan ? 1 : 0);
        if (scan) {
            EXPECT_EQ(store->record(0).fileName, "a.doc");
        }
    }
}

}  // namespace
}  // namespace morvel

namespace morvel {
namespace {

// Handles the completion inside the message, as a front end without its own event loop may.
class FinishingObserver : public StoreObserver {
  public:
    void onStoreMessage(const StoreMessage& message, MessageReply reply) override {
        ids.push_back(message.id);
        if (message.id == WM_RECOVERY_DONE || message.id == WM_RECOVERY_FAILED)
            store->OnRecoveryDone();
        reply.handled();
    }
    CDocumentStore* store = nullptr;
    std::vector<int> ids;
};

TEST(SearchCallbacks, AnObserverMayFinishTheJobWhileHandlingItsMessage) {
    test::TempDir dir;
    FinishingObserver observer;
    StoreSetup setup;
    setup.workingFolder = dir.path() / "work";
    setup.settingsFile = dir.path() / "settings.ini";
    setup.observer = &observer;
    std::string error;
    auto store = OpenDocumentStore(setup, error);
    ASSERT_TRUE(store) << error;
    observer.store = store.get();
    ASSERT_TRUE(store->StartSearch(kJobSearchFolder, dir.path().string()));
    ASSERT_TRUE(store->WaitForWorker(std::chrono::seconds(10)));
    EXPECT_EQ(observer.ids, (std::vector<int>{WM_RECOVERY_DONE, WM_REBUILD_TREE}));
    EXPECT_FALSE(store->busy());
}

}  // namespace
}  // namespace morvel
