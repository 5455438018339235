#pragma once

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <filesystem>
#include <functional>

namespace morvel {

// A page that shows a document as HTML, with a button that opens the file behind it in the
// desktop's default application.
class DocumentPage : public QWidget {
    Q_OBJECT
  public:
    explicit DocumentPage(QWidget* parent = nullptr);
    // Shows html; file is what the button opens (none: the button is disabled).
    void setContent(const QString& html, const std::filesystem::path& file = {});
    const std::filesystem::path& file() const { return file_; }
    QTextBrowser* browser() const { return browser_; }
    QPushButton* openButton() const { return open_; }

  signals:
    void openRequested(const QString& file);

  private:
    QTextBrowser* browser_;
    QPushButton* open_;
    std::filesystem::path file_;
};

// The preview's tab view in one of two layouts: for a .doc "Full document", "Filtered text"
// and "Raw Text" (two plain text fields); for a .docx "Full document" and "Filtered text"
// (a second document page).
class CMorvelTabCtrl : public QTabWidget {
    Q_OBJECT
  public:
    enum Layout { kDocLayout = 1, kDocxLayout = 2 };

    explicit CMorvelTabCtrl(QWidget* parent = nullptr);
    Layout layout() const { return layout_; }
    void setDocLayout();
    void setDocxLayout();

    DocumentPage* fullPage() const { return fullPage_; }
    DocumentPage* filteredPage() const { return filteredPage_; }
    QPlainTextEdit* filteredText() const { return filteredText_; }
    QPlainTextEdit* rawText() const { return rawText_; }

  private:
    Layout layout_ = kDocLayout;
    DocumentPage* fullPage_;
    DocumentPage* filteredPage_;
    QPlainTextEdit* filteredText_;
    QPlainTextEdit* rawText_;
};

}  // namespace morvel
