#include "ui/search_doc_new.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace morvel {

// The field takes as much as the search job accepts.
constexpr int kFolderListLimit = 500;

CSearchDocNew::CSearchDocNew(const QString& documentsFolder, const QString& allDisks,
                             QWidget* parent)
    : QDialog(parent), field_(new QLineEdit(documentsFolder, this)) {
    setWindowTitle(tr("Add documents"));
    field_->setMaxLength(kFolderListLimit);
    field_->setMinimumWidth(420);
    field_->setClearButtonEnabled(true);
    auto* label = new QLabel(tr("&Look in these folders (separate them with \";\"):"), this);
    label->setBuddy(field_);
    auto* hint = new QLabel(tr("Subfolders are searched too. A search of all disks can take a "
                               "long time; it can be stopped with Esc."),
                            this);
    hint->setWordWrap(true);
    auto* searchNow = new QPushButton(tr("&Search Now"), this);
    auto* browse = new QPushButton(tr("&Browse…"), this);
    auto* disks = new QPushButton(tr("All &Disks"), this);
    auto* documents = new QPushButton(tr("D&ocuments"), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    searchNow->setDefault(true);
    disks->setToolTip(tr("Fill in every local disk: %1").arg(allDisks));
    disks->setEnabled(!allDisks.isEmpty());
    documents->setToolTip(documentsFolder);
    connect(searchNow, &QPushButton::clicked, this, [this] {
        if (field_->text().trimmed().isEmpty())
            return;
        choice_ = kSearchNow;
        accept();
    });
    connect(browse, &QPushButton::clicked, this, [this] {
        choice_ = kBrowse;
        accept();
    });
    connect(disks, &QPushButton::clicked, this, [this, allDisks] { field_->setText(allDisks); });
    connect(documents, &QPushButton::clicked, this,
            [this, documentsFolder] { field_->setText(documentsFolder); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* choices = new QHBoxLayout;
    choices->addWidget(documents);
    choices->addWidget(disks);
    choices->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(browse);
    buttons->addStretch();
    buttons->addWidget(searchNow);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(field_);
    layout->addLayout(choices);
    layout->addWidget(hint);
    layout->addLayout(buttons);
}

}  // namespace morvel
