#include "ui/options_dialog.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace morvel {

OptionsDialog::OptionsDialog(bool scanDocumentsAtStart, bool showTemplates, bool showTilde,
                             QWidget* parent)
    : QDialog(parent),
      scan_(new QCheckBox(tr("Show My Documents folder at startup."), this)),
      templates_(new QCheckBox(tr("Show documents in .../templates/...folders."), this)),
      tilde_(new QCheckBox(tr("Show ~*.doc files."), this)) {
    setWindowTitle(tr("Options"));
    scan_->setChecked(scanDocumentsAtStart);
    templates_->setChecked(showTemplates);
    tilde_->setChecked(showTilde);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scan_);
    layout->addWidget(templates_);
    layout->addWidget(tilde_);
    layout->addWidget(buttons);
}

}  // namespace morvel
