// Saving results: every result into one folder, the status bar saying where with a way to
// open that folder, and a question before quitting with results that were never saved.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QPushButton>

#include "tests/ui/ui_test_support.h"

namespace morvel {
namespace {

using test::WindowFixture;
using Cmd = CMainFrame::Command;
using namespace std::chrono_literals;

// Recovers a small text-only .doc through the window; its results are then unsaved.
int32_t recoverLetter(WindowFixture& w) {
    const std::filesystem::path folder = w.root() / "letters";
    std::filesystem::create_directories(folder);
    std::string text;
    while (text.size() < 8192)
        text += "The quick brown fox jumps over the lazy dog near the river bank.\r\n";
    test::writeFile(folder / "letter.doc", std::vector<uint8_t>(text.begin(), text.end()));
    const int32_t index = w.add(folder.string(), "letter.doc", kFormatDoc);
    w.selectRecord(index);
    w.frame().runCommand(Cmd::kRecover);
    EXPECT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 60s));
    return index;
}

TEST(Saving, SaveAllWritesEveryResultAndTheStatusBarSaysWhere) {
    WindowFixture w;
    const int32_t index = recoverLetter(w);
    EXPECT_TRUE(w.frame().hasUnsavedResults());
    EXPECT_FALSE(w.frame().openFolderButton()->isVisible());
    const std::filesystem::path target = w.root() / "saved";
    std::filesystem::create_directories(target);
    QString start;
    w.frame().setFolderChooser([&](const QString&, const QString& from) {
        start = from;
        return QString::fromStdString(target.string());
    });
    w.frame().runCommand(Cmd::kSaveAll);
    // The folder dialog starts in the document's own folder.
    EXPECT_EQ(start.toStdString(), w.store().record(index).folder);
    const DocumentRecord& rec = w.store().record(index);
    EXPECT_EQ(std::filesystem::exists(target / "letter_recovered.doc"), rec.fullData.has_value());
    EXPECT_EQ(std::filesystem::exists(target / "letter_Filtered_text.txt"),
              rec.filteredData.has_value());
    ASSERT_TRUE(std::filesystem::exists(target / "letter_Raw_text.txt"));
    EXPECT_TRUE(w.errors.empty());
    EXPECT_FALSE(w.frame().hasUnsavedResults());
    EXPECT_TRUE(w.frame().savedLabel()->text().contains(QString::fromStdString(target.string())))
        << w.frame().savedLabel()->text().toStdString();
    ASSERT_FALSE(w.frame().openFolderButton()->isHidden());
    w.frame().openFolderButton()->click();
    ASSERT_FALSE(w.opened.empty());
    EXPECT_EQ(w.opened.back().toLocalFile().toStdString(), target.string());
}

TEST(Saving, QuittingWithUnsavedResultsAsksFirst) {
    WindowFixture w;
    recoverLetter(w);
    const std::filesystem::path target = w.root() / "kept";
    std::filesystem::create_directories(target);
    w.frame().setFolderChooser(
        [&](const QString&, const QString&) { return QString::fromStdString(target.string()); });
    struct Case {
        QMessageBox::StandardButton answer;
        bool closes;
    } cases[] = {{QMessageBox::Cancel, false}, {QMessageBox::Save, true}};
    for (const Case& c : cases) {
        int asked = 0;
        w.frame().setCloseQuestion([&](const QString&) {
            ++asked;
            return c.answer;
        });
        QCloseEvent e;
        QApplication::sendEvent(&w.frame(), &e);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(e.isAccepted(), c.closes);
    }
    // "Save" saved every result before quitting; nothing is left to ask about.
    EXPECT_TRUE(std::filesystem::exists(target / "letter_Raw_text.txt"));
    int asked = 0;
    w.frame().setCloseQuestion([&](const QString&) {
        ++asked;
        return QMessageBox::Cancel;
    });
    QCloseEvent again;
    QApplication::sendEvent(&w.frame(), &again);
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(again.isAccepted());
}

}  // namespace
}  // namespace morvel
