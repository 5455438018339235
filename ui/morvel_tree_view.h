#pragma once

#include <QIcon>
#include <QTreeWidget>
#include <cstdint>
#include <functional>

#include "ui/document_state.h"

namespace morvel {

class CDocumentStore;

// The document tree: the root "Morvel", one item per run of documents of one folder, and the
// documents under it. Every item carries its parameter: a record index, RootItemParam or
// FolderItemParam. A document's icon and tooltip show its state and the reason for it.
class CMorvelTreeView : public QTreeWidget {
    Q_OBJECT
  public:
    // Images of the items.
    enum Image {
        kRootImage = 0,
        kFolderImage = 1,
        kDocumentImage = 2,  // not yet recovered
        kRecoveredImage = 3,
        kTextOnlyImage = 4,
        kFailedImage = 5,
    };
    using StateOf = std::function<StateView(int32_t index)>;

    explicit CMorvelTreeView(QWidget* parent = nullptr);

    // Deletes every item and inserts them again from the store's table and filters. Folder
    // items keep their expanded or collapsed state; new ones are expanded.
    void rebuild(const CDocumentStore& store, const StateOf& stateOf);
    static int32_t paramOf(const QTreeWidgetItem* item);
    // The item of a record, or null.
    QTreeWidgetItem* itemForRecord(int32_t index) const;
    QTreeWidgetItem* rootItem() const { return topLevelItem(0); }
    void setImage(QTreeWidgetItem* item, Image image);
    // Shows a document's state: its icon and, as tooltip, the state and its reason.
    void setState(QTreeWidgetItem* item, const StateView& state);
    static Image imageOf(const QTreeWidgetItem* item);
    static Image imageFor(DocState state);
    static QIcon icon(Image image);
};

}  // namespace morvel
