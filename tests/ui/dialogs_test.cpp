#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include "tests/ui/ui_test_support.h"
#include "ui/copy_original_dialog.h"
#include "ui/options_dialog.h"
#include "ui/search_doc_new.h"

namespace morvel {
namespace {

using test::WindowFixture;
using Cmd = CMainFrame::Command;
using namespace std::chrono_literals;

// Runs f on the next modal dialog of type D once it is open.
template <typename D>
void whenDialogOpens(std::function<void(D*)> f) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            f(d);
        }
    });
    timer->start(10);
}

QPushButton* button(QWidget* dialog, const QString& text) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

TEST(Dialogs, SaveOffersTitleNameAndTypeThenWritesTheForcedName) {
    WindowFixture w;
    int32_t doc = w.add("/d", "Report.doc", kFormatDoc);
    int32_t docx = w.add("/d", "Report.docx", kFormatDocx);
    for (int32_t i : {doc, docx}) {
        DocumentRecord& r = w.store().record(i);
        r.fullData = std::vector<uint8_t>{'F'};
        r.filteredData = std::vector<uint8_t>{'T', 0};
        r.rawText = std::vector<uint8_t>{'R', 0};
        r.fullLength = 1;
        r.filteredLength = r.rawTextLength = 2;
        if (r.format == kFormatDocx) {  // a package, not a text: no NUL
            r.filteredData = std::vector<uint8_t>{'T'};
            r.filteredLength = 1;
        }
        r.resultsReady = 1;
        r.recoveryState = kRecoveredWithFull;
    }
    struct Case {
        int32_t record;
        Cmd command;
        const char* typed;
        const char* offered;  // title | start: the document's folder and default name | type
        const char* written;
        const char* bytes;
    } cases[] = {
        {doc, Cmd::kSaveFull, "out.txt",
         "Save Recovered Document|/d/Report_recovered.doc|Word document (*.doc)", "out.doc", "F"},
        {doc, Cmd::kSaveFiltered, "f",
         "Save Filtered Text|/d/Report_Filtered_text.txt|Plain text (*.txt)", "f.txt", "T"},
        {doc, Cmd::kSaveRaw, "r.x.y", "Save Raw Text|/d/Report_Raw_text.txt|Plain text (*.txt)",
         "r.x.txt", "R"},
        {docx, Cmd::kSaveFull, "full",
         "Save Recovered Document|/d/Report_recovered.docx|Word document (*.docx)", "full.docx",
         "F"},
        {docx, Cmd::kSaveFiltered, "text.doc",
         "Save Filtered Text|/d/Report_docs_text.docx|Word document (*.docx)", "text.docx", "T"},
    };
    std::filesystem::path out = w.root() / "out.dir";
    std::filesystem::create_directories(out);
    for (const auto& c : cases) {
        w.selectRecord(c.record);
        std::string offered;
        w.frame().setSaveNameChooser([&](const QString& t, const QString& n, const QString& f) {
            offered = (t + '|' + n + '|' + f).toStdString();
            return QString::fromStdString((out / c.typed).string());
        });
        w.frame().runCommand(c.command);
        EXPECT_EQ(offered, c.offered);
        EXPECT_EQ(test::readFile(out / c.written), test::bytesOf(c.bytes)) << c.written;
    }
    // The toolbar's button saves the page in front; a cancelled dialog writes nothing.
    w.selectRecord(doc);
    w.frame().workWindow()->tabs()->setCurrentIndex(2);
    std::string title;
    w.frame().setSaveNameChooser([&](const QString& t, const QString&, const QString&) {
        title = t.toStdString();
        return QString();
    });
    w.frame().runCommand(Cmd::kSave);
    EXPECT_EQ(title, "Save Raw Text");
    EXPECT_TRUE(w.errors.empty());
}

