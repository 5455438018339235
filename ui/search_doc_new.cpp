#include "ui/search_doc_new.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace morvel {

// The field takes as much as the search job accepts.
constexpr int kFolderListLimit = 500;

CSearchDocNew::CSearchDocNew(const QString& defaultList, QWidget* parent)
    : QDialog(parent), field_(new QLineEdit(defaultList, this)) {
    setWindowTitle(tr("Add documents"));
    field_->setMaxLength(kFolderListLimit);
    field_->setMinimumWidth(360);
    auto* searchNow = new QPushButton(tr("Search Now"), this);
    auto* browse = new QPushButton(tr("Browse..."), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    searchNow->setDefault(true);
    connect(searchNow, &QPushButton::clicked, this, [this] {
        choice_ = kSearchNow;
        accept();
    });
    connect(browse, &QPushButton::clicked, this, [this] {
        choice_ = kBrowse;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(searchNow);
    buttons->addWidget(browse);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Look on disks:"), this));
    layout->addWidget(field_);
    layout->addLayout(buttons);
}

}  // namespace morvel
