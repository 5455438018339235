#include "ui/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "core/doc_preview.h"
#include "core/preview_html.h"
#include "platform/file_io.h"
#include "platform/windows1252.h"
#include "ui/copy_original_dialog.h"
#include "ui/manual_html.h"
#include "ui/options_dialog.h"
#include "ui/preview_pages.h"
#include "ui/search_doc_new.h"

#ifndef MORVEL_VERSION
#define MORVEL_VERSION "0"
#endif

namespace morvel {

namespace {

QString fromUtf8(const std::string& s) {
    return QString::fromStdString(s);
}

QString textOf(const std::optional<std::vector<uint8_t>>& bytes) {
    if (!bytes)
        return {};
    return fromUtf8(windows1252ToUtf8(*bytes));
}

// What the full-document tab shows for a recovered .doc: the text of the rebuilt document, or
// the text the extraction found when the rebuilt one cannot be read.
QString docFullDocumentHtml(const DocumentRecord& record) {
    std::string html = docPreviewHtml(*record.fullData);
    if (!html.empty())
        return fromUtf8(html);
    if (record.filteredData && !record.filteredData->empty())
        return fromUtf8(textPreviewHtml(*record.filteredData));
    return previewPageHtml(PreviewPage::VERY_DAMAGE);
}

}  // namespace

CMainFrame::CMainFrame(std::shared_ptr<CDocumentStore> store, QWidget* parent)
    : QMainWindow(parent), store_(std::move(store)), work_(new CWorkWindow(*store_, this)) {
    setWindowTitle(QStringLiteral("Morvel"));
    setWindowIcon(CMorvelTreeView::icon(CMorvelTreeView::kRecoveredImage));
    setCentralWidget(work_);
    openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    errorSink_ = [](const QString& text) {
        QMessageBox::warning(nullptr, QStringLiteral("Morvel"), text);
    };
    chooseSaveName_ = [this](const QString& title, const QString& name, const QString& filter) {
        return QFileDialog::getSaveFileName(this, title, name, filter);
    };

    createActions();
    createMenus();
    createToolBar();
    createStatusBar();

    CWorkWindow* work = work_;
    connect(work, &CWorkWindow::selectionChanged, this, &CMainFrame::onSelectionChanged);
    connect(work->tree(), &QTreeWidget::customContextMenuRequested, this,
            &CMainFrame::onTreeContextMenu);
    connect(work->tree(), &QTreeWidget::itemDoubleClicked, this, [this] { onTreeDoubleClicked(); });
    for (DocumentPage* page : {work->tabs()->fullPage(), work->tabs()->filteredPage()})
        connect(page, &DocumentPage::openRequested, this,
                [this](const QString& file) { openUrl_(QUrl::fromLocalFile(file)); });

    store_->SetObserver(this);
    store_->SetErrorReport(this);
    store_->SetStatusText(this);
    store_->SetProgress(this);

    work_->rebuildTree();
    updateCommandStates();
    resize(1000, 680);
    // Once the window is up, the full-document page shows the start page.
    QTimer::singleShot(0, this, [this] {
        if (store_->selectedIndex() >= NoneSelected)
            work_->tabs()->fullPage()->setContent(previewPageHtml(PreviewPage::START_PAGE));
    });
}

CMainFrame::~CMainFrame() {
    // Stops a running worker before this window goes: after Shutdown the store sends nothing.
    store_->Shutdown();
    store_->SetObserver(nullptr);
    store_->SetErrorReport(nullptr);
    store_->SetStatusText(nullptr);
    store_->SetProgress(nullptr);
}

void CMainFrame::createActions() {
    struct Def {
        Command id;
        const char* text;
        const char* prompt;
        std::function<void()> run;
    };
    const Def defs[] = {
        {kAdd, "Add documents to Tree View", "Add documents to Tree View ",
         [this] { addDocuments(); }},
        {kRemove, "Remove documents from Tree View", "Remove documents from Tree View ",
         [this] { removeDocuments(); }},
        {kCopy, "Copy original file to ...", "", [this] { copyOriginal(); }},
        {kExit, "Exit", "", [this] { close(); }},
        {kRecover, "Recovery", "Recovery Morvel will not modify the original doc file. ",
         [this] { startRecovery(); }},
        {kStop, "Stop", "Stop current operation ", [this] { stop(); }},
        {kSaveFull, "Save recovered Full document as...", "", [this] { save(OutputKind::Full); }},
        {kSaveFiltered, "Save Filtered text as...", "", [this] { save(OutputKind::Filtered); }},
        {kSaveRaw, "Save Raw text as...", "", [this] { save(OutputKind::Raw); }},
        {kSave, "Save recovered document as…", "Save recovered document as…",
         [this] { save(outputKindForTab(work_->tabs()->currentIndex())); }},
        {kOptions, "Options...", "", [this] { showOptions(); }},
        {kToolbar, "Toolbar", "",
         [this] { toolBar_->setVisible(actions_[kToolbar]->isChecked()); }},
        {kStatusBar, "Status Bar", "",
         [this] { statusBar()->setVisible(actions_[kStatusBar]->isChecked()); }},
        {kHelp, "Help Topics", "", [this] { showHelp(); }},
        {kAbout, "About Morvel ...", "", [this] { showAbout(); }},
        {kShowTemplates, "Show documents in.../templates/...folders", "",
         [this] { toggleFilter(true); }},
        {kShowTilde, "Show ~*.doc files", "", [this] { toggleFilter(false); }},
    };
    for (const Def& d : defs) {
        auto* a = new QAction(QString::fromUtf8(d.text), this);
        a->setStatusTip(QString::fromUtf8(d.prompt));
        auto run = d.run;
        connect(a, &QAction::triggered, this, [run] { run(); });
        actions_[d.id] = a;
    }
    for (Command c : {kToolbar, kStatusBar, kShowTemplates, kShowTilde})
        actions_[c]->setCheckable(true);
    actions_[kToolbar]->setChecked(true);
    actions_[kStatusBar]->setChecked(true);
    actions_[kExit]->setShortcut(QKeySequence::Quit);
    actions_[kHelp]->setShortcut(QKeySequence::HelpContents);

    QStyle* s = style();
    actions_[kAdd]->setIcon(s->standardIcon(QStyle::SP_FileDialogNewFolder));
    actions_[kRemove]->setIcon(s->standardIcon(QStyle::SP_TrashIcon));
    actions_[kSave]->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));
    actions_[kRecover]->setIcon(s->standardIcon(QStyle::SP_MediaPlay));
    actions_[kStop]->setIcon(s->standardIcon(QStyle::SP_MediaStop));
}

