#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/document_store.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

class StoreTable : public ::testing::Test {
  protected:
    void SetUp() override {
        StoreSetup setup;
        setup.workingFolder = dir.path() / "work";
        setup.settingsFile = dir.path() / "settings.ini";
        std::string error;
        store = CDocumentStore::Create(setup, error);
        ASSERT_TRUE(store) << error;
    }
    int32_t add(const std::string& folder, const std::string& name, uint16_t format,
                uint16_t category = kCategoryOrdinary) {
        return store->AddDocument(name, folder, format, category).index;
    }
    std::vector<std::string> shown() const {
        std::vector<std::string> out;
        for (const TreeFolder& f : store->TreeFolders()) {
            out.push_back(f.folder + ":");
            for (int32_t i : f.records)
                out.push_back(store->record(i).fileName);
        }
        return out;
    }

    test::TempDir dir;
    std::shared_ptr<CDocumentStore> store;
};

TEST_F(StoreTable, CommandStatesFollowTheSelection) {
    const int32_t bare = add("/d", "bare.doc", kFormatDoc);
    const int32_t doc = add("/d", "done.doc", kFormatDoc);
    const int32_t docx = add("/d", "done.docx", kFormatDocx);
    store->record(doc).resultsReady = 1;
    store->record(docx).resultsReady = 1;

    struct Case {
        int32_t param;
        const char* expected;  // add remove copy recover save saveFull saveFiltered saveRaw
    };
    const Case cases[] = {
        {RootItemParam, "10000000"},
        {FolderItemParam, "11000000"},
        {NoneSelected, "10000000"},
        {bare, "11110000"},
        {doc, "11111111"},
        {docx, "11111110"},
        {store->recordCount(), "10000000"},
    };
    for (const Case& c : cases) {
        store->SelectionChanged(c.param);
        const CommandStates s = store->commandStates();
        const std::string got = {s.add ? '1' : '0',          s.remove ? '1' : '0',
                                 s.copy ? '1' : '0',         s.recover ? '1' : '0',
                                 s.save ? '1' : '0',         s.saveFull ? '1' : '0',
                                 s.saveFiltered ? '1' : '0', s.saveRaw ? '1' : '0'};
        EXPECT_EQ(got, c.expected) << "param " << c.param;
        EXPECT_FALSE(s.stop);
    }
    // Selecting the same item again changes nothing.
    EXPECT_FALSE(store->SelectionChanged(store->recordCount()));
    EXPECT_TRUE(store->SelectionChanged(doc));
}

TEST_F(StoreTable, TreeShowsRunsOfFoldersAndHonoursFiltersAndRemoval) {
    add("/a", "one.doc", kFormatDoc);
    add("/a", "~lock.doc", kFormatDoc, kCategoryTilde);
    add("/a/Templates", "normal.doc", kFormatDoc, kCategoryTemplates);
    const int32_t gone = add("/b", "gone.docx", kFormatDocx);
    add("/a", "two.doc", kFormatDoc);  // a later search of /a found a new file

    store->record(gone).fullData = std::vector<uint8_t>{1, 2, 3};
    store->record(gone).resultsReady = 1;
    EXPECT_TRUE(store->RemoveRecord(gone));
    EXPECT_FALSE(store->record(gone).fullData.has_value());
    EXPECT_FALSE(store->RemoveRecord(store->recordCount()));

    // Hidden and removed records insert no folder item, so /a stays one item here.
    EXPECT_EQ(shown(), (std::vector<std::string>{"/a:", "one.doc", "two.doc"}));
    ASSERT_EQ(store->SetOptions(true, true, false), "");
    EXPECT_EQ(shown(), (std::vector<std::string>{"/a:", "one.doc", "~lock.doc",
                                                 "/a/Templates:", "normal.doc", "/a:", "two.doc"}));
    EXPECT_EQ(store->recordCount(), 5);
}

TEST_F(StoreTable, AddDocumentDropsDuplicatesAndStopsWhenFull) {
    EXPECT_EQ(store->AddDocument("a.doc", "/d", kFormatDoc, 0).kind,
              CDocumentStore::AddResult::Added);
    EXPECT_EQ(store->AddDocument("a.doc", "/d", kFormatDoc, 0).kind,
              CDocumentStore::AddResult::Duplicate);
    // Names differing only in case are different files here.
    EXPECT_EQ(store->AddDocument("A.DOC", "/d", kFormatDoc, 0).kind,
              CDocumentStore::AddResult::Added);
    for (int32_t i = store->recordCount(); i < store->capacity(); ++i)
        add("/d", "f" + std::to_string(i) + ".doc", kFormatDoc);
    EXPECT_EQ(store->recordCount(), kTableCapacity);
    EXPECT_EQ(store->AddDocument("last.doc", "/d", kFormatDoc, 0).kind,
              CDocumentStore::AddResult::TableFull);
}

}  // namespace
}  // namespace morvel
