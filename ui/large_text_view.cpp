#include "ui/large_text_view.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstring>

#include "platform/windows1252.h"

namespace morvel {

namespace {

// Copying more than this to the clipboard is refused: no program takes a paste that large.
constexpr qint64 kCopyLimit = 64 << 20;
// One turn of the event loop takes pieces for at most this long, so input and painting keep
// their turn however fast or slow the machine (or a sanitizer build) is.
constexpr qint64 kTurnBudgetMs = 15;

}  // namespace

LargeTextView::LargeTextView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &LargeTextView::loadTurn);
}

void LargeTextView::clear() {
    timer_.stop();
    source_ = {};
    text_ = QByteArray();
    total_ = 0;
    lineStarts_.clear();
    lineStarts_.shrink_to_fit();
    lineStartOfLast_ = 0;
    longestLine_ = 0;
    anchor_ = current_ = -1;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

void LargeTextView::setText(std::span<const uint8_t> text, Encoding encoding) {
    clear();
    encoding_ = encoding;
    if (!text.empty() && text.back() == 0)
        text = text.first(text.size() - 1);
    source_ = text;
    total_ = static_cast<qint64>(text.size());
    text_.reserve(total_);
    if (total_ == 0) {
        emit loaded();
        return;
    }
    lineStarts_.push_back(0);
    // The first piece at once, so that a short text is there without waiting for the loop.
    loadPiece();
    if (text_.size() < total_)
        timer_.start();
    else
        finishLoading();
}

void LargeTextView::loadTurn() {
    QElapsedTimer clock;
    clock.start();
    do
        loadPiece();
    while (text_.size() < total_ && clock.elapsed() < kTurnBudgetMs);
    updateScrollBars();
    viewport()->update();
    if (text_.size() >= total_)
        finishLoading();
}

void LargeTextView::finishLoading() {
    timer_.stop();
    source_ = {};
    lineStarts_.shrink_to_fit();
    updateScrollBars();
    viewport()->update();
    emit loaded();
}

qint64 LargeTextView::utf8Boundary(const char* data, qint64 lineStart, qint64 at) const {
    // A UTF-8 character is never cut: when one of the last three bytes before `at` starts a
    // sequence that runs past it, the line breaks before that byte instead.
    if (encoding_ != Encoding::Utf8)
        return at;
    for (qint64 k = 1; k <= 3 && at - k > lineStart; ++k) {
        const auto c = static_cast<unsigned char>(data[at - k]);
        if (c < 0x80)
            return at;
        if (c >= 0xC0) {
            const qint64 length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            return k < length ? at - k : at;
        }
    }
    return at;
}

void LargeTextView::loadPiece() {
    const qint64 from = text_.size();
    const qint64 n = std::min(chunk_, total_ - from);
    text_.append(reinterpret_cast<const char*>(source_.data() + from), n);
    const char* data = text_.constData();
    // Index the new bytes: a line starts after each LF and every kWrapColumn characters.
    qint64 pos = from;
    const qint64 end = from + n;
    while (pos < end) {
        const qint64 wrapAt = utf8Boundary(data, lineStartOfLast_, lineStartOfLast_ + kWrapColumn);
        const qint64 limit = std::min(end, wrapAt);
        const void* lf = limit > pos ? std::memchr(data + pos, '\n', limit - pos) : nullptr;
        if (lf) {
            pos = static_cast<const char*>(lf) - data + 1;
        } else if (limit == wrapAt) {
            pos = wrapAt;
        } else {
            pos = end;
            break;
        }
        longestLine_ = std::max(longestLine_, static_cast<int>(pos - lineStartOfLast_));
        if (pos < total_) {
            lineStarts_.push_back(static_cast<uint32_t>(pos));
            lineStartOfLast_ = pos;
        }
    }
    longestLine_ = std::max(longestLine_, static_cast<int>(end - lineStartOfLast_));
}

std::pair<qint64, qint64> LargeTextView::lineRange(int line) const {
    const qint64 begin = lineStarts_[static_cast<size_t>(line)];
    qint64 end = static_cast<size_t>(line) + 1 < lineStarts_.size()
                     ? lineStarts_[static_cast<size_t>(line) + 1]
                     : text_.size();
    const char* data = text_.constData();
    if (end > begin && data[end - 1] == '\n')
        --end;
    if (end > begin && data[end - 1] == '\r')
        --end;
    return {begin, end};
}

QString LargeTextView::lineText(int line) const {
    if (line < 0 || line >= lineCount())
        return {};
    auto [begin, end] = lineRange(line);
    if (encoding_ == Encoding::Utf8)
        return QString::fromUtf8(text_.constData() + begin, end - begin);
    std::vector<uint16_t> wide = windows1252ToUtf16(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text_.constData()) + begin,
                                 static_cast<size_t>(end - begin)));
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(wide.data()),
                              static_cast<qsizetype>(wide.size()));
}

