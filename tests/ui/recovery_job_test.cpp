#include <gtest/gtest.h>

#include <chrono>

#include "tests/ui/ui_test_support.h"

namespace morvel {
namespace {

using test::WindowFixture;
using Cmd = CMainFrame::Command;
using namespace std::chrono_literals;

// A .doc-named file of plain text: the text steps have real work to do on it.
std::filesystem::path textDocument(const std::filesystem::path& folder, size_t bytes) {
    std::filesystem::create_directories(folder);
    std::string line = "The quick brown fox jumps over the lazy dog near the river bank.\r\n";
    std::vector<uint8_t> data;
    data.reserve(bytes);
    while (data.size() < bytes)
        data.insert(data.end(), line.begin(), line.end());
    std::filesystem::path file = folder / "big.doc";
    test::writeFile(file, data);
    return file;
}

TEST(RecoveryJob, DoubleClickRecoversWithoutBlockingTheWindow) {
    WindowFixture w;
    std::filesystem::path file = textDocument(w.root() / "docs", 4u << 20);
    int32_t index = w.add(file.parent_path().string(), "big.doc", kFormatDoc);
    w.frame().show();
    CMorvelTreeView* tree = w.frame().workWindow()->tree();
    QTreeWidgetItem* item = tree->itemForRecord(index);
    tree->setCurrentItem(item);
    emit tree->itemDoubleClicked(item, 0);

    // The double-click returned at once: the job runs, the bar is up, only Stop is enabled.
    ASSERT_TRUE(w.store().busy());
    EXPECT_EQ(w.frame().statusText(), "Recovering of big.doc  Step 1 of 2:");
    ASSERT_TRUE(w.frame().progressBar());
    EXPECT_GT(w.frame().progressBar()->x(), 0);
    EXPECT_TRUE(w.frame().action(Cmd::kStop)->isEnabled());
    EXPECT_FALSE(w.frame().action(Cmd::kRecover)->isEnabled());

    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 30s));
    EXPECT_EQ(w.frame().statusText(), "Ready");
    EXPECT_FALSE(w.frame().progressBar());
    // Plain text has no Word structure to rebuild: its text is all there is.
    EXPECT_EQ(CMorvelTreeView::imageOf(tree->itemForRecord(index)),
              CMorvelTreeView::kTextOnlyImage);
    EXPECT_TRUE(
        w.frame().workWindow()->tabs()->rawText()->toPlainText().startsWith("The quick brown fox"));
    EXPECT_TRUE(w.frame().action(Cmd::kSaveRaw)->isEnabled());
    EXPECT_TRUE(w.errors.empty());
}

TEST(RecoveryJob, StopEndsTheJobAsFailed) {
    WindowFixture w;
    std::filesystem::path file = textDocument(w.root() / "docs", 16u << 20);
    int32_t index = w.add(file.parent_path().string(), "big.doc", kFormatDoc);
    w.selectRecord(index);
    w.frame().runCommand(Cmd::kRecover);
    ASSERT_TRUE(w.store().busy());
    w.frame().runCommand(Cmd::kStop);
    EXPECT_EQ(w.frame().statusText(), "Please wait,stopping...");
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 30s));
    EXPECT_EQ(w.store().record(index).recoveryState, kNeverRecovered);
    // A stopped recovery is a failure, and says why.
    QTreeWidgetItem* item = w.frame().workWindow()->tree()->itemForRecord(index);
    EXPECT_EQ(CMorvelTreeView::imageOf(item), CMorvelTreeView::kFailedImage);
    EXPECT_TRUE(item->toolTip(0).contains("stopped")) << item->toolTip(0).toStdString();
    EXPECT_EQ(w.frame().statusText(), "Ready");
}

TEST(RecoveryJob, ClosingDuringARecoveryEndsWithinTheWait) {
    auto start = std::chrono::steady_clock::now();
    {
        WindowFixture w;
        std::filesystem::path file = textDocument(w.root() / "docs", 16u << 20);
        int32_t index = w.add(file.parent_path().string(), "big.doc", kFormatDoc);
        w.frame().show();
        w.selectRecord(index);
        start = std::chrono::steady_clock::now();
        w.frame().runCommand(Cmd::kRecover);
        ASSERT_FALSE(w.store().finishedEvent().isSet());
        w.frame().close();
        w.store().Shutdown();
        EXPECT_TRUE(w.store().finishedEvent().isSet());
    }
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 10s);
    RecordProperty("close_ms", static_cast<int>(took / 1ms));
}

}  // namespace
}  // namespace morvel
