#pragma once

#include <QLabel>
#include <QSplitter>

#include "ui/morvel_tab_ctrl.h"
#include "ui/morvel_tree_view.h"

namespace morvel {

class CDocumentStore;

// The main window's client area: the document tree beside the preview tabs, which sit in a
// pane whose caption names the selected file.
class CWorkWindow : public QSplitter {
    Q_OBJECT
  public:
    CWorkWindow(CDocumentStore& store, QWidget* parent = nullptr);

    // Rebuilds the tree from the table, keeping the selected document selected when it is
    // still shown.
    void rebuildTree();
    // Removes the selected document, or every document of the selected folder item, from the
    // tree and the table.
    void removeSelected();
    void setCaption(const QString& text);
    // Where the tree takes each document's state from.
    void setStateSource(CMorvelTreeView::StateOf stateOf) { stateOf_ = std::move(stateOf); }
    // Shows a document's state and its reason above the tabs; null hides it.
    void setBanner(const StateView* state);

    CMorvelTreeView* tree() const { return tree_; }
    CMorvelTabCtrl* tabs() const { return tabs_; }
    QLabel* caption() const { return caption_; }
    QLabel* banner() const { return bannerText_; }

  signals:
    // The tree's selected item changed; param is its parameter (NoneSelected for none).
    void selectionChanged(int32_t param);

  private:
    CDocumentStore& store_;
    CMorvelTreeView* tree_;
    QLabel* caption_;
    QWidget* bannerBox_;
    QLabel* bannerIcon_;
    QLabel* bannerText_;
    CMorvelTreeView::StateOf stateOf_;
    CMorvelTabCtrl* tabs_;
};

}  // namespace morvel