QString LargeTextView::toPlainText() const {
    QStringList lines;
    for (int i = 0; i < lineCount(); ++i)
        lines << lineText(i);
    return lines.join(QLatin1Char('\n'));
}

void LargeTextView::updateScrollBars() {
    const int lineHeight = fontMetrics().lineSpacing();
    const int visible = std::max(1, viewport()->height() / std::max(1, lineHeight));
    verticalScrollBar()->setRange(0, std::max(0, lineCount() - visible));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    const int width = longestLine_ * fontMetrics().horizontalAdvance(QLatin1Char('M')) + 8;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 4);
}

void LargeTextView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

int LargeTextView::lineAt(int y) const {
    const int line = verticalScrollBar()->value() + y / std::max(1, fontMetrics().lineSpacing());
    return std::clamp(line, 0, std::max(0, lineCount() - 1));
}

void LargeTextView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QFontMetrics fm = fontMetrics();
    const int lineHeight = fm.lineSpacing();
    const int first = verticalScrollBar()->value();
    const int x = 4 - horizontalScrollBar()->value();
    const int low = std::min(anchor_, current_), high = std::max(anchor_, current_);
    for (int i = 0, line = first; line < lineCount() && i * lineHeight < viewport()->height();
         ++i, ++line) {
        const int top = i * lineHeight;
        if (low >= 0 && line >= low && line <= high) {
            p.fillRect(QRect(0, top, viewport()->width(), lineHeight),
                       palette().brush(QPalette::Highlight));
            p.setPen(palette().color(QPalette::HighlightedText));
        } else {
            p.setPen(palette().color(QPalette::Text));
        }
        p.drawText(x, top + fm.ascent(), lineText(line));
    }
    if (isLoading()) {
        const QString note =
            tr("Loading… %1 %").arg(text_.size() * 100 / std::max<qint64>(1, total_));
        const QRect box(viewport()->width() - fm.horizontalAdvance(note) - 16,
                        viewport()->height() - lineHeight - 8, fm.horizontalAdvance(note) + 12,
                        lineHeight + 4);
        p.fillRect(box, palette().brush(QPalette::ToolTipBase));
        p.setPen(palette().color(QPalette::ToolTipText));
        p.drawText(box, Qt::AlignCenter, note);
    }
}

void LargeTextView::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    if (e->matches(QKeySequence::SelectAll)) {
        anchor_ = 0;
        current_ = lineCount() - 1;
        viewport()->update();
        return;
    }
    QScrollBar* v = verticalScrollBar();
    switch (e->key()) {
        case Qt::Key_Up:
            v->setValue(v->value() - 1);
            break;
        case Qt::Key_Down:
            v->setValue(v->value() + 1);
            break;
        case Qt::Key_PageUp:
            v->setValue(v->value() - v->pageStep());
            break;
        case Qt::Key_PageDown:
            v->setValue(v->value() + v->pageStep());
            break;
        case Qt::Key_Home:
            v->setValue(0);
            break;
        case Qt::Key_End:
            v->setValue(v->maximum());
            break;
        default:
            QAbstractScrollArea::keyPressEvent(e);
    }
}

void LargeTextView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || lineCount() == 0)
        return;
    anchor_ = current_ = lineAt(e->position().toPoint().y());
    viewport()->update();
}

void LargeTextView::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton) || anchor_ < 0)
        return;
    current_ = lineAt(e->position().toPoint().y());
    viewport()->update();
}

void LargeTextView::copySelection() const {
    if (anchor_ < 0 || lineCount() == 0)
        return;
    const int low = std::min(anchor_, current_), high = std::max(anchor_, current_);
    const qint64 bytes =
        lineStarts_[static_cast<size_t>(high)] - lineStarts_[static_cast<size_t>(low)];
    if (bytes > kCopyLimit)
        return;
    QStringList lines;
    for (int line = low; line <= high; ++line)
        lines << lineText(line);
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

}  // namespace morvel
