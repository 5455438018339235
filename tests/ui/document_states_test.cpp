// Each document shows what its recovery really gave: its own icon and tooltip in the tree, the
// state and its reason above the preview, and tabs only for the results that exist.
#include <gtest/gtest.h>

#include <QTest>

#include "tests/support/word97_builder.h"
#include "tests/support/word_package.h"
#include "tests/ui/ui_test_support.h"

namespace morvel {
namespace {

using test::WindowFixture;
using Cmd = CMainFrame::Command;
using namespace std::chrono_literals;

std::vector<std::string> tabTexts(CMorvelTabCtrl* tabs) {
    std::vector<std::string> out;
    for (int i = 0; i < tabs->count(); ++i)
        out.push_back(tabs->tabText(i).toStdString());
    return out;
}

// A small Word 97 document with a few paragraphs of body text.
std::vector<uint8_t> word97Document() {
    test::Word97Builder b;
    b.text =
        u"Minutes of the meeting held on Tuesday in the library of the old school.\r"
        u"Everyone present agreed that the roof must be repaired before the winter.\r";
    return b.buildFile();
}

std::vector<uint8_t> plainText(size_t bytes) {
    const std::string line = "The quick brown fox jumps over the lazy dog near the river bank.\r\n";
    std::vector<uint8_t> out;
    while (out.size() < bytes)
        out.insert(out.end(), line.begin(), line.end());
    return out;
}

// Recovers a document through the window, as Enter on its tree item does.
void recoverByEnter(WindowFixture& w, int32_t index) {
    w.selectRecord(index);
    CMorvelTreeView* tree = w.frame().workWindow()->tree();
    QTest::keyClick(tree, Qt::Key_Return);
    ASSERT_TRUE(w.store().busy());
    ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 60s));
}

TEST(DocumentStates, EachRecoveryShowsItsOwnStateReasonAndTabs) {
    using V = std::vector<std::string>;
    using Img = CMorvelTreeView::Image;
    struct Case {
        const char* name;
        uint16_t format;
        std::vector<uint8_t> bytes;
        Img image;
        const char* title;
        const char* reason;  // part of the tooltip and of the text above the tabs
        V tabs;
        bool canSave;
    } cases[] = {
        {"intact.docx", kFormatDocx, test::buildWordPackage(test::wordPackageParts()),
         Img::kRecoveredImage, "Recovered", "full document was rebuilt",
         V{"Full document", "Filtered text", "Recovery report"}, true},
        {"lost-types.docx", kFormatDocx,
         test::buildWordPackage(test::wordPackageParts(), {"[Content_Types].xml"}),
         Img::kRecoveredImage, "Recovered", "content types rebuilt",
         V{"Full document", "Filtered text", "Recovery report"}, true},
        {"minutes.doc", kFormatDoc, word97Document(), Img::kRecoveredImage, "Recovered",
         "full document was rebuilt", V{"Full document", "Filtered text", "Raw Text"}, true},
        // Plain text under a .doc name: no Word structure, and too little body text for the
        // filtered result, so its raw text is all there is; the reason says what the file is.
        {"letter.doc", kFormatDoc, plainText(64 << 10), Img::kTextOnlyImage, "Text only",
         "plain text file: it is not a Word binary", V{"Raw Text"}, true},
        // Bytes that hold no package at all: nothing to show, nothing to save.
        {"noise.docx", kFormatDocx, std::vector<uint8_t>(4096, 0x5A), Img::kFailedImage, "Failed",
         "word/document.xml", V{"Recovery report"}, false},
        // An RTF file under a .doc name: its text comes as a plain document, and the reason
        // says what the file is.
        {"memo.doc", kFormatDoc,
         [] {
             std::string rtf = "{\\rtf1\\ansi A memo.\\par}";
             rtf.resize(2048, ' ');
             return std::vector<uint8_t>(rtf.begin(), rtf.end());
         }(),
         Img::kTextOnlyImage, "Text only", "RTF document: it is not a Word binary; text recovered",
         V{"Full document", "Filtered text"}, true},
        {"empty.doc",
         kFormatDoc,
         {},
         Img::kFailedImage,
         "Failed",
         "The file is empty",
         V{"Overview"},
         false},
    };
    WindowFixture w;
    const std::filesystem::path folder = w.root() / "docs";
    std::filesystem::create_directories(folder);
    CMorvelTabCtrl* tabs = w.frame().workWindow()->tabs();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFile(folder / c.name, c.bytes);
        const int32_t index = w.add(folder.string(), c.name, c.format);
        QTreeWidgetItem* item = w.frame().workWindow()->tree()->itemForRecord(index);
        EXPECT_EQ(CMorvelTreeView::imageOf(item), Img::kDocumentImage);
        EXPECT_TRUE(item->toolTip(0).startsWith("Not yet recovered"));
        recoverByEnter(w, index);

        item = w.frame().workWindow()->tree()->itemForRecord(index);
        EXPECT_EQ(CMorvelTreeView::imageOf(item), c.image);
        const QString tip = item->toolTip(0);
        EXPECT_TRUE(tip.startsWith(c.title)) << tip.toStdString();
        EXPECT_TRUE(tip.contains(c.reason)) << tip.toStdString();
        const QString banner = w.frame().workWindow()->banner()->text();
        EXPECT_TRUE(banner.contains(c.title)) << banner.toStdString();
        EXPECT_TRUE(banner.contains(QString(c.reason).toHtmlEscaped())) << banner.toStdString();
        EXPECT_FALSE(banner.contains("not been recovered yet"));
        EXPECT_EQ(tabTexts(tabs), c.tabs);
        EXPECT_EQ(w.frame().action(Cmd::kSaveAll)->isEnabled(), c.canSave);
        EXPECT_FALSE(w.frame().action(Cmd::kSaveRaw)->isEnabled() && c.format == kFormatDocx);
        // The tree keeps the state when it is built again.
        w.rebuild();
        EXPECT_EQ(CMorvelTreeView::imageOf(w.frame().workWindow()->tree()->itemForRecord(index)),
                  c.image);
    }
    // A failed document's page says why, never that it was not recovered.
    w.selectRecord(w.store().recordCount() - 1);
    EXPECT_TRUE(tabs->infoPage()->browser()->toPlainText().contains("The file is empty"));
}