void CMainFrame::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(actions_[kAdd]);
    file->addAction(actions_[kRemove]);
    file->addAction(actions_[kCopy]);
    file->addSeparator();
    file->addAction(actions_[kExit]);
    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    tools->addAction(actions_[kRecover]);
    tools->addAction(actions_[kStop]);
    tools->addSeparator();
    tools->addAction(actions_[kSaveFull]);
    tools->addAction(actions_[kSaveFiltered]);
    tools->addAction(actions_[kSaveRaw]);
    tools->addSeparator();
    tools->addAction(actions_[kOptions]);
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(actions_[kToolbar]);
    view->addAction(actions_[kStatusBar]);
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(actions_[kHelp]);
    help->addAction(actions_[kAbout]);
}

void CMainFrame::createToolBar() {
    toolBar_ = addToolBar(tr("Toolbar"));
    toolBar_->setObjectName(QStringLiteral("toolbar"));
    toolBar_->setIconSize(QSize(24, 24));
    toolBar_->setMovable(false);
    for (Command c : {kAdd, kRemove, kSave, kRecover, kStop})
        toolBar_->addAction(actions_[c]);
}

void CMainFrame::createStatusBar() {
    statusPart_ = new QWidget(this);
    statusLabel_ = new QLabel(QStringLiteral("Ready"), statusPart_);
    auto* layout = new QHBoxLayout(statusPart_);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->addWidget(statusLabel_);
    layout->addStretch();
    statusPart_->setMinimumHeight(statusLabel_->sizeHint().height() + 6);
    statusPart_->installEventFilter(this);
    statusBar()->addWidget(statusPart_, 1);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
    if (watched == statusPart_ && e->type() == QEvent::Resize)
        placeProgress();
    return QMainWindow::eventFilter(watched, e);
}

