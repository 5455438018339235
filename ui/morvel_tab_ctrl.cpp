#include "ui/morvel_tab_ctrl.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace morvel {

DocumentPage::DocumentPage(QWidget* parent)
    : QWidget(parent),
      browser_(new QTextBrowser(this)),
      open_(new QPushButton(tr("Open with default application"), this)) {
    auto* bar = new QHBoxLayout;
    bar->addStretch();
    bar->addWidget(open_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(bar);
    layout->addWidget(browser_, 1);
    browser_->setOpenLinks(false);
    open_->setEnabled(false);
    connect(open_, &QPushButton::clicked, this,
            [this] { emit openRequested(QString::fromStdString(file_.string())); });
}

void DocumentPage::setContent(const QString& html, const std::filesystem::path& file) {
    browser_->setHtml(html);
    file_ = file;
    open_->setEnabled(!file_.empty());
}

CMorvelTabCtrl::CMorvelTabCtrl(QWidget* parent)
    : QTabWidget(parent),
      fullPage_(new DocumentPage(this)),
      filteredPage_(new DocumentPage(this)),
      filteredText_(new QPlainTextEdit(this)),
      rawText_(new QPlainTextEdit(this)) {
    for (QPlainTextEdit* edit : {filteredText_, rawText_}) {
        edit->setReadOnly(true);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    filteredPage_->hide();
    addTab(fullPage_, tr("Full document"));
    addTab(filteredText_, tr("Filtered text"));
    addTab(rawText_, tr("Raw Text"));
}

void CMorvelTabCtrl::setDocxLayout() {
    if (layout_ == kDocxLayout)
        return;
    removeTab(indexOf(rawText_));
    removeTab(indexOf(filteredText_));
    filteredText_->hide();
    rawText_->hide();
    addTab(filteredPage_, tr("Filtered text"));
    layout_ = kDocxLayout;
}

void CMorvelTabCtrl::setDocLayout() {
    if (layout_ == kDocLayout)
        return;
    removeTab(indexOf(filteredPage_));
    filteredPage_->hide();
    filteredPage_->setContent(QString());
    addTab(filteredText_, tr("Filtered text"));
    addTab(rawText_, tr("Raw Text"));
    filteredText_->clear();
    rawText_->clear();
    layout_ = kDocLayout;
}

}  // namespace morvel