// The report of a damaged package: counts of the parts kept, repaired and lost, each part's
// state, and the engine's word on each package.
TEST(DocumentStates, TheRecoveryReportListsThePartsAndWhatBecameOfThem) {
    WindowFixture w;
    const std::filesystem::path folder = w.root() / "docs";
    std::filesystem::create_directories(folder);
    test::writeFile(folder / "lost.docx",
                    test::buildWordPackage(test::wordPackageParts(), {"[Content_Types].xml"}));
    const int32_t index = w.add(folder.string(), "lost.docx", kFormatDocx);
    recoverByEnter(w, index);
    const QString report = w.frame().workWindow()->tabs()->reportPage()->toPlainText();
    for (const char* says :
         {"parts kept", "repaired", "lost", "[Content_Types].xml", "lost, rebuilt",
          "word/document.xml", "kept intact", "Content_Types not found.",
          "Text-only document:", "Format found: Word package (.docx)."})
        EXPECT_TRUE(report.contains(says)) << says << "\n" << report.toStdString();
}

// The state icons are drawn from SVG at twice the size as well, so they stay sharp on
// high-density screens.
TEST(DocumentStates, StateIconsAreDrawnAtDoubleSize) {
    test::ensureApplication();
    for (auto image : {CMorvelTreeView::kDocumentImage, CMorvelTreeView::kRecoveredImage,
                       CMorvelTreeView::kTextOnlyImage, CMorvelTreeView::kFailedImage}) {
        const QIcon icon = CMorvelTreeView::icon(image);
        ASSERT_FALSE(icon.isNull()) << image;
        const QList<QSize> sizes = icon.availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32))) << image;
        EXPECT_EQ(icon.pixmap(32, 32).size(), QSize(32, 32));
    }
    // Each state looks different.
    const QImage a = CMorvelTreeView::icon(CMorvelTreeView::kRecoveredImage).pixmap(32).toImage();
    const QImage b = CMorvelTreeView::icon(CMorvelTreeView::kFailedImage).pixmap(32).toImage();
    const QImage c = CMorvelTreeView::icon(CMorvelTreeView::kTextOnlyImage).pixmap(32).toImage();
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(b, c);
}

}  // namespace
}  // namespace morvel
