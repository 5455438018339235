#include "ui/morvel_tab_ctrl.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace morvel {

DocumentPage::DocumentPage(QWidget* parent, bool withOpenButton)
    : QWidget(parent),
      browser_(new QTextBrowser(this)),
      open_(new QPushButton(tr("&Open with Default Application"), this)) {
    auto* bar = new QHBoxLayout;
    bar->addStretch();
    bar->addWidget(open_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(bar);
    layout->addWidget(browser_, 1);
    browser_->setOpenLinks(false);
    open_->setEnabled(false);
    open_->setVisible(withOpenButton);
    open_->setToolTip(tr("Opens a copy of this result, kept in your cache folder"));
    connect(open_, &QPushButton::clicked, this, [this] { emit openRequested(); });
}

void DocumentPage::setContent(const QString& html, bool openable) {
    browser_->setHtml(html);
    open_->setEnabled(openable);
}

CMorvelTabCtrl::CMorvelTabCtrl(QWidget* parent)
    : QTabWidget(parent),
      infoPage_(new DocumentPage(this, false)),
      fullPage_(new DocumentPage(this)),
      filteredPage_(new DocumentPage(this)),
      filteredText_(new LargeTextView(this)),
      rawText_(new LargeTextView(this)),
      reportPage_(new QTextBrowser(this)) {
    reportPage_->setOpenLinks(false);
    for (QWidget* w : std::initializer_list<QWidget*>{fullPage_, filteredPage_, filteredText_,
                                                      rawText_, reportPage_})
        w->hide();
    addTab(infoPage_, titleOf(infoPage_));
}

QString CMorvelTabCtrl::titleOf(QWidget* page) const {
    if (page == infoPage_)
        return tr("Overview");
    if (page == fullPage_)
        return tr("Full document");
    if (page == filteredPage_ || page == filteredText_)
        return tr("Filtered text");
    if (page == rawText_)
        return tr("Raw Text");
    return tr("Recovery report");
}

void CMorvelTabCtrl::showPages(const std::vector<QWidget*>& pages) {
    bool same = static_cast<int>(pages.size()) == count();
    for (int i = 0; same && i < count(); ++i)
        same = widget(i) == pages[static_cast<size_t>(i)];
    if (same)
        return;
    QWidget* front = currentWidget();
    while (count() > 0) {
        QWidget* w = widget(0);
        removeTab(0);
        w->hide();
    }
    for (QWidget* page : pages)
        addTab(page, titleOf(page));
    // The page in front stays in front when it is still shown.
    const int again = indexOf(front);
    setCurrentIndex(again >= 0 ? again : 0);
}

void CMorvelTabCtrl::clearTexts() {
    filteredText_->clear();
    rawText_->clear();
}

}  // namespace morvel
