#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>

#include "tests/ui/ui_test_support.h"
#include "ui/search_doc_new.h"

namespace morvel {
namespace {

using namespace std::chrono_literals;

// Recovers one corpus .docx and one .doc through the window as a user would (the "Add
// documents" dialog, then a double-click on each document) and saves a picture of the window
// showing each preview. Runs only when MORVEL_SCREENSHOT_DIR names the folder for the pictures,
// normally under a virtual X server:
//   MORVEL_SCREENSHOT_DIR=docs/screenshots QT_QPA_PLATFORM=xcb xvfb-run -a
//   build/tests/ui/test_ui --gtest_filter='Screenshots.*'
TEST(Screenshots, RecoveredDocxAndDocPreviews) {
    QString outDir = qEnvironmentVariable("MORVEL_SCREENSHOT_DIR");
    if (outDir.isEmpty())
        GTEST_SKIP() << "MORVEL_SCREENSHOT_DIR not set";
    const std::filesystem::path corpus = test::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "no corpus";
    const std::pair<const char*, const char*> shots[] = {
        {"docx/mac2011_paragraphs_tables.docx", "preview_docx.png"},
        {"doc/ooo_various.doc", "preview_doc.png"},
    };

    test::WindowFixture w;
    std::filesystem::path folder = w.root() / "Recovered samples";
    std::filesystem::create_directories(folder);
    for (auto [source, picture] : shots)
        std::filesystem::copy_file(corpus / source,
                                   folder / std::filesystem::path(source).filename());
    w.frame().resize(1180, 720);
    w.frame().show();

    auto* timer = new QTimer(&w.frame());
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        if (auto* d = qobject_cast<CSearchDocNew*>(QApplication::activeModalWidget())) {
            timer->stop();
            d->field()->setText(QString::fromStdString(folder.string()));
            for (QPushButton* b : d->findChildren<QPushButton*>())
                if (b->text() == "&Search Now")
                    b->click();
        }
    });
    timer->start(20);
    w.frame().runCommand(CMainFrame::kAdd);
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 30s));

    CMorvelTreeView* tree = w.frame().workWindow()->tree();
    tree->expandAll();
    for (auto [source, picture] : shots) {
        std::string name = std::filesystem::path(source).filename().string();
        QList<QTreeWidgetItem*> items =
            tree->findItems(QString::fromStdString(name), Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(items.size(), 1) << name;
        tree->setCurrentItem(items[0]);
        emit tree->itemDoubleClicked(items[0], 0);
        ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 120s)) << name;
        w.waitUntil([] { return false; }, 300ms);  // let the pages paint
        EXPECT_EQ(CMorvelTreeView::imageOf(items[0]), CMorvelTreeView::kRecoveredImage) << name;
        QString file = outDir + '/' + picture;
        EXPECT_TRUE(w.frame().grab().save(file, "PNG")) << file.toStdString();
    }
}

}  // namespace
}  // namespace morvel
