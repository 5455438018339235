// Long work keeps the window alive and says how far it has got: the status bar's bar moves
// during a recovery, and a text of hundreds of megabytes loads in pieces.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <fstream>
#include <set>

#include "tests/support/word_package.h"
#include "tests/ui/ui_test_support.h"

namespace morvel {
namespace {

using test::WindowFixture;
using Cmd = CMainFrame::Command;
using namespace std::chrono_literals;

// The longest stretch between two turns of the event loop while `until` is false, and the
// time `start` took, in milliseconds.
struct Responsiveness {
    qint64 startMs = 0;
    qint64 longestGapMs = 0;
};
Responsiveness measure(WindowFixture& w, const std::function<void()>& start,
                       const std::function<bool()>& until, std::chrono::milliseconds timeout) {
    Responsiveness r;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { r.longestGapMs = std::max(r.longestGapMs, sinceTick.restart()); });
    QElapsedTimer clock;
    clock.start();
    start();
    r.startMs = clock.elapsed();
    sinceTick.start();
    ticker.start();
    EXPECT_TRUE(w.waitUntil(until, timeout));
    ticker.stop();
    return r;
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

// The bar takes the engines' steps: during the recovery of a large .doc and a large .docx it
// shows several different values, not an empty bar until the end.
TEST(LongWork, TheProgressBarMovesDuringARecovery) {
    WindowFixture w;
    const std::filesystem::path folder = w.root() / "big";
    std::filesystem::create_directories(folder);
    std::string body;
    const std::string sentence = "The committee met again and wrote down every decision. ";
    while (body.size() < (24u << 20))
        body += sentence;
    test::writeFile(folder / "big.doc", std::vector<uint8_t>(body.begin(), body.end()));
    test::PackageParts parts = test::wordPackageParts();
    for (auto& [name, xml] : parts)
        if (name == "word/document.xml") {
            std::string paragraphs;
            for (int i = 0; i < 60000; ++i)
                paragraphs += "<w:p><w:r><w:t>Paragraph " + std::to_string(i) + " " + sentence +
                              "</w:t></w:r></w:p>";
            const size_t at = xml.find("<w:body>") + 8;
            xml.insert(at, paragraphs);
        }
    test::writeFile(folder / "big.docx", test::buildWordPackage(parts));

    w.frame().show();
    for (const char* name : {"big.doc", "big.docx"}) {
        SCOPED_TRACE(name);
        const int32_t index = w.add(folder.string(), name,
                                    std::string(name).ends_with("x") ? kFormatDocx : kFormatDoc);
        w.selectRecord(index);
        std::set<int> values;
        w.frame().runCommand(Cmd::kRecover);
        ASSERT_TRUE(w.frame().progressBar());
        QObject::connect(w.frame().progressBar(), &QProgressBar::valueChanged,
                         [&](int v) { values.insert(v); });
        ASSERT_TRUE(w.waitUntil([&] { return !w.store().busy(); }, 120s));
        EXPECT_GE(values.size(), 3u);
        EXPECT_GT(*values.rbegin(), 0);
        EXPECT_NE(w.store().record(index).recoveryState, kNeverRecovered);
    }
}

// A raw text of hundreds of megabytes: selecting its document and loading the text never
// blocks the event loop for more than 200 ms, and the view holds little more than the text.
// MORVEL_LARGE_TEXT_MB sets the size (default 300).
TEST(LongWork, AHugeRawTextLoadsWithoutFreezingTheWindow) {
    const size_t megabytes = qEnvironmentVariableIsSet("MORVEL_LARGE_TEXT_MB")
                                 ? qEnvironmentVariableIntValue("MORVEL_LARGE_TEXT_MB")
                                 : 300;
    WindowFixture w;
    w.frame().show();
    const int32_t index = w.add("/big", "huge.doc", kFormatDoc);
    {
        DocumentRecord& r = w.store().record(index);
        const std::string line = "Raw text line of a very large damaged document, kept whole.\r\n";
        std::vector<uint8_t> text;
        text.reserve(megabytes << 20);
        while (text.size() + line.size() < (megabytes << 20))
            text.insert(text.end(), line.begin(), line.end());
        text.push_back(0);
        r.rawTextLength = static_cast<uint32_t>(text.size());
        r.rawText = std::move(text);
        r.filteredData = std::vector<uint8_t>{'S', 'h', 'o', 'r', 't', 0};
        r.filteredLength = 6;
        r.resultsReady = 1;
        r.fullFailed = 1;
        r.recoveryState = kRecoveredNoFull;
    }
    LargeTextView* view = w.frame().workWindow()->tabs()->rawText();
    const long before = residentBytes();
    const Responsiveness r = measure(
        w, [&] { w.selectRecord(index); }, [&] { return !view->isLoading(); }, 120s);
    const long grown = residentBytes() - before;
    EXPECT_LT(r.startMs, 200) << "selecting the document";
    EXPECT_LT(r.longestGapMs, 200) << "while the text loaded";
    EXPECT_EQ(view->size(), static_cast<qint64>(w.store().record(index).rawTextLength) - 1);
    EXPECT_EQ(view->loadedSize(), view->size());
    EXPECT_EQ(view->lineText(0), "Raw text line of a very large damaged document, kept whole.");
    EXPECT_EQ(view->lineText(view->lineCount() - 1), view->lineText(0));
    // One copy of the text and its line index, not a multiple of it.
    EXPECT_LT(grown, static_cast<long>(2 * view->size())) << grown;
    RecordProperty("longest_gap_ms", static_cast<int>(r.longestGapMs));
    RecordProperty("grown_mb", static_cast<int>(grown >> 20));

    // Going to another document lets the text go at once.
    w.selectRoot();
    EXPECT_EQ(view->size(), 0);
}

// Long lines are broken for display, and every byte stays in the view.
TEST(LongWork, TheTextViewBreaksLongLinesAndLoadsInPieces) {
    test::ensureApplication();
    LargeTextView view;
    view.setChunkSize(100);
    std::string text = "short\r\n" + std::string(LargeTextView::kWrapColumn + 10, 'x') + "\r\nend";
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    bool loaded = false;
    QObject::connect(&view, &LargeTextView::loaded, [&] { loaded = true; });
    view.setText(bytes);
    EXPECT_TRUE(view.isLoading());  // 100 bytes a turn
    for (int i = 0; i < 100 && !loaded; ++i)
        QCoreApplication::processEvents();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(view.lineCount(), 4);
    EXPECT_EQ(view.lineText(0), "short");
    EXPECT_EQ(view.lineText(1).size(), LargeTextView::kWrapColumn);
    EXPECT_EQ(view.lineText(2), QString(10, 'x'));
    EXPECT_EQ(view.lineText(3), "end");
    EXPECT_EQ(view.size(), static_cast<qint64>(text.size()));
}

// Converted text is UTF-8: its letters are shown as they are, and a long line is never broken
// inside one.
TEST(LongWork, TheTextViewShowsUtf8TextWithoutCuttingALetter) {
    test::ensureApplication();
    LargeTextView view;
    // "é" is two bytes: the wrap column falls between them when the line starts with one 'a'.
    std::string line = "a";
    while (line.size() < LargeTextView::kWrapColumn + 10)
        line += "\xC3\xA9";
    const std::string text = "Caf\xC3\xA9\n" + line;
    view.setText(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                 LargeTextView::Encoding::Utf8);
    ASSERT_FALSE(view.isLoading());
    EXPECT_EQ(view.lineText(0), QString::fromUtf8("Caf\xC3\xA9"));
    ASSERT_EQ(view.lineCount(), 3);
    EXPECT_EQ(view.lineText(1) + view.lineText(2), QString::fromUtf8(line.data(), line.size()));
    EXPECT_FALSE(view.toPlainText().contains(QChar::ReplacementCharacter));
}

}  // namespace
}  // namespace morvel
