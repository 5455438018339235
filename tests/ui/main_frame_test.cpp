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
    EXPECT_EQ(prompts, (std::vector<std::string>{
                           "Add documents to Tree View ", "Remove documents from Tree View ",
                           "Save recovered document as…",
                           "Recovery Morvel will not modify the original doc file. ",
                           "Stop current operation "}));
    EXPECT_EQ(bar->iconSize(), QSize(24, 24));

    auto tip = [&](const char* text) {
        QStatusTipEvent e{QString::fromUtf8(text)};
        QApplication::sendEvent(&w.frame(), &e);
        return w.frame().statusText().toStdString();
    };
    EXPECT_EQ(w.frame().statusText(), "Ready");
    EXPECT_EQ(tip("Stop current operation "), "Stop current operation ");
    EXPECT_EQ(tip(""), "Ready");
    // While a job reports in the status bar, the prompts stay away.
    std::filesystem::create_directories(w.root() / "empty");
    ASSERT_TRUE(w.store().StartSearch(kJobSearchFolder, (w.root() / "empty").string()));
    w.frame().setStatusText("Searching");
    EXPECT_EQ(tip("Add documents to Tree View "), "Searching");
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
    EXPECT_EQ(tabTexts(tabs), docTabs);

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

    // Without a full document: the damage page, and the texts still on their tabs.
    w.selectRecord(damaged);
    EXPECT_EQ(tabTexts(tabs), docTabs);
    EXPECT_TRUE(tabs->fullPage()->browser()->toPlainText().contains("damaged too severely"));
    EXPECT_FALSE(tabs->fullPage()->openButton()->isEnabled());
    EXPECT_EQ(tabs->rawText()->toPlainText(), "raw of z.doc");

    struct Page {
        std::function<void()> select;
        const char* says;
    } pages[] = {
        {[&] { w.selectRoot(); }, "Add the Word document to the tree"},
        {[&] { w.selectFolder(0); }, "No files selected."},
        {[&] { w.selectRecord(w.add("/e", "new.doc", kFormatDoc)); }, "double-click it"},
    };
    for (const auto& p : pages) {
        p.select();
        EXPECT_TRUE(tabs->fullPage()->browser()->toPlainText().contains(p.says)) << p.says;
        EXPECT_TRUE(tabs->rawText()->toPlainText().isEmpty());
    }
}

TEST(MainFrame, OnlyTheLatestPreviewFilesRemain) {
    WindowFixture w;
    int32_t docx = w.add("/d", "x.docx", kFormatDocx);
    int32_t doc = w.add("/d", "y.doc", kFormatDoc);
    recovered(w.store(), docx);
    recovered(w.store(), doc);
    test::writeFile(w.store().workingFolder() / "~stale", {1});

    w.selectRecord(docx);
    auto first = w.tildeFiles();
    ASSERT_EQ(first.size(), 2u);
    w.selectRecord(doc);
    auto second = w.tildeFiles();
    ASSERT_EQ(second.size(), 2u);
    for (const auto& name : second) {
        EXPECT_EQ(name.rfind("~temporary_", 0), 0u) << name;
        EXPECT_EQ(std::count(first.begin(), first.end(), name), 0) << name;
    }
    EXPECT_EQ(test::readFile(w.frame().previewFullFile()), *w.store().record(doc).fullData);
    // The text preview leaves out the terminating NUL.
    EXPECT_EQ(test::readFile(w.frame().previewFilteredFile()), test::bytesOf("filtered of y.doc"));

    w.selectRoot();
    EXPECT_TRUE(w.tildeFiles().empty());
}

TEST(MainFrame, OpenWithDefaultApplicationHandsOverThePreviewFile) {
    WindowFixture w;
    int32_t docx = w.add("/d", "x.docx", kFormatDocx);
    recovered(w.store(), docx);
    w.selectRecord(docx);
    CMorvelTabCtrl* tabs = w.frame().workWindow()->tabs();
    QTest::mouseClick(tabs->fullPage()->openButton(), Qt::LeftButton);
    QTest::mouseClick(tabs->filteredPage()->openButton(), Qt::LeftButton);
    ASSERT_EQ(w.opened.size(), 2u);
    std::filesystem::path full = w.opened[0].toLocalFile().toStdString();
    std::filesystem::path filtered = w.opened[1].toLocalFile().toStdString();
    EXPECT_EQ(full.parent_path(), w.store().workingFolder());
    EXPECT_EQ(full.filename().string().rfind("~temporary_", 0), 0u);
    EXPECT_EQ(full.extension(), ".docx");
    EXPECT_EQ(test::readFile(full), *w.store().record(docx).fullData);
    EXPECT_EQ(test::readFile(filtered), *w.store().record(docx).filteredData);
}

}  // namespace
}  // namespace morvel
