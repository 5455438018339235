#include "ui/copy_original_dialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace morvel {

constexpr int kFolderFieldLimit = 500;

CopyOriginalDialog::CopyOriginalDialog(const QString& fileName, const QString& defaultFolder,
                                       QWidget* parent)
    : QDialog(parent), field_(new QLineEdit(defaultFolder, this)) {
    setWindowTitle(tr("Copy Original Document"));
    field_->setMaxLength(kFolderFieldLimit);
    field_->setMinimumWidth(360);
    auto* browse = new QPushButton(tr("&Browse…"), this);
    auto* save = new QPushButton(tr("&Copy"), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    save->setDefault(true);
    connect(browse, &QPushButton::clicked, this, [this] {
        QString dir =
            QFileDialog::getExistingDirectory(this, tr("Choose a Folder"), field_->text());
        if (!dir.isEmpty())
            field_->setText(dir);
    });
    connect(save, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("Copy %1 into this folder:").arg(fileName), this), 0, 0, 1, 3);
    auto* folderLabel = new QLabel(tr("&Folder:"), this);
    folderLabel->setBuddy(field_);
    layout->addWidget(folderLabel, 1, 0);
    layout->addWidget(field_, 1, 1);
    layout->addWidget(browse, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons, 2, 0, 1, 3);
}

}  // namespace morvel
