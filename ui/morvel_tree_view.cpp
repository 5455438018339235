#include "ui/morvel_tree_view.h"

#include <QApplication>
#include <QSet>
#include <QStyle>

#include "core/document_store.h"
#include "ui/state_icons.h"

namespace morvel {

namespace {

constexpr int kParamRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

}  // namespace

CMorvelTreeView::CMorvelTreeView(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

QIcon CMorvelTreeView::icon(Image image) {
    QStyle* style = QApplication::style();
    switch (image) {
        case kRootImage:
            return style->standardIcon(QStyle::SP_ComputerIcon);
        case kFolderImage:
            return style->standardIcon(QStyle::SP_DirIcon);
        case kDocumentImage:
            return svgIcon(QStringLiteral("not-recovered"));
        case kRecoveredImage:
            return svgIcon(QStringLiteral("recovered"));
        case kTextOnlyImage:
            return svgIcon(QStringLiteral("text-only"));
        case kFailedImage:
            return svgIcon(QStringLiteral("failed"));
    }
    return {};
}

void CMorvelTreeView::setImage(QTreeWidgetItem* item, Image image) {
    item->setIcon(0, icon(image));
    item->setData(0, kImageRole, static_cast<int>(image));
}

CMorvelTreeView::Image CMorvelTreeView::imageFor(DocState state) {
    switch (state) {
        case DocState::Recovered:
            return kRecoveredImage;
        case DocState::TextOnly:
            return kTextOnlyImage;
        case DocState::Failed:
            return kFailedImage;
        case DocState::NotRecovered:
            break;
    }
    return kDocumentImage;
}

void CMorvelTreeView::setState(QTreeWidgetItem* item, const StateView& state) {
    setImage(item, imageFor(state.state));
    item->setToolTip(0, state.title + QStringLiteral(": ") + state.reason);
}

CMorvelTreeView::Image CMorvelTreeView::imageOf(const QTreeWidgetItem* item) {
    return static_cast<Image>(item->data(0, kImageRole).toInt());
}

int32_t CMorvelTreeView::paramOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, kParamRole).toInt() : NoneSelected;
}

void CMorvelTreeView::rebuild(const CDocumentStore& store, const StateOf& stateOf) {
    // Folder items are told apart by their text; remember which ones the user collapsed.
    QSet<QString> collapsed;
    const bool hadRoot = rootItem() != nullptr;
    const bool rootCollapsed = hadRoot && !rootItem()->isExpanded();
    if (hadRoot)
        for (int f = 0; f < rootItem()->childCount(); ++f)
            if (!rootItem()->child(f)->isExpanded())
                collapsed.insert(rootItem()->child(f)->text(0));
    clear();
    auto* root = new QTreeWidgetItem(this, QStringList(QStringLiteral("Morvel")));
    root->setData(0, kParamRole, RootItemParam);
    setImage(root, kRootImage);
    for (const TreeFolder& folder : store.TreeFolders()) {
        auto* folderItem =
            new QTreeWidgetItem(root, QStringList(QString::fromStdString(folder.folder)));
        folderItem->setData(0, kParamRole, FolderItemParam);
        folderItem->setToolTip(0, folderItem->text(0));
        setImage(folderItem, kFolderImage);
        for (int32_t index : folder.records) {
            const DocumentRecord& rec = store.record(index);
            auto* doc =
                new QTreeWidgetItem(folderItem, QStringList(QString::fromStdString(rec.fileName)));
            doc->setData(0, kParamRole, index);
            setState(doc, stateOf(index));
        }
        folderItem->setExpanded(!collapsed.contains(folderItem->text(0)));
    }
    root->setExpanded(!rootCollapsed);
}

QTreeWidgetItem* CMorvelTreeView::itemForRecord(int32_t index) const {
    QTreeWidgetItem* root = rootItem();
    if (!root || index < 0 || index >= NoneSelected)
        return nullptr;
    for (int f = 0; f < root->childCount(); ++f) {
        QTreeWidgetItem* folder = root->child(f);
        for (int d = 0; d < folder->childCount(); ++d)
            if (paramOf(folder->child(d)) == index)
                return folder->child(d);
    }
    return nullptr;
}

}  // namespace morvel
