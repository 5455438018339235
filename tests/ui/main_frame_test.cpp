#include <gtest/gtest.h>

#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>
#include <chrono>

#include "tests/ui/ui_test_support.h"

namespace morvel {
namespace {

using test::WindowFixture;
using Cmd = CMainFrame::Command;

std::vector<uint8_t> textBytes(const std::string& s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

// Gives a record the results of a finished recovery.
void recovered(CDocumentStore& store, int32_t index, bool withFull = true) {
    DocumentRecord& r = store.record(index);
    if (r.format == kFormatDocx) {
        r.filteredData = test::docxWithText("text only of " + r.fileName);
        if (withFull)
            r.fullData = test::docxWithText("full " + r.fileName);
    } else {
        r.rawText = textBytes("raw of " + r.fileName);
        r.filteredData = textBytes("filtered of " + r.fileName);
        if (withFull)
            r.fullData = std::vector<uint8_t>(1024, 0xD0);
    }
    r.filteredLength = static_cast<uint32_t>(r.filteredData->size());
    r.fullLength = r.fullData ? static_cast<uint32_t>(r.fullData->size()) : 0;
    r.resultsReady = 1;
    r.fullFailed = withFull ? 0 : 1;
    r.recoveryState = withFull ? kRecoveredWithFull : kRecoveredNoFull;
}

std::string enabledCommands(CMainFrame& f) {
    static const std::pair<Cmd, const char*> kNames[] = {
        {Cmd::kAdd, "add"},       {Cmd::kRemove, "remove"},
        {Cmd::kCopy, "copy"},     {Cmd::kRecover, "recover"},
        {Cmd::kStop, "stop"},     {Cmd::kSave, "save"},
        {Cmd::kSaveFull, "full"}, {Cmd::kSaveFiltered, "filtered"},
        {Cmd::kSaveRaw, "raw"},
    };
    std::string out;
    for (auto [c, name] : kNames)
        if (f.action(c)->isEnabled())
            out += std::string(out.empty() ? "" : " ") + name;
    return out;
}

std::vector<std::string> tabTexts(CMorvelTabCtrl* tabs) {
    std::vector<std::string> out;
    for (int i = 0; i < tabs->count(); ++i)
        out.push_back(tabs->tabText(i).toStdString());
    return out;
}

TEST(MainFrame, CommandStatesFollowTheSelectionAndTheJob) {
    WindowFixture w;
    std::filesystem::create_directories(w.root() / "docs");
    const std::string folder = (w.root() / "docs").string();
    int32_t plain = w.add(folder, "plain.doc", kFormatDoc);
    int32_t doc = w.add(folder, "done.doc", kFormatDoc);
    int32_t docx = w.add(folder, "done.docx", kFormatDocx);
    recovered(w.store(), doc);
    recovered(w.store(), docx);

    struct Case {
        const char* what;
        std::function<void()> select;
        const char* enabled;
    } cases[] = {
        {"nothing selected", [] {}, "add"},
        {"root", [&] { w.selectRoot(); }, "add"},
        {"folder", [&] { w.selectFolder(0); }, "add remove"},
        {"document without results", [&] { w.selectRecord(plain); }, "add remove copy recover"},
        {".doc with results", [&] { w.selectRecord(doc); },
         "add remove copy recover save full filtered raw"},
        {".docx with results", [&] { w.selectRecord(docx); },
         "add remove copy recover save full filtered"},
    };
    for (const auto& c : cases) {
        c.select();
        EXPECT_EQ(enabledCommands(w.frame()), c.enabled) << c.what;
    }
    for (Cmd always : {Cmd::kExit, Cmd::kOptions, Cmd::kHelp, Cmd::kAbout, Cmd::kShowTilde})
        EXPECT_TRUE(w.frame().action(always)->isEnabled());

    // A search job makes the window busy until its end has been handled here.
    ASSERT_TRUE(w.store().StartSearch(kJobSearchFolder, folder));
    w.frame().updateCommandStates();
    EXPECT_EQ(enabledCommands(w.frame()), "stop");
    w.selectRecord(plain);
    EXPECT_EQ(enabledCommands(w.frame()), "stop");
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, std::chrono::seconds(10)));
    EXPECT_EQ(w.frame().statusText(), "Ready");
    EXPECT_FALSE(w.frame().action(Cmd::kStop)->isEnabled());
    EXPECT_TRUE(w.frame().action(Cmd::kAdd)->isEnabled());
}

TEST(MainFrame, ToolbarButtonsAndTheirPrompts) {
    WindowFixture w;
    QToolBar* bar = w.frame().findChild<QToolBar*>("toolbar");
    ASSERT_TRUE(bar);
    std::vector<std::string> prompts;
    for (QAction* a : bar->actions())
        prompts.push_back(a->statusTip().toStdString());
    EXPECT_EQ(prompts,
              (std::vector<std::string>{
                  "Open Word documents and recover them", "Search folders for Word documents",
                  "Remove the selected documents from the list (Delete)",
                  "Save the result shown in front",
                  "Recover the selected document (Enter); the original file is never "
                  "changed",
                  "Stop the current operation"}));
    EXPECT_EQ(bar->iconSize(), QSize(24, 24));

    auto tip = [&](const char* text) {
        QStatusTipEvent e{QString::fromUtf8(text)};
        QApplication::sendEvent(&w.frame(), &e);
        return w.frame().statusText().toStdString();
    };
    EXPECT_EQ(w.frame().statusText(), "Ready");
    EXPECT_EQ(tip("Stop the current operation"), "Stop the current operation");
    EXPECT_EQ(tip(""), "Ready");
    // While a job reports in the status bar, the prompts stay away.
    std::filesystem::create_directories(w.root() / "empty");
    ASSERT_TRUE(w.store().StartSearch(kJobSearchFolder, (w.root() / "empty").string()));
    w.frame().setStatusText("Searching");
    EXPECT_EQ(tip("Search folders for Word documents"), "Searching");
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, std::chrono::seconds(10)));
}

