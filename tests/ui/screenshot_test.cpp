#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>

#include "tests/ui/ui_test_support.h"
#include "ui/search_doc_new.h"

namespace morvel {
namespace {

using namespace std::chrono_literals;

// A corpus .docx with two stretches of 64 bytes flipped, as a bad sector leaves it: some parts
// are decoded only in part, and the recovery report says which.
std::vector<uint8_t> damagedCopy(const std::filesystem::path& file) {
    std::vector<uint8_t> bytes = test::readFile(file);
    for (size_t at : {bytes.size() * 3 / 10, bytes.size() * 6 / 10})
        for (size_t i = at; i < at + 64 && i < bytes.size(); ++i)
            bytes[i] ^= 0x5A;
    return bytes;
}

// Recovers corpus documents through the window as a user would (the "Add documents" dialog,
// then a double-click on each document) and saves a picture of the window for each state: a
// recovered .docx and .doc, a text-only .doc, a failed .docx with its reason, the recovery
// report of a damaged .docx, and the "Add documents" dialog. Runs only when
// MORVEL_SCREENSHOT_DIR names the folder for the pictures, normally under a virtual X server:
//   MORVEL_SCREENSHOT_DIR=ui/screenshots QT_QPA_PLATFORM=xcb xvfb-run -a
//   build/tests/ui/test_ui --gtest_filter='Screenshots.*'
TEST(Screenshots, EveryDocumentStateAndTheAddDialog) {
    QString outDir = qEnvironmentVariable("MORVEL_SCREENSHOT_DIR");
    if (outDir.isEmpty())
        GTEST_SKIP() << "MORVEL_SCREENSHOT_DIR not set";
    const std::filesystem::path corpus = test::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "no corpus";
    struct Shot {
        const char* source;
        const char* name;  // as listed in the window
        const char* picture;
        const char* tab;  // the tab in front, or none
    };
    const Shot shots[] = {
        {"docx/mac2011_paragraphs_tables.docx", "tables.docx", "preview_docx.png", nullptr},
        {"doc/ooo_various.doc", "various.doc", "preview_doc.png", nullptr},
        {"doc/w6_testword6.doc", "word6_letter.doc", "text_only_doc.png", "Raw Text"},
        {"docx/dmg_truncated.docx", "truncated.docx", "failed_docx.png", nullptr},
        {"docx/w2013_comments.docx", "comments_bad_sector.docx", "recovery_report.png",
         "Recovery report"},
    };

    test::WindowFixture w;
    std::filesystem::path folder = w.root() / "Recovered samples";
    std::filesystem::create_directories(folder);
    for (const Shot& s : shots) {
        if (std::string(s.picture) == "recovery_report.png")
            test::writeFile(folder / s.name, damagedCopy(corpus / s.source));
        else
            std::filesystem::copy_file(corpus / s.source, folder / s.name);
    }
    w.frame().setDefaultSearchList(QStringLiteral("/;/home;"));
    w.frame().resize(1180, 720);
    w.frame().show();

    auto* timer = new QTimer(&w.frame());
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        if (auto* d = qobject_cast<CSearchDocNew*>(QApplication::activeModalWidget())) {
            timer->stop();
            d->field()->setText(QString::fromStdString(folder.string()));
            w.waitUntil([] { return false; }, 200ms);
            EXPECT_TRUE(d->grab().save(outDir + "/add_dialog.png", "PNG"));
            for (QPushButton* b : d->findChildren<QPushButton*>())
                if (b->text() == "&Search Now")
                    b->click();
        }
    });
    timer->start(20);
    w.frame().runCommand(CMainFrame::kAdd);
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 30s));

    CMorvelTreeView* tree = w.frame().workWindow()->tree();
    CMorvelTabCtrl* tabs = w.frame().workWindow()->tabs();
    for (const Shot& s : shots) {
        QList<QTreeWidgetItem*> items =
            tree->findItems(QString::fromUtf8(s.name), Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(items.size(), 1) << s.name;
        tree->setCurrentItem(items[0]);
        emit tree->itemDoubleClicked(items[0], 0);
        ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 120s)) << s.name;
        if (s.tab)
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->tabText(i) == QString::fromUtf8(s.tab))
                    tabs->setCurrentIndex(i);
        w.waitUntil([] { return false; }, 300ms);  // let the pages paint
        QString file = outDir + '/' + s.picture;
        EXPECT_TRUE(w.frame().grab().save(file, "PNG")) << file.toStdString();
    }
}

}  // namespace
}  // namespace morvel
