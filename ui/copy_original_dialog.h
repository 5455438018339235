#pragma once

#include <QDialog>
#include <QLineEdit>

namespace morvel {

// The "Copy original document to" dialog: the target folder, typed or picked.
class CopyOriginalDialog : public QDialog {
    Q_OBJECT
  public:
    CopyOriginalDialog(const QString& fileName, const QString& defaultFolder,
                       QWidget* parent = nullptr);
    QString folder() const { return field_->text(); }
    QLineEdit* field() const { return field_; }

  private:
    QLineEdit* field_;
};

}  // namespace morvel
