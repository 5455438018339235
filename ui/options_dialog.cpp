#include "ui/options_dialog.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace morvel {

OptionsDialog::OptionsDialog(bool scanDocumentsAtStart, bool showTemplates, bool showTilde,
                             QWidget* parent)
    : QDialog(parent),
      scan_(new QCheckBox(tr("&List the documents of my Documents folder at start"), this)),
      templates_(new QCheckBox(tr("Show documents in &Templates folders"), this)),
      tilde_(new QCheckBox(tr("Show &owner files (~*.doc)"), this)) {
    setWindowTitle(tr("Preferences"));
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
