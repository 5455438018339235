#pragma once

#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <filesystem>
#include <vector>

#include "ui/large_text_view.h"

namespace morvel {

// A page that shows a document as HTML, with a button that opens the result behind it in the
// desktop's default application.
class DocumentPage : public QWidget {
    Q_OBJECT
  public:
    explicit DocumentPage(QWidget* parent = nullptr, bool withOpenButton = true);
    // Shows html; openable says whether the button can open the result.
    void setContent(const QString& html, bool openable = false);
    QTextBrowser* browser() const { return browser_; }
    QPushButton* openButton() const { return open_; }

  signals:
    void openRequested();

  private:
    QTextBrowser* browser_;
    QPushButton* open_;
};

// The preview's tabs. Only the pages of results that exist are shown: "Full document",
// "Filtered text" (a document page for a .docx, a text view for a .doc), "Raw Text" (.doc
// only) and "Recovery report" (.docx); a document without results, a folder or the root show
// the one "Overview" page.
class CMorvelTabCtrl : public QTabWidget {
    Q_OBJECT
  public:
    explicit CMorvelTabCtrl(QWidget* parent = nullptr);
    // Shows these pages, in this order, and no others.
    void showPages(const std::vector<QWidget*>& pages);
    // Stops loading and empties both text views (before their record's buffers change).
    void clearTexts();

    DocumentPage* infoPage() const { return infoPage_; }
    DocumentPage* fullPage() const { return fullPage_; }
    DocumentPage* filteredPage() const { return filteredPage_; }
    LargeTextView* filteredText() const { return filteredText_; }
    LargeTextView* rawText() const { return rawText_; }
    QTextBrowser* reportPage() const { return reportPage_; }

  private:
    QString titleOf(QWidget* page) const;

    DocumentPage* infoPage_;
    DocumentPage* fullPage_;
    DocumentPage* filteredPage_;
    LargeTextView* filteredText_;
    LargeTextView* rawText_;
    QTextBrowser* reportPage_;
};

}  // namespace morvel
