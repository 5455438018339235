#pragma once

#include <QIcon>
#include <QTreeWidget>
#include <cstdint>

namespace morvel {

class CDocumentStore;

// The document tree: the root "Morvel", one item per run of documents of one folder, and the
// documents under it. Every item carries its parameter: a record index, RootItemParam or
// FolderItemParam.
class CMorvelTreeView : public QTreeWidget {
    Q_OBJECT
  public:
    // Images of the items.
    enum Image { kRootImage = 0, kFolderImage = 1, kDocumentImage = 2, kRecoveredImage = 3 };

    explicit CMorvelTreeView(QWidget* parent = nullptr);

    // Deletes every item and inserts them again from the store's table and filters.
    void rebuild(const CDocumentStore& store);
    static int32_t paramOf(const QTreeWidgetItem* item);
    // The item of a record, or null.
    QTreeWidgetItem* itemForRecord(int32_t index) const;
    QTreeWidgetItem* rootItem() const { return topLevelItem(0); }
    void setImage(QTreeWidgetItem* item, Image image);
    static Image imageOf(const QTreeWidgetItem* item);
    static QIcon icon(Image image);
};

}  // namespace morvel