bool CMainFrame::event(QEvent* e) {
    // Prompts of the buttons take the status text only while no job reports there.
    if (e->type() == QEvent::StatusTip) {
        if (!store_->busy()) {
            QString tip = static_cast<QStatusTipEvent*>(e)->tip();
            setStatusLabel(tip.isEmpty() ? QStringLiteral("Ready") : tip);
        }
        return true;
    }
    return QMainWindow::event(e);
}

void CMainFrame::setStatusLabel(const QString& text) {
    statusLabel_->setText(text);
}

void CMainFrame::onUiThread(std::function<void()> f) {
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

// ---- store interfaces (any thread) ----

void CMainFrame::onStoreMessage(const StoreMessage& message, MessageReply reply) {
    onUiThread([this, message, reply] {
        handleStoreMessage(message);
        reply.handled();
    });
}

void CMainFrame::setStatusText(const std::string& text) {
    onUiThread([this, t = fromUtf8(text)] { setStatusLabel(t); });
}

void CMainFrame::setRange(int low, int high) {
    {
        std::lock_guard lock(progressMutex_);
        low_ = low;
        high_ = high;
    }
    onUiThread([this, low, high] {
        if (progress_)
            progress_->setRange(low, high);
    });
}

void CMainFrame::setStep(int step) {
    std::lock_guard lock(progressMutex_);
    step_ = step;
}

void CMainFrame::setPosition(int pos) {
    {
        std::lock_guard lock(progressMutex_);
        pos_ = pos;
    }
    onUiThread([this, pos] {
        if (progress_)
            progress_->setValue(pos);
    });
}

int CMainFrame::position() const {
    std::lock_guard lock(progressMutex_);
    return pos_;
}

void CMainFrame::stepIt() {
    int pos;
    {
        // Like a bar control, stepping past the top wraps back to the bottom of the range.
        std::lock_guard lock(progressMutex_);
        pos_ += step_;
        if (pos_ > high_)
            pos_ = low_ + (pos_ - high_);
        pos = pos_;
    }
    onUiThread([this, pos] {
        if (progress_)
            progress_->setValue(pos);
    });
}

void CMainFrame::showError(const std::string& text) {
    onUiThread([this, t = fromUtf8(text)] { errorSink_(t); });
}

// ---- messages and job ends (UI thread) ----

void CMainFrame::handleStoreMessage(const StoreMessage& message) {
    switch (message.id) {
        case WM_RECOVERY_DONE:
            finishJob(store_->OnRecoveryDone());
            break;
        case WM_RECOVERY_FAILED:
            finishJob(store_->OnRecoveryFailed());
            break;
        case WM_STATUS_TEXT:
            setStatusLabel(fromUtf8(message.text));
            break;
        case WM_REBUILD_TREE:
            work_->rebuildTree();
            break;
    }
}

void CMainFrame::finishJob(const JobEnd& end) {
    if (end.recovered)
        if (QTreeWidgetItem* item = work_->tree()->itemForRecord(end.jobIndex))
            work_->tree()->setImage(item, CMorvelTreeView::kRecoveredImage);
    updateCommandStates();
    if (end.refreshPreview) {
        refreshPreview();
        destroyProgress();
    }
    setStatusLabel(QStringLiteral("Ready"));
}

void CMainFrame::updateCommandStates() {
    const CommandStates s = store_->commandStates();
    actions_[kAdd]->setEnabled(s.add);
    actions_[kRemove]->setEnabled(s.remove);
    actions_[kCopy]->setEnabled(s.copy);
    actions_[kRecover]->setEnabled(s.recover);
    actions_[kStop]->setEnabled(s.stop);
    actions_[kSave]->setEnabled(s.save);
    actions_[kSaveFull]->setEnabled(s.saveFull);
    actions_[kSaveFiltered]->setEnabled(s.saveFiltered);
    actions_[kSaveRaw]->setEnabled(s.saveRaw);
    actions_[kShowTemplates]->setChecked(store_->settings().showTemplates);
    actions_[kShowTilde]->setChecked(store_->settings().showTilde);
}

void CMainFrame::runCommand(Command c) {
    if (actions_[c]->isEnabled())
        actions_[c]->trigger();
}

// ---- tree ----

void CMainFrame::onSelectionChanged(int32_t param) {
    if (!store_->SelectionChanged(param))
        return;
    updateCommandStates();
    if (store_->IsRecordIndex(param)) {
        const DocumentRecord& rec = store_->record(param);
        work_->setCaption(QStringLiteral("File: ") + fromUtf8(rec.folder) + QLatin1Char('/') +
                          fromUtf8(rec.fileName));
    } else {
        work_->setCaption(QString());
    }
    refreshPreview();
}

void CMainFrame::onTreeContextMenu(const QPoint& pos) {
    CMorvelTreeView* tree = work_->tree();
    QTreeWidgetItem* item = tree->itemAt(pos);
    if (!item)
        return;
    tree->setCurrentItem(item);
    QMenu popup(tr("Popup"), this);
    for (Command c : {kAdd, kRemove, kCopy, kRecover, kSaveFull, kSaveFiltered, kSaveRaw})
        popup.addAction(actions_[c]);
    popup.addSeparator();
    QMenu* filter = popup.addMenu(tr("Tree View Filter"));
    filter->addAction(actions_[kShowTemplates]);
    filter->addAction(actions_[kShowTilde]);
    popup.exec(tree->viewport()->mapToGlobal(pos));
}

void CMainFrame::onTreeDoubleClicked() {
    if (!store_->busy())
        startRecovery();
}

// ---- commands ----

void CMainFrame::startRecovery() {
    int32_t selected = store_->selectedIndex();
    if (!store_->IsRecordIndex(selected))
        return;
    QString name = fromUtf8(store_->record(selected).fileName);
    if (!store_->StartRecovery())
        return;
    setStatusLabel(QStringLiteral("Recovering of %1  Step 1 of 2:").arg(name));
    createProgress();
    updateCommandStates();
}

void CMainFrame::addDocuments() {
    if (!store_->commandStates().add)
        return;
    CSearchDocNew dialog(defaultSearchList_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    int32_t mode;
    QString folders;
    if (dialog.choice() == CSearchDocNew::kSearchNow) {
        mode = kJobSearchList;
        folders = dialog.folderList();
    } else if (dialog.choice() == CSearchDocNew::kBrowse) {
        // Hidden folders are shown so that any folder can be reached.
        QFileDialog picker(this, tr("Select folder"), QDir::homePath());
        picker.setFileMode(QFileDialog::Directory);
        picker.setOption(QFileDialog::ShowDirsOnly);
        picker.setOption(QFileDialog::DontUseNativeDialog);
        picker.setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot);
        if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
            return;
        mode = kJobSearchFolder;
        folders = picker.selectedFiles().first();
    } else {
        return;
    }
    if (store_->StartSearch(mode, folders.toStdString()))
        updateCommandStates();
}

void CMainFrame::stop() {
    store_->Stop();
}

void CMainFrame::removeDocuments() {
    if (!store_->commandStates().remove)
        return;
    work_->removeSelected();
    updateCommandStates();
}

void CMainFrame::copyOriginal() {
    int32_t selected = store_->selectedIndex();
    if (!store_->commandStates().copy || !store_->IsRecordIndex(selected))
        return;
    CopyOriginalDialog dialog(fromUtf8(store_->record(selected).fileName),
                              QString::fromStdString(store_->documentsFolder().string()), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    store_->CopyOriginal(selected, dialog.folder().toStdString());
}

void CMainFrame::save(OutputKind kind) {
    int32_t selected = store_->selectedIndex();
    const CommandStates s = store_->commandStates();
    bool enabled = kind == OutputKind::Full       ? s.saveFull
                   : kind == OutputKind::Filtered ? s.saveFiltered
                                                  : s.saveRaw;
    if (!enabled || !store_->IsRecordIndex(selected))
        return;
    const DocumentRecord& rec = store_->record(selected);
    bool docx = rec.format == kFormatDocx;
    QString title, label;
    switch (kind) {
        case OutputKind::Full:
            title = QStringLiteral("Save recovered Full document as");
            label = QStringLiteral("Word Document");
            break;
        case OutputKind::Filtered:
            title = QStringLiteral("Save Text as");
            label = docx ? QStringLiteral("Word Document") : QStringLiteral("Plain Text");
            break;
        case OutputKind::Raw:
            title = QStringLiteral("Save Raw text as");
            label = QStringLiteral("Plain Text");
            break;
    }
    QString filter =
        label + QStringLiteral(" (*.") + fromUtf8(forcedExtension(rec.format, kind)) + ')';
    QString chosen =
        chooseSaveName_(title, fromUtf8(store_->DefaultSaveName(selected, kind)), filter);
    if (chosen.isEmpty())
        return;
    SaveOutcome out = store_->SaveResult(selected, kind, chosen.toStdString());
    // A result that was not written is said so, instead of leaving the user believing it was.
    if (!out.ok)
        errorSink_(fromUtf8(out.error));
}

void CMainFrame::showOptions() {
    const Settings& s = store_->settings();
    OptionsDialog dialog(s.scanDocumentsAtStart, s.showTemplates, s.showTilde, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    bool filtersChanged =
        dialog.showTemplates() != s.showTemplates || dialog.showTilde() != s.showTilde;
    store_->SetOptions(dialog.showTemplates(), dialog.showTilde(), dialog.scanDocumentsAtStart());
    if (filtersChanged)
        work_->rebuildTree();
    updateCommandStates();
}

void CMainFrame::toggleFilter(bool templates) {
    const Settings s = store_->settings();
    store_->SetOptions(templates ? !s.showTemplates : s.showTemplates,
                       templates ? s.showTilde : !s.showTilde, s.scanDocumentsAtStart);
    work_->rebuildTree();
    updateCommandStates();
}

void CMainFrame::showHelp() {
    auto* dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Morvel Help"));
    auto* browser = new QTextBrowser(dialog);
    browser->setOpenExternalLinks(true);
    browser->setHtml(QString::fromUtf8(kManualHtml));
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(browser);
    dialog->resize(640, 560);
    dialog->show();
}

void CMainFrame::showAbout() {
    QMessageBox::about(this, tr("About Morvel"),
                       QStringLiteral("<h3>Morvel %1</h3><p>Recovers damaged Word documents "
                                      "(.doc and .docx). The original file is never changed.</p>")
                           .arg(QStringLiteral(MORVEL_VERSION)));
}

// ---- preview ----

std::filesystem::path CMainFrame::writePreviewFile(const std::vector<uint8_t>& bytes, bool text,
                                                   const std::string& extension) {
    std::filesystem::path file = store_->NextPreviewName(extension);
    size_t size = bytes.size();
    if (text && size > 0 && bytes[size - 1] == 0)
        --size;  // the terminating NUL is not part of the text
    if (!writeFileAtomic(file, std::span<const uint8_t>(bytes.data(), size), true).empty())
        return {};
    return file;
}

void CMainFrame::refreshPreview() {
    int32_t selected = store_->selectedIndex();
    bool jobRecord =
        store_->busy() && store_->JobMode() == kJobRecover && selected == store_->jobIndex();
    // The record of a running job belongs to the worker until its end is reported.
    if (store_->IsRecordIndex(selected) && !jobRecord) {
        const DocumentRecord& rec = store_->record(selected);
        if (rec.resultsReady && rec.recoveryState != kNeverRecovered) {
            showResults(rec);
            return;
        }
    }
    CMorvelTabCtrl* tabs = work_->tabs();
    tabs->setDocLayout();
    tabs->filteredText()->clear();
    tabs->rawText()->clear();
    PreviewPage page = store_->IsRecordIndex(selected) ? PreviewPage::NO_VIEW_FOR_FILES
                       : selected == FolderItemParam   ? PreviewPage::NO_VIEW_FOR_FOLDERS
                                                       : PreviewPage::START_PAGE;
    tabs->fullPage()->setContent(previewPageHtml(page));
    previewFull_.clear();
    previewFiltered_.clear();
    store_->CleanWorkingFolder({}, {});
}

void CMainFrame::showResults(const DocumentRecord& rec) {
    CMorvelTabCtrl* tabs = work_->tabs();
    bool docx = rec.format == kFormatDocx;
    if (docx)
        tabs->setDocxLayout();
    else
        tabs->setDocLayout();

    std::filesystem::path full, filtered;
    if (rec.recoveryState == kRecoveredWithFull && rec.fullData) {
        full = writePreviewFile(*rec.fullData, false, docx ? "docx" : "doc");
        QString html = docx ? fromUtf8(docxPreviewHtml(*rec.fullData)) : docFullDocumentHtml(rec);
        if (html.isEmpty())
            html = previewPageHtml(PreviewPage::VERY_DAMAGE);
        tabs->fullPage()->setContent(html, full);
    } else {
        tabs->fullPage()->setContent(previewPageHtml(PreviewPage::VERY_DAMAGE));
    }
    // The text-only result is shown whenever it exists, also beside a lost full document.
    if (rec.filteredData) {
        filtered = writePreviewFile(*rec.filteredData, !docx, docx ? "docx" : "txt");
        if (docx)
            tabs->filteredPage()->setContent(fromUtf8(docxPreviewHtml(*rec.filteredData)),
                                             filtered);
    } else if (docx) {
        tabs->filteredPage()->setContent(QString());
    }
    if (!docx) {
        tabs->rawText()->setPlainText(textOf(rec.rawText));
        tabs->filteredText()->setPlainText(textOf(rec.filteredData));
    }
    previewFull_ = full;
    previewFiltered_ = filtered;
    store_->CleanWorkingFolder(full, filtered);
}

// ---- progress bar ----

void CMainFrame::createProgress() {
    destroyProgress();
    progress_ = new QProgressBar(statusPart_);
    progress_->setTextVisible(false);
    progress_->setRange(0, 50);
    {
        std::lock_guard lock(progressMutex_);
        low_ = 0;
        high_ = 50;
        step_ = 1;
        pos_ = 0;
    }
    placeProgress();
    progress_->show();
}

void CMainFrame::destroyProgress() {
    delete progress_.data();
}

// Inside the status text's part, 10 pixels right of the text, an eighth of the height inset.
void CMainFrame::placeProgress() {
    if (!progress_)
        return;
    int textWidth = statusLabel_->fontMetrics().horizontalAdvance(statusLabel_->text());
    int left = statusLabel_->x() + textWidth + 10;
    int h = statusPart_->height();
    int inset = h / 8;
    progress_->setGeometry(left, inset, std::max(0, statusPart_->width() - left), h - 2 * inset);
}

}  // namespace morvel
