#pragma once

#include <QCheckBox>
#include <QDialog>

namespace morvel {

// The "Options" dialog: the start-up scan of the documents folder and the two tree filters.
class OptionsDialog : public QDialog {
    Q_OBJECT
  public:
    OptionsDialog(bool scanDocumentsAtStart, bool showTemplates, bool showTilde,
                  QWidget* parent = nullptr);
    bool scanDocumentsAtStart() const { return scan_->isChecked(); }
    bool showTemplates() const { return templates_->isChecked(); }
    bool showTilde() const { return tilde_->isChecked(); }

  private:
    QCheckBox* scan_;
    QCheckBox* templates_;
    QCheckBox* tilde_;
};

}  // namespace morvel