TEST(MainFrame, TildeFilterChangesTheTreeNotTheTable) {
    WindowFixture w;
    w.add("/d", "a.doc", kFormatDoc);
    w.add("/d", "~b.doc", kFormatDoc, kCategoryTilde);
    w.add("/t/Templates", "c.doc", kFormatDoc, kCategoryTemplates);
    const auto tree = [&] { return test::treeTexts(*w.frame().workWindow()->tree()); };
    using V = std::vector<std::string>;
    EXPECT_EQ(tree(), (V{"Morvel", "/d", "  a.doc"}));

    w.frame().runCommand(Cmd::kShowTilde);
    EXPECT_TRUE(w.frame().action(Cmd::kShowTilde)->isChecked());
    EXPECT_EQ(tree(), (V{"Morvel", "/d", "  a.doc", "  ~b.doc"}));
    w.frame().runCommand(Cmd::kShowTemplates);
    EXPECT_EQ(tree(), (V{"Morvel", "/d", "  a.doc", "  ~b.doc", "/t/Templates", "  c.doc"}));

    w.frame().runCommand(Cmd::kShowTilde);
    w.frame().runCommand(Cmd::kShowTemplates);
    EXPECT_EQ(tree(), (V{"Morvel", "/d", "  a.doc"}));
    EXPECT_EQ(w.store().recordCount(), 3);
    EXPECT_FALSE(w.store().record(1).removed);
    EXPECT_FALSE(w.store().settings().showTilde);
}

TEST(MainFrame, FoldersInTwoRunsAndRemovalThatLasts) {
    WindowFixture w;
    int32_t a = w.add("/one", "a.doc", kFormatDoc);
    w.add("/two", "b.doc", kFormatDoc);
    w.add("/one", "c.docx", kFormatDocx);
    w.add("/one", "d.doc", kFormatDoc);
    const auto tree = [&] { return test::treeTexts(*w.frame().workWindow()->tree()); };
    using V = std::vector<std::string>;
    EXPECT_EQ(tree(),
              (V{"Morvel", "/one", "  a.doc", "/two", "  b.doc", "/one", "  c.docx", "  d.doc"}));

    // The second "/one" item goes with its two documents; the first stays.
    w.selectFolder(2);
    w.frame().runCommand(Cmd::kRemove);
    EXPECT_EQ(tree(), (V{"Morvel", "/one", "  a.doc", "/two", "  b.doc"}));
    // A removed document leaves its folder item until the tree is rebuilt.
    w.selectRecord(a);
    w.frame().runCommand(Cmd::kRemove);
    EXPECT_EQ(tree(), (V{"Morvel", "/one", "/two", "  b.doc"}));
    w.rebuild();
    EXPECT_EQ(tree(), (V{"Morvel", "/two", "  b.doc"}));
    EXPECT_TRUE(w.store().record(2).removed);
    EXPECT_TRUE(w.store().record(3).removed);
}

