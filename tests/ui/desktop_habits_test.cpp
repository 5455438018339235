// What a desktop program is expected to remember and show: window geometry and splitter,
// folders the user collapsed, and how far a running search has got.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QMenuBar>
#include <QTest>

#include "tests/ui/ui_test_support.h"

namespace morvel {
namespace {

using test::WindowFixture;
using Cmd = CMainFrame::Command;
using namespace std::chrono_literals;

TEST(DesktopHabits, TheWindowAndSplitterComeBackAsTheyWereLeft) {
    WindowFixture w;
    w.frame().show();
    w.frame().resize(900, 610);
    w.frame().workWindow()->setSizes({333, 567});
    QCloseEvent e;
    QApplication::sendEvent(&w.frame(), &e);
    ASSERT_TRUE(e.isAccepted());

    CMainFrame again(w.store().shared_from_this());
    again.setUiSettingsFile(QString::fromStdString((w.root() / "ui.ini").string()));
    again.show();
    EXPECT_EQ(again.size(), QSize(900, 610));
    EXPECT_NEAR(again.workWindow()->sizes().at(0), 333, 2);  // rounding of the stretch
}

TEST(DesktopHabits, AddingDocumentsKeepsTheFoldersAsTheUserLeftThem) {
    WindowFixture w;
    w.add("/one", "a.doc", kFormatDoc);
    w.add("/two", "b.doc", kFormatDoc);
    CMorvelTreeView* tree = w.frame().workWindow()->tree();
    ASSERT_TRUE(tree->rootItem()->child(0)->isExpanded());
    tree->rootItem()->child(0)->setExpanded(false);
    w.add("/three", "c.doc", kFormatDoc);
    EXPECT_FALSE(tree->rootItem()->child(0)->isExpanded());  // still collapsed
    EXPECT_TRUE(tree->rootItem()->child(1)->isExpanded());
    EXPECT_TRUE(tree->rootItem()->child(2)->isExpanded());  // new: open to show what came
}

// Menus have access keys, and use this desktop's words.
TEST(DesktopHabits, MenusHaveAccessKeysAndDesktopWords) {
    WindowFixture w;
    QStringList titles;
    for (QAction* a : w.frame().menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Recovery", "&Tools", "&View", "&Help"}));
    EXPECT_EQ(w.frame().action(Cmd::kExit)->text(), "&Quit");
    EXPECT_EQ(w.frame().action(Cmd::kExit)->shortcut(), QKeySequence(QKeySequence::Quit));
    EXPECT_EQ(w.frame().action(Cmd::kOpen)->shortcut(), QKeySequence(QKeySequence::Open));
    for (int c = 0; c < Cmd::kCommandCount; ++c)
        EXPECT_TRUE(w.frame().action(static_cast<Cmd>(c))->text().contains('&'))
            << w.frame().action(static_cast<Cmd>(c))->text().toStdString();
}

// A running search tells how many documents it has found so far, and Esc stops it.
TEST(DesktopHabits, ARunningSearchCountsWhatItFoundAndCanBeStopped) {
    WindowFixture w;
    const std::filesystem::path top = w.root() / "tree";
    for (int i = 0; i < 250; ++i) {  // the search looks for a stop every 102 folders
        const std::filesystem::path f = top / ("d" + std::to_string(i)) / "sub";
        std::filesystem::create_directories(f);
        test::writeFile(f / "x.doc", {1});
    }
    w.frame().openPaths({QString::fromStdString(top.string())});
    ASSERT_TRUE(w.store().busy());
    EXPECT_TRUE(w.frame().statusText().contains("documents found"))
        << w.frame().statusText().toStdString();
    EXPECT_TRUE(w.frame().action(Cmd::kStop)->isEnabled());
    QTest::keyClick(&w.frame(), Qt::Key_Escape);
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 30s));
    EXPECT_EQ(w.frame().statusText(), "Ready");
}

}  // namespace
}  // namespace morvel
