#pragma once

#include <QDialog>
#include <QLineEdit>

namespace morvel {

// The "Add documents" dialog: a list of folders separated by ";" to search, which starts as
// the user's documents folder, or one folder to pick with the folder picker. Searching every
// disk is a choice of its own ("All Disks" fills in the list of disks).
class CSearchDocNew : public QDialog {
    Q_OBJECT
  public:
    enum Choice { kNoChoice = 0, kSearchNow = 2, kBrowse = 3 };

    CSearchDocNew(const QString& documentsFolder, const QString& allDisks,
                  QWidget* parent = nullptr);
    Choice choice() const { return choice_; }
    QString folderList() const { return field_->text(); }
    QLineEdit* field() const { return field_; }

  private:
    QLineEdit* field_;
    Choice choice_ = kNoChoice;
};

}  // namespace morvel