TEST(MainFrame, PreviewTabsFollowTheRecoveredFormat) {
    WindowFixture w;
    int32_t docx = w.add("/d", "x.docx", kFormatDocx);
    int32_t doc = w.add("/d", "y.doc", kFormatDoc);
    int32_t damaged = w.add("/d", "z.doc", kFormatDoc);
    recovered(w.store(), docx);
    recovered(w.store(), doc);
    recovered(w.store(), damaged, false);
    CMorvelTabCtrl* tabs = w.frame().workWindow()->tabs();
    using V = std::vector<std::string>;
    const V docTabs{"Full document", "Filtered text", "Raw Text"};
    const V docxTabs{"Full document", "Filtered text"};
    const V textOnlyTabs{"Filtered text", "Raw Text"};
    const V overview{"Overview"};
    EXPECT_EQ(tabTexts(tabs), overview);

    w.selectRecord(docx);
    EXPECT_EQ(tabTexts(tabs), docxTabs);
    EXPECT_EQ(w.frame().workWindow()->caption()->text(), "File: /d/x.docx");
    EXPECT_TRUE(tabs->fullPage()->browser()->toPlainText().contains("full x.docx"));
    EXPECT_TRUE(tabs->filteredPage()->browser()->toPlainText().contains("text only of x.docx"));

    w.selectRecord(doc);
    EXPECT_EQ(tabTexts(tabs), docTabs);
    EXPECT_EQ(tabs->rawText()->toPlainText(), "raw of y.doc");
    EXPECT_EQ(tabs->filteredText()->toPlainText(), "filtered of y.doc");

    w.selectRecord(docx);
    EXPECT_EQ(tabTexts(tabs), docxTabs);

    // Without a full document: no full-document tab, the reason above the tabs, and the texts
    // on theirs.
    w.selectRecord(damaged);
    EXPECT_EQ(tabTexts(tabs), textOnlyTabs);
    EXPECT_TRUE(w.frame().workWindow()->banner()->text().contains("Text only"));
    EXPECT_TRUE(w.frame().workWindow()->banner()->text().contains("structure could not be read"));
    EXPECT_EQ(tabs->rawText()->toPlainText(), "raw of z.doc");

    struct Page {
        std::function<void()> select;
        const char* says;
    } pages[] = {
        {[&] { w.selectRoot(); }, "add the Word document to the tree"},
        {[&] { w.selectFolder(0); }, "No files selected."},
        {[&] { w.selectRecord(w.add("/e", "new.doc", kFormatDoc)); }, "double-click it"},
    };
    for (const auto& p : pages) {
        p.select();
        EXPECT_EQ(tabTexts(tabs), overview) << p.says;
        EXPECT_TRUE(tabs->infoPage()->browser()->toPlainText().contains(p.says)) << p.says;
        EXPECT_TRUE(tabs->rawText()->toPlainText().isEmpty());
    }
}

TEST(MainFrame, PreviewWritesNoFilesAndStaleOnesAreCleared) {
    WindowFixture w;
    int32_t docx = w.add("/d", "x.docx", kFormatDocx);
    int32_t doc = w.add("/d", "y.doc", kFormatDoc);
    recovered(w.store(), docx);
    recovered(w.store(), doc);
    test::writeFile(w.store().workingFolder() / "~stale", {1});
    // Showing results takes nothing from the disk and puts nothing there.
    w.selectRecord(docx);
    w.selectRecord(doc);
    EXPECT_EQ(w.tildeFiles(), std::vector<std::string>{"~stale"});
    EXPECT_TRUE(w.opened.empty());
}

// "Open with default application" hands over a copy in the cache folder that stays after the
// window is gone, named as the result would be saved; a different result under the same name
// gets a name of its own; when no application takes the file, the user is told where it is.
TEST(MainFrame, OpenWithDefaultApplicationKeepsACopyInTheCache) {
    std::vector<std::filesystem::path> kept;
    {
        WindowFixture w;
        const std::filesystem::path cache = w.root() / "cache";
        int32_t docx = w.add("/d", "x.docx", kFormatDocx);
        recovered(w.store(), docx);
        w.selectRecord(docx);
        CMorvelTabCtrl* tabs = w.frame().workWindow()->tabs();
        QTest::mouseClick(tabs->fullPage()->openButton(), Qt::LeftButton);
        QTest::mouseClick(tabs->filteredPage()->openButton(), Qt::LeftButton);
        QTest::mouseClick(tabs->fullPage()->openButton(), Qt::LeftButton);  // same copy again
        ASSERT_EQ(w.opened.size(), 3u);
        for (const QUrl& u : w.opened)
            kept.push_back(u.toLocalFile().toStdString());
        EXPECT_EQ(kept[0], cache / "x_recovered.docx");
        EXPECT_EQ(kept[1], cache / "x_docs_text.docx");
        EXPECT_EQ(kept[2], kept[0]);
        EXPECT_EQ(test::readFile(kept[0]), *w.store().record(docx).fullData);
        EXPECT_EQ(test::readFile(kept[1]), *w.store().record(docx).filteredData);

        // Another document's result of the same name does not replace the copy.
        int32_t other = w.add("/e", "x.docx", kFormatDocx);
        recovered(w.store(), other);
        w.store().record(other).fullData = test::docxWithText("another full document");
        w.selectRecord(other);
        w.openSucceeds = false;
        QTest::mouseClick(tabs->fullPage()->openButton(), Qt::LeftButton);
        ASSERT_EQ(w.opened.size(), 4u);
        EXPECT_EQ(w.opened[3].toLocalFile().toStdString(),
                  (cache / "x_recovered (2).docx").string());
        ASSERT_EQ(w.errors.size(), 1u);
        EXPECT_NE(w.errors[0].find("No application is registered to open .docx files"),
                  std::string::npos)
            << w.errors[0];
        EXPECT_NE(w.errors[0].find("x_recovered (2).docx"), std::string::npos);

        // The store's shutdown clears its working folder; the copies stay.
        w.store().Shutdown();
        for (const auto& f : kept)
            EXPECT_TRUE(std::filesystem::exists(f)) << f;
    }
}

}  // namespace
}  // namespace morvel
