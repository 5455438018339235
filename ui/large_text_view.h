#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QTimer>
#include <cstdint>
#include <span>
#include <vector>

namespace morvel {

// A read-only view of a plain text of any size (Windows-1252 bytes). The text is taken in
// pieces from a timer, a few milliseconds' worth each turn of the event loop, so the window stays
// responsive while a text of hundreds of megabytes loads, and only the lines in view are decoded
// and drawn: the view holds one copy of the bytes plus four bytes per line. Lines longer than
// kWrapColumn characters are broken there. Mouse drags select whole lines; Ctrl+C copies them,
// Ctrl+A selects everything.
class LargeTextView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    static constexpr int kWrapColumn = 400;

    explicit LargeTextView(QWidget* parent = nullptr);

    // How the bytes of a text stand for characters: the .doc engine's texts are 8-bit
    // (Windows-1252), the text converted from RTF, HTML or XML is UTF-8.
    enum class Encoding { Windows1252, Utf8 };

    // Starts loading text (a trailing NUL is left out). The bytes are read in pieces from the
    // event loop: they must stay valid until loaded() or until clear() or setText() is called.
    void setText(std::span<const uint8_t> text, Encoding encoding = Encoding::Windows1252);
    void clear();
    bool isLoading() const { return timer_.isActive(); }
    qint64 size() const { return total_; }
    qint64 loadedSize() const { return text_.size(); }
    int lineCount() const { return static_cast<int>(lineStarts_.size()); }
    // The whole text decoded, lines joined by "\n" (for small texts and tests).
    QString toPlainText() const;
    QString lineText(int line) const;
    // Bytes taken per piece (a turn of the event loop takes pieces for a few milliseconds);
    // tests make it smaller.
    void setChunkSize(qint64 bytes) { chunk_ = bytes; }

  signals:
    void loaded();

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

  private:
    void loadTurn();
    void loadPiece();
    // Where a line that would break at `at` breaks so that no character is cut.
    qint64 utf8Boundary(const char* data, qint64 lineStart, qint64 at) const;
    void finishLoading();
    void updateScrollBars();
    int lineAt(int y) const;
    // Byte range of a line, without its line break.
    std::pair<qint64, qint64> lineRange(int line) const;
    void copySelection() const;

    std::span<const uint8_t> source_;
    QByteArray text_;
    Encoding encoding_ = Encoding::Windows1252;
    qint64 total_ = 0;
    qint64 chunk_ = 256 << 10;
    std::vector<uint32_t> lineStarts_;
    qint64 lineStartOfLast_ = 0;  // where the line being scanned began
    int longestLine_ = 0;
    int anchor_ = -1, current_ = -1;  // selected lines, in any order
    QTimer timer_;
};

}  // namespace morvel