TEST(Dialogs, SaveOntoTheOriginalIsRefusedAndSaidSo) {
    WindowFixture w;
    std::filesystem::create_directories(w.root() / "d");
    std::filesystem::path original = w.root() / "d" / "a.doc";
    test::writeFile(original, {1, 2, 3});
    int32_t i = w.add((w.root() / "d").string(), "a.doc", kFormatDoc);
    DocumentRecord& r = w.store().record(i);
    r.fullData = std::vector<uint8_t>{'F'};
    r.fullLength = 1;
    r.resultsReady = 1;
    r.recoveryState = kRecoveredWithFull;
    w.selectRecord(i);
    w.frame().setSaveNameChooser([&](const QString&, const QString&, const QString&) {
        return QString::fromStdString(original.string());
    });
    w.frame().runCommand(Cmd::kSaveFull);
    EXPECT_EQ(test::readFile(original), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(w.errors.size(), 1u);
}

TEST(Dialogs, OptionsOkStoresAndRebuildsCancelChangesNothing) {
    WindowFixture w;
    w.add("/d", "a.doc", kFormatDoc);
    w.add("/d", "~a.doc", kFormatDoc, kCategoryTilde);
    auto rows = [&] { return test::treeTexts(*w.frame().workWindow()->tree()).size(); };
    ASSERT_EQ(rows(), 3u);

    whenDialogOpens<OptionsDialog>([](OptionsDialog* d) {
        d->findChildren<QCheckBox*>()[2]->setChecked(true);
        d->reject();
    });
    w.frame().runCommand(Cmd::kOptions);
    EXPECT_EQ(rows(), 3u);
    EXPECT_FALSE(w.store().settings().showTilde);

    whenDialogOpens<OptionsDialog>([](OptionsDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Preferences");
        auto boxes = d->findChildren<QCheckBox*>();
        ASSERT_EQ(boxes.size(), 3);
        EXPECT_TRUE(boxes[0]->isChecked());  // scan the documents folder at start
        boxes[0]->setChecked(false);
        boxes[2]->setChecked(true);
        d->accept();
    });
    w.frame().runCommand(Cmd::kOptions);
    EXPECT_EQ(rows(), 4u);
    EXPECT_TRUE(w.store().settings().showTilde);
    EXPECT_FALSE(w.store().settings().scanDocumentsAtStart);
}

TEST(Dialogs, AddDocumentsSearchesTheTypedFolders) {
    WindowFixture w;
    std::filesystem::path a = w.root() / "a", b = w.root() / "b" / "sub";
    std::filesystem::create_directories(a);
    std::filesystem::create_directories(b);
    test::writeFile(a / "one.doc", {1});
    test::writeFile(b / "two.docx", {1});
    w.frame().setDefaultSearchList("/;");
    whenDialogOpens<CSearchDocNew>([&](CSearchDocNew* d) {
        EXPECT_EQ(d->windowTitle(), "Add documents");
        // The search starts in the documents folder; all disks is a choice of its own.
        EXPECT_EQ(d->folderList().toStdString(), (w.root() / "documents").string());
        button(d, "All &Disks")->click();
        EXPECT_EQ(d->folderList(), "/;");
        d->field()->setText(QString::fromStdString(a.string() + "/;" + (w.root() / "b").string()));
        button(d, "&Search Now")->click();
    });
    w.frame().runCommand(Cmd::kAdd);
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 10s));
    using V = std::vector<std::string>;
    EXPECT_EQ(test::treeTexts(*w.frame().workWindow()->tree()),
              (V{"Morvel", a.string(), "  one.doc", b.string(), "  two.docx"}));

    whenDialogOpens<CSearchDocNew>([&](CSearchDocNew* d) { button(d, "Cancel")->click(); });
    w.frame().runCommand(Cmd::kAdd);
    EXPECT_FALSE(w.store().busy());
}

TEST(Dialogs, CopyOriginalIntoANewFolder) {
    WindowFixture w;
    std::filesystem::create_directories(w.root() / "d");
    test::writeFile(w.root() / "d" / "a.doc", {7, 8});
    w.selectRecord(w.add((w.root() / "d").string(), "a.doc", kFormatDoc));
    std::filesystem::path target = w.root() / "copies" / "deep";
    whenDialogOpens<CopyOriginalDialog>([&](CopyOriginalDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Copy Original Document");
        EXPECT_EQ(d->folder().toStdString(), (w.root() / "documents").string());
        d->field()->setText(QString::fromStdString(target.string()));
        button(d, "&Copy")->click();
    });
    w.frame().runCommand(Cmd::kCopy);
    EXPECT_EQ(test::readFile(target / "a.doc"), (std::vector<uint8_t>{7, 8}));
    EXPECT_TRUE(w.errors.empty());
}

}  // namespace
}  // namespace morvel
