// Opening what the user has: File > Open, names given on the command line, files and folders
// dropped on the window, and File > Open Recent. Each opened document is selected and
// recovered at once.
#include <gtest/gtest.h>

#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTest>

#include "tests/ui/ui_test_support.h"

namespace morvel {
namespace {

using test::WindowFixture;
using Cmd = CMainFrame::Command;
using namespace std::chrono_literals;

std::filesystem::path writeDoc(const std::filesystem::path& folder, const std::string& name) {
    std::filesystem::create_directories(folder);
    const std::string line = "A sentence of body text that the raw text keeps.\r\n";
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 200; ++i)
        bytes.insert(bytes.end(), line.begin(), line.end());
    test::writeFile(folder / name, bytes);
    return folder / name;
}

QString q(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

int32_t indexOf(CDocumentStore& store, const std::filesystem::path& file) {
    for (int32_t i = 0; i < store.recordCount(); ++i)
        if (store.record(i).folder == file.parent_path().string() &&
            store.record(i).fileName == file.filename().string())
            return i;
    return -1;
}

// Drops urls on the window as a file manager would.
void drop(CMainFrame& frame, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = frame.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &dropped);
}

TEST(OpenDocuments, ArgumentsDropsAndTheOpenDialogSelectAndRecover) {
    WindowFixture w;
    const auto a = writeDoc(w.root() / "in", "a.doc"), b = writeDoc(w.root() / "in", "b.doc"),
               c = writeDoc(w.root() / "dropped", "c.doc"),
               d = writeDoc(w.root() / "dialog", "d.doc");
    auto recovered = [&](const std::filesystem::path& f) {
        const int32_t i = indexOf(w.store(), f);
        return i >= 0 && w.store().record(i).recoveryState != kNeverRecovered;
    };
    auto selectedFile = [&] {
        const int32_t i = w.store().selectedIndex();
        return w.store().IsRecordIndex(i) ? w.store().record(i).fileName : std::string();
    };

    // As "morvel-gui a.doc b.doc notes.txt missing.doc" passes them: both documents are
    // recovered one after the other, the others are named with the reason.
    const QStringList problems =
        w.frame().openPaths({q(a), q(b), q(w.root() / "notes.txt"), q(w.root() / "missing.doc")});
    EXPECT_EQ(problems.size(), 2);
    EXPECT_TRUE(w.store().busy());
    ASSERT_TRUE(
        w.waitUntil([&] { return recovered(a) && recovered(b) && !w.store().busy(); }, 60s));
    EXPECT_EQ(selectedFile(), "b.doc");

    // A dropped file.
    drop(w.frame(), {QUrl::fromLocalFile(q(c))});
    ASSERT_TRUE(w.waitUntil([&] { return recovered(c) && !w.store().busy(); }, 60s));
    EXPECT_EQ(selectedFile(), "c.doc");

    // File > Open starts in the documents folder.
    QString start;
    w.frame().setOpenNamesChooser([&](const QString& folder) {
        start = folder;
        return QStringList{q(d)};
    });
    w.frame().runCommand(Cmd::kOpen);
    EXPECT_EQ(start, q(w.root() / "documents"));
    ASSERT_TRUE(w.waitUntil([&] { return recovered(d) && !w.store().busy(); }, 60s));
    EXPECT_EQ(selectedFile(), "d.doc");

    // The recent list: newest first, kept in the window's settings.
    EXPECT_EQ(w.frame().recentFiles(), (QStringList{q(d), q(c), q(b), q(a)}));
    // A removed document opened again comes back and is recovered again.
    w.selectRecord(indexOf(w.store(), a));
    QTest::keyClick(w.frame().workWindow()->tree(), Qt::Key_Delete);
    EXPECT_TRUE(w.store().record(indexOf(w.store(), a)).removed);
    w.frame().openPaths({q(a)});
    ASSERT_TRUE(w.waitUntil([&] { return recovered(a) && !w.store().busy(); }, 60s));
    EXPECT_FALSE(w.store().record(indexOf(w.store(), a)).removed);
    EXPECT_EQ(selectedFile(), "a.doc");
    EXPECT_EQ(w.frame().recentFiles().first(), q(a));
    EXPECT_TRUE(w.errors.empty());
}

TEST(OpenDocuments, ADroppedFolderIsSearched) {
    WindowFixture w;
    writeDoc(w.root() / "box" / "deep", "x.doc");
    writeDoc(w.root() / "box", "y.docx");
    drop(w.frame(), {QUrl::fromLocalFile(q(w.root() / "box"))});
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 30s));
    const auto texts = test::treeTexts(*w.frame().workWindow()->tree());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "  x.doc"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "  y.docx"), texts.end());
}

TEST(OpenDocuments, TheRecentListKeepsTenAndOpensFromTheMenu) {
    WindowFixture w;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 12; ++i)
        files.push_back(writeDoc(w.root() / "many", "f" + std::to_string(i) + ".doc"));
    for (const auto& f : files) {
        w.frame().openPaths({q(f)});
        ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 60s));
    }
    const QStringList recent = w.frame().recentFiles();
    ASSERT_EQ(recent.size(), CMainFrame::kRecentLimit);
    EXPECT_EQ(recent.first(), q(files[11]));
    EXPECT_EQ(recent.last(), q(files[2]));

    // The menu opens an entry; the list survives in the settings file.
    QMenu* menu = nullptr;
    for (QMenu* m : w.frame().findChildren<QMenu*>())
        if (m->title() == "Open &Recent")
            menu = m;
    ASSERT_TRUE(menu);
    ASSERT_GE(menu->actions().size(), 10);
    EXPECT_EQ(menu->actions()[0]->text(), "&1 f11.doc");
    w.selectRoot();
    menu->actions()[9]->trigger();  // f2.doc
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 60s));
    EXPECT_EQ(w.store().record(w.store().selectedIndex()).fileName, "f2.doc");
    EXPECT_EQ(w.frame().recentFiles().first(), q(files[2]));
    QSettings saved(q(w.root() / "ui.ini"), QSettings::IniFormat);
    EXPECT_EQ(saved.value("recent/files").toStringList().size(), CMainFrame::kRecentLimit);
}

}  // namespace
}  // namespace morvel
