#include "ui/work_window.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/document_store.h"

namespace morvel {

CWorkWindow::CWorkWindow(CDocumentStore& store, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent),
      store_(store),
      tree_(new CMorvelTreeView(this)),
      caption_(new QLabel),
      bannerBox_(new QWidget),
      bannerIcon_(new QLabel),
      bannerText_(new QLabel),
      tabs_(new CMorvelTabCtrl) {
    setObjectName(QStringLiteral("workSplitter"));
    auto* bannerLayout = new QHBoxLayout(bannerBox_);
    bannerLayout->setContentsMargins(6, 4, 6, 4);
    bannerLayout->addWidget(bannerIcon_, 0, Qt::AlignTop);
    bannerLayout->addWidget(bannerText_, 1);
    bannerText_->setWordWrap(true);
    bannerText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bannerBox_->hide();
    auto* pane = new QFrame(this);
    pane->setFrameShape(QFrame::StyledPanel);
    caption_->setMargin(4);
    caption_->setAutoFillBackground(true);
    caption_->setBackgroundRole(QPalette::Mid);
    caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(caption_);
    layout->addWidget(bannerBox_);
    layout->addWidget(tabs_, 1);
    tabs_->setParent(pane);
    addWidget(tree_);
    addWidget(pane);
    setStretchFactor(0, 1);
    setStretchFactor(1, 3);
    setSizes({300, 700});
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        emit selectionChanged(CMorvelTreeView::paramOf(current));
    });
}

void CWorkWindow::setCaption(const QString& text) {
    caption_->setText(text);
}

void CWorkWindow::setBanner(const StateView* state) {
    if (!state) {
        bannerBox_->hide();
        bannerText_->clear();
        return;
    }
    bannerIcon_->setPixmap(CMorvelTreeView::icon(CMorvelTreeView::imageFor(state->state))
                               .pixmap(QSize(24, 24), devicePixelRatioF()));
    bannerText_->setText(QStringLiteral("<b>%1</b><br>%2")
                             .arg(state->title.toHtmlEscaped(), state->reason.toHtmlEscaped()));
    bannerBox_->show();
}

void CWorkWindow::rebuildTree() {
    int32_t selected = store_.selectedIndex();
    tree_->blockSignals(true);
    tree_->rebuild(
        store_, stateOf_ ? stateOf_ : [](int32_t) { return StateView{}; });
    QTreeWidgetItem* keep = tree_->itemForRecord(selected);
    if (keep)
        tree_->setCurrentItem(keep);
    tree_->blockSignals(false);
    // The selection went away with its item: the tree now has no selected item.
    if (!keep)
        emit selectionChanged(CMorvelTreeView::paramOf(tree_->currentItem()));
}

void CWorkWindow::removeSelected() {
    int32_t selected = store_.selectedIndex();
    if (store_.IsRecordIndex(selected)) {
        QTreeWidgetItem* item = tree_->itemForRecord(selected);
        if (store_.RemoveRecord(selected))
            delete item;
        return;
    }
    QTreeWidgetItem* folder = tree_->currentItem();
    if (!folder || CMorvelTreeView::paramOf(folder) != FolderItemParam)
        return;
    for (int i = 0; i < folder->childCount(); ++i)
        store_.RemoveRecord(CMorvelTreeView::paramOf(folder->child(i)));
    delete folder;
}

}  // namespace morvel
