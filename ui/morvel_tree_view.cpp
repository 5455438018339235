#include "ui/morvel_tree_view.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include "core/document_store.h"

namespace morvel {

namespace {

constexpr int kParamRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

// A document icon with a green check mark: the document has been recovered.
QIcon recoveredIcon() {
    QPixmap pm = QApplication::style()->standardIcon(QStyle::SP_FileIcon).pixmap(16, 16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 150, 0), 2.5));
    p.drawPolyline(QPolygonF({QPointF(4, 9), QPointF(7, 13), QPointF(13, 4)}));
    return QIcon(pm);
}

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
            return style->standardIcon(QStyle::SP_FileIcon);
        case kRecoveredImage:
            return recoveredIcon();
    }
    return {};
}

void CMorvelTreeView::setImage(QTreeWidgetItem* item, Image image) {
    item->setIcon(0, icon(image));
    item->setData(0, kImageRole, static_cast<int>(image));
}

CMorvelTreeView::Image CMorvelTreeView::imageOf(const QTreeWidgetItem* item) {
    return static_cast<Image>(item->data(0, kImageRole).toInt());
}

int32_t CMorvelTreeView::paramOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, kParamRole).toInt() : NoneSelected;
}

void CMorvelTreeView::rebuild(const CDocumentStore& store) {
    clear();
    auto* root = new QTreeWidgetItem(this, QStringList(QStringLiteral("Morvel")));
    root->setData(0, kParamRole, RootItemParam);
    setImage(root, kRootImage);
    for (const TreeFolder& folder : store.TreeFolders()) {
        auto* folderItem =
            new QTreeWidgetItem(root, QStringList(QString::fromStdString(folder.folder)));
        folderItem->setData(0, kParamRole, FolderItemParam);
        setImage(folderItem, kFolderImage);
        for (int32_t index : folder.records) {
            const DocumentRecord& rec = store.record(index);
            auto* doc =
                new QTreeWidgetItem(folderItem, QStringList(QString::fromStdString(rec.fileName)));
            doc->setData(0, kParamRole, index);
            bool recovered =
                rec.recoveryState == kRecoveredNoFull || rec.recoveryState == kRecoveredWithFull;
            setImage(doc, recovered ? kRecoveredImage : kDocumentImage);
        }
    }
    root->setExpanded(true);
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
