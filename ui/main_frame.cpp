#include "ui/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "core/content_route.h"
#include "core/doc_preview.h"
#include "core/document_format.h"
#include "core/preview_html.h"
#include "discovery/named_documents.h"
#include "platform/file_io.h"
#include "platform/windows1252.h"
#include "ui/copy_original_dialog.h"
#include "ui/manual_html.h"
#include "ui/options_dialog.h"
#include "ui/preview_pages.h"
#include "ui/search_doc_new.h"
#include "ui/state_icons.h"

#ifndef MORVEL_VERSION
#define MORVEL_VERSION "0"
#endif

namespace morvel {

namespace {

// How often the status bar tells how a running search is getting on.
constexpr int kSearchReportMs = 250;
// The folder search reports one folder in this many (see SearchFolder).
constexpr int kFoldersPerSearchReport = 102;

QString fromUtf8(const std::string& s) {
    return QString::fromStdString(s);
}

std::span<const uint8_t> bytesOf(const std::optional<std::vector<uint8_t>>& buffer) {
    if (!buffer)
        return {};
    return std::span<const uint8_t>(buffer->data(), buffer->size());
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

const std::optional<std::vector<uint8_t>>& bufferOf(const DocumentRecord& r, OutputKind kind) {
    return kind == OutputKind::Full       ? r.fullData
           : kind == OutputKind::Filtered ? r.filteredData
                                          : r.rawText;
}

bool resultExists(const DocumentRecord& r, OutputKind kind) {
    return kind == OutputKind::Full       ? hasFull(r)
           : kind == OutputKind::Filtered ? hasFiltered(r)
                                          : hasRaw(r);
}

// The bytes of a result as a file holds them: a text's terminating NUL is left out.
std::span<const uint8_t> fileBytesOf(const DocumentRecord& r, OutputKind kind) {
    std::span<const uint8_t> bytes = bytesOf(bufferOf(r, kind));
    const bool text =
        kind == OutputKind::Raw || (kind == OutputKind::Filtered && r.format == kFormatDoc);
    if (text && !bytes.empty() && bytes.back() == 0)
        bytes = bytes.first(bytes.size() - 1);
    return bytes;
}

bool sameBytes(const QString& file, std::span<const uint8_t> bytes) {
    std::vector<uint8_t> have;
    return readWholeFile(file.toStdString(), have) == ReadStatus::Ok &&
           std::equal(have.begin(), have.end(), bytes.begin(), bytes.end());
}

}  // namespace

CMainFrame::CMainFrame(std::shared_ptr<CDocumentStore> store, QWidget* parent)
    : QMainWindow(parent),
      ProgressModel({.low = 0, .high = 100, .step = 1, .pos = 0},
                    [this](const ProgressState& bar) { drawProgress(bar); }),
      store_(std::move(store)),
      work_(new CWorkWindow(*store_, this)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Morvel"));
    setWindowIcon(CMorvelTreeView::icon(CMorvelTreeView::kRecoveredImage));
    setCentralWidget(work_);
    setAcceptDrops(true);
    openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    errorSink_ = [this](const QString& text) {
        QMessageBox::warning(this, QStringLiteral("Morvel"), text);
    };
    chooseSaveName_ = [this](const QString& title, const QString& path, const QString& filter) {
        return QFileDialog::getSaveFileName(this, title, path, filter);
    };
    chooseOpenNames_ = [this](const QString& start) {
        return QFileDialog::getOpenFileNames(this, tr("Open Documents"), start,
                                             tr("Word documents (*.doc *.docx *.DOC *.DOCX);;"
                                                "All files (*)"));
    };
    chooseFolder_ = [this](const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(this, title, start);
    };
    askClose_ = [this](const QString& text) {
        return QMessageBox::question(this, tr("Quit Morvel"), text,
                                     QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                     QMessageBox::Save);
    };
    copyFolder_ =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/opened");
    uiSettings_ =
        std::make_unique<QSettings>(QStringLiteral("morvel"), QStringLiteral("morvel-gui"));

    work_->setStateSource([this](int32_t index) { return stateOf(index); });
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();

    CWorkWindow* work = work_;
    connect(work, &CWorkWindow::selectionChanged, this, &CMainFrame::onSelectionChanged);
    connect(work->tree(), &QTreeWidget::customContextMenuRequested, this,
            &CMainFrame::onTreeContextMenu);
    connect(work->tree(), &QTreeWidget::itemDoubleClicked, this, [this] { onTreeDoubleClicked(); });
    work->tree()->installEventFilter(this);
    connect(work->tabs()->fullPage(), &DocumentPage::openRequested, this,
            [this] { openResult(OutputKind::Full); });
    connect(work->tabs()->filteredPage(), &DocumentPage::openRequested, this,
            [this] { openResult(OutputKind::Filtered); });

    searchTimer_ = new QTimer(this);
    searchTimer_->setInterval(kSearchReportMs);
    connect(searchTimer_, &QTimer::timeout, this, &CMainFrame::updateSearchProgress);

    store_->SetObserver(this);
    store_->SetErrorReport(this);
    store_->SetStatusText(this);
    store_->SetProgress(this);

    work_->rebuildTree();
    updateCommandStates();
    resize(1000, 680);
    restoreWindowState();
    // Once the window is up, the overview shows the start page.
    QTimer::singleShot(0, this, [this] {
        if (store_->selectedIndex() >= NoneSelected)
            work_->tabs()->infoPage()->setContent(previewPageHtml(PreviewPage::START_PAGE));
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

void CMainFrame::setUiSettingsFile(const QString& file) {
    uiSettings_ = std::make_unique<QSettings>(file, QSettings::IniFormat);
    restoreWindowState();
    rebuildRecentMenu();
}

void CMainFrame::createActions() {
    struct Def {
        Command id;
        const char* text;
        const char* prompt;
        QKeySequence keys;
        std::function<void()> run;
    };
    const Def defs[] = {
        {kAdd,
         QT_TR_NOOP("&Add Documents…"),
         QT_TR_NOOP("Search folders for Word documents"),
         {},
         [this] { addDocuments(); }},
        {kRemove,
         QT_TR_NOOP("&Remove from List"),
         QT_TR_NOOP("Remove the selected documents from the list (Delete)"),
         {},
         [this] { removeDocuments(); }},
        {kCopy,
         QT_TR_NOOP("&Copy Original To…"),
         QT_TR_NOOP("Copy the original file of the selected document into a folder"),
         {},
         [this] { copyOriginal(); }},
        {kExit, QT_TR_NOOP("&Quit"), QT_TR_NOOP("Quit Morvel"), QKeySequence::Quit,
         [this] { close(); }},
        {kRecover,
         QT_TR_NOOP("&Recover"),
         QT_TR_NOOP("Recover the selected document (Enter); the original file is never changed"),
         {},
         [this] { startRecovery(); }},
        {kStop, QT_TR_NOOP("S&top"), QT_TR_NOOP("Stop the current operation"),
         QKeySequence(Qt::Key_Escape), [this] { stop(); }},
        {kSaveFull,
         QT_TR_NOOP("Save &Full Document As…"),
         "",
         {},
         [this] { save(OutputKind::Full); }},
        {kSaveFiltered,
         QT_TR_NOOP("Save Filtered &Text As…"),
         "",
         {},
         [this] { save(OutputKind::Filtered); }},
        {kSaveRaw, QT_TR_NOOP("Save Ra&w Text As…"), "", {}, [this] { save(OutputKind::Raw); }},
        {kSave, QT_TR_NOOP("&Save Result As…"), QT_TR_NOOP("Save the result shown in front"),
         QKeySequence::Save,
         [this] {
             QWidget* page = work_->tabs()->currentWidget();
             CMorvelTabCtrl* tabs = work_->tabs();
             save(page == tabs->rawText() ? OutputKind::Raw
                  : page == tabs->filteredText() || page == tabs->filteredPage()
                      ? OutputKind::Filtered
                      : OutputKind::Full);
         }},
        {kOptions, QT_TR_NOOP("&Preferences…"), "", QKeySequence::Preferences,
         [this] { showOptions(); }},
        {kToolbar,
         QT_TR_NOOP("&Toolbar"),
         "",
         {},
         [this] { toolBar_->setVisible(actions_[kToolbar]->isChecked()); }},
        {kStatusBar,
         QT_TR_NOOP("&Status Bar"),
         "",
         {},
         [this] { statusBar()->setVisible(actions_[kStatusBar]->isChecked()); }},
        {kHelp, QT_TR_NOOP("Morvel &Help"), "", QKeySequence::HelpContents, [this] { showHelp(); }},
        {kAbout, QT_TR_NOOP("&About Morvel"), "", {}, [this] { showAbout(); }},
        {kShowTemplates,
         QT_TR_NOOP("Show Documents in &Templates Folders"),
         "",
         {},
         [this] { toggleFilter(true); }},
        {kShowTilde,
         QT_TR_NOOP("Show &Owner Files (~*.doc)"),
         "",
         {},
         [this] { toggleFilter(false); }},
        {kOpen, QT_TR_NOOP("&Open…"), QT_TR_NOOP("Open Word documents and recover them"),
         QKeySequence::Open, [this] { openFiles(); }},
        {kSaveAll, QT_TR_NOOP("Save &All Results…"),
         QT_TR_NOOP("Save every result of the selected document into one folder"),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [this] { saveAll(); }},
    };
    for (const Def& d : defs) {
        auto* a = new QAction(tr(d.text), this);
        a->setStatusTip(*d.prompt ? tr(d.prompt) : QString());
        if (!d.keys.isEmpty())
            a->setShortcut(d.keys);
        auto run = d.run;
        connect(a, &QAction::triggered, this, [run] { run(); });
        actions_[d.id] = a;
    }
    for (Command c : {kToolbar, kStatusBar, kShowTemplates, kShowTilde})
        actions_[c]->setCheckable(true);
    actions_[kToolbar]->setChecked(true);
    actions_[kStatusBar]->setChecked(true);
    QStyle* style = QApplication::style();
    actions_[kAdd]->setIcon(style->standardIcon(QStyle::SP_FileDialogNewFolder));
    actions_[kOpen]->setIcon(style->standardIcon(QStyle::SP_DialogOpenButton));
    actions_[kRemove]->setIcon(style->standardIcon(QStyle::SP_TrashIcon));
    actions_[kSave]->setIcon(style->standardIcon(QStyle::SP_DialogSaveButton));
    actions_[kRecover]->setIcon(CMorvelTreeView::icon(CMorvelTreeView::kRecoveredImage));
    actions_[kStop]->setIcon(style->standardIcon(QStyle::SP_BrowserStop));
}

void CMainFrame::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(actions_[kOpen]);
    recentMenu_ = file->addMenu(tr("Open &Recent"));
    rebuildRecentMenu();
    file->addAction(actions_[kAdd]);
    file->addAction(actions_[kRemove]);
    file->addSeparator();
    file->addAction(actions_[kCopy]);
    file->addSeparator();
    file->addAction(actions_[kExit]);
    QMenu* recovery = menuBar()->addMenu(tr("&Recovery"));
    recovery->addAction(actions_[kRecover]);
    recovery->addAction(actions_[kStop]);
    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    tools->addAction(actions_[kSave]);
    tools->addAction(actions_[kSaveFull]);
    tools->addAction(actions_[kSaveFiltered]);
    tools->addAction(actions_[kSaveRaw]);
    tools->addAction(actions_[kSaveAll]);
    tools->addSeparator();
    tools->addAction(actions_[kOptions]);
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(actions_[kToolbar]);
    view->addAction(actions_[kStatusBar]);
    view->addSeparator();
    view->addAction(actions_[kShowTemplates]);
    view->addAction(actions_[kShowTilde]);
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(actions_[kHelp]);
    help->addAction(actions_[kAbout]);
}

void CMainFrame::createToolBar() {
    toolBar_ = addToolBar(tr("Toolbar"));
    toolBar_->setObjectName(QStringLiteral("toolbar"));
    toolBar_->setIconSize(QSize(24, 24));
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    for (Command c : {kOpen, kAdd, kRemove, kSave, kRecover, kStop})
        toolBar_->addAction(actions_[c]);
}

void CMainFrame::createStatusBar() {
    statusPart_ = new QWidget(this);
    statusLabel_ = new QLabel(tr("Ready"), statusPart_);
    auto* layout = new QHBoxLayout(statusPart_);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->addWidget(statusLabel_);
    layout->addStretch();
    statusPart_->setMinimumHeight(statusLabel_->sizeHint().height() + 6);
    statusPart_->installEventFilter(this);
    statusBar()->addWidget(statusPart_, 1);
    savedLabel_ = new QLabel(this);
    openFolderButton_ = new QPushButton(tr("Open &Folder"), this);
    openFolderButton_->setFlat(true);
    connect(openFolderButton_, &QPushButton::clicked, this, [this] {
        if (!openUrl_(QUrl::fromLocalFile(savedFolder_)))
            errorSink_(tr("No file manager is registered to open folders. The folder is %1.")
                           .arg(QDir::toNativeSeparators(savedFolder_)));
    });
    statusBar()->addPermanentWidget(savedLabel_);
    statusBar()->addPermanentWidget(openFolderButton_);
    savedLabel_->hide();
    openFolderButton_->hide();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
    if (watched == statusPart_ && e->type() == QEvent::Resize)
        placeProgress();
    if (watched == work_->tree() && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            runCommand(kRecover);
            return true;
        }
        if (key == Qt::Key_Delete) {
            runCommand(kRemove);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

bool CMainFrame::event(QEvent* e) {
    // Prompts of the buttons take the status text only while no job reports there.
    if (e->type() == QEvent::StatusTip) {
        if (!store_->busy()) {
            QString tip = static_cast<QStatusTipEvent*>(e)->tip();
            setStatusLabel(tip.isEmpty() ? tr("Ready") : tip);
        }
        return true;
    }
    return QMainWindow::event(e);
}

void CMainFrame::setStatusLabel(const QString& text) {
    statusLabel_->setText(text);
    placeProgress();
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

void CMainFrame::drawProgress(const ProgressState& bar) {
    onUiThread([this, bar] {
        if (progress_) {
            progress_->setRange(bar.low, bar.high);
            progress_->setValue(bar.pos);
        }
    });
}

void CMainFrame::showError(const std::string& text) {
    onUiThread([this, t = fromUtf8(text)] {
        // An error of a running recovery is also the reason its document shows.
        if (store_->busy() && store_->JobMode() == kJobRecover) {
            RecoveryNote& note = notes_[store_->jobIndex()];
            note.error = note.error.isEmpty() ? t : note.error + QLatin1Char(' ') + t;
        }
        errorSink_(t);
    });
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
        case WM_STATUS_TEXT: {
            const QString text = fromUtf8(message.text);
            if (store_->busy() && store_->JobMode() != kJobRecover &&
                text.startsWith(QStringLiteral("Searching "))) {
                ++searchFolderReports_;
                searchFolder_ = text.mid(10);
                updateSearchProgress();
            } else {
                setStatusLabel(text);
            }
            break;
        }
        case WM_REBUILD_TREE:
            work_->rebuildTree();
            break;
    }
}

void CMainFrame::finishJob(const JobEnd& end) {
    const bool wasSearch = end.mode == kJobSearchList || end.mode == kJobSearchFolder;
    if (end.mode == kJobRecover && store_->IsRecordIndex(end.jobIndex)) {
        RecoveryNote& note = notes_[end.jobIndex];
        note.ran = true;
        note.stopped = stopAsked_ && !end.recovered;
        const DocumentRecord& rec = store_->record(end.jobIndex);
        unsaved_[end.jobIndex] = end.recovered && (hasFull(rec) || hasFiltered(rec) || hasRaw(rec));
        if (QTreeWidgetItem* item = work_->tree()->itemForRecord(end.jobIndex))
            work_->tree()->setState(item, stateOf(end.jobIndex));
    }
    if (wasSearch) {
        searchTimer_->stop();
        if (stopAsked_)
            recoverQueue_.clear();
    }
    const bool stopped = stopAsked_;
    stopAsked_ = false;
    updateCommandStates();
    if (end.refreshPreview) {
        refreshPreview();
        destroyProgress();
    }
    const int32_t leftOut = wasSearch ? store_->leftOutCount() : 0;
    if (leftOut > 0)
        setStatusLabel(tr("The list holds at most %1 documents; %n more found were left out.",
                          nullptr, leftOut)
                           .arg(store_->capacity()));
    else
        setStatusLabel(tr("Ready"));
    if (stopped)
        recoverQueue_.clear();
    // Work that waited for this job: documents opened meanwhile, then the next in the queue.
    QTimer::singleShot(0, this, [this] {
        if (store_->busy())
            return;
        if (!pendingPaths_.isEmpty()) {
            QStringList paths = std::exchange(pendingPaths_, {});
            const QStringList problems = openPaths(paths);
            if (!problems.isEmpty())
                errorSink_(problems.join(QLatin1Char('\n')));
            return;
        }
        recoverNextQueued();
    });
}

void CMainFrame::updateCommandStates() {
    const CommandStates s = store_->commandStates();
    // A save command is only offered for a result that exists.
    const int32_t selected = store_->selectedIndex();
    const DocumentRecord* rec =
        store_->IsRecordIndex(selected) ? &store_->record(selected) : nullptr;
    const bool full = rec && hasFull(*rec), filtered = rec && hasFiltered(*rec),
               raw = rec && hasRaw(*rec);
    actions_[kAdd]->setEnabled(s.add);
    actions_[kOpen]->setEnabled(true);  // opened during a job waits for its end
    actions_[kRemove]->setEnabled(s.remove);
    actions_[kCopy]->setEnabled(s.copy);
    actions_[kRecover]->setEnabled(s.recover);
    actions_[kStop]->setEnabled(s.stop);
    actions_[kSave]->setEnabled(s.save && (full || filtered || raw));
    actions_[kSaveFull]->setEnabled(s.saveFull && full);
    actions_[kSaveFiltered]->setEnabled(s.saveFiltered && filtered);
    actions_[kSaveRaw]->setEnabled(s.saveRaw && raw);
    actions_[kSaveAll]->setEnabled(s.save && (full || filtered || raw));
    actions_[kShowTemplates]->setChecked(store_->settings().showTemplates);
    actions_[kShowTilde]->setChecked(store_->settings().showTilde);
}

void CMainFrame::runCommand(Command c) {
    if (actions_[c]->isEnabled())
        actions_[c]->trigger();
}

StateView CMainFrame::stateOf(int32_t index) const {
    if (!store_->IsRecordIndex(index))
        return {};
    if (store_->busy() && store_->JobMode() == kJobRecover && index == store_->jobIndex()) {
        StateView v;
        v.title = tr("Being recovered");
        v.reason = tr("The recovery is running; its progress shows in the status bar.");
        return v;
    }
    return documentStateOf(store_->record(index), notes_.value(index));
}

bool CMainFrame::hasUnsavedResults() const {
    for (auto it = unsaved_.cbegin(); it != unsaved_.cend(); ++it)
        if (it.value() && store_->IsRecordIndex(it.key()) && !store_->record(it.key()).removed)
            return true;
    return false;
}

// ---- tree ----

void CMainFrame::onSelectionChanged(int32_t param) {
    if (!store_->SelectionChanged(param))
        return;
    updateCommandStates();
    if (store_->IsRecordIndex(param)) {
        const DocumentRecord& rec = store_->record(param);
        work_->setCaption(
            tr("File: %1").arg(fromUtf8(rec.folder) + QLatin1Char('/') + fromUtf8(rec.fileName)));
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
    QMenu popup(this);
    for (Command c : {kRecover, kSaveFull, kSaveFiltered, kSaveRaw, kSaveAll})
        popup.addAction(actions_[c]);
    popup.addSeparator();
    for (Command c : {kAdd, kRemove, kCopy})
        popup.addAction(actions_[c]);
    popup.addSeparator();
    QMenu* filter = popup.addMenu(tr("&Filter"));
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
    if (!store_->IsRecordIndex(selected) || store_->busy())
        return;
    QString name = fromUtf8(store_->record(selected).fileName);
    // The record's buffers are the worker's from now on: the views let go of them first.
    work_->tabs()->clearTexts();
    stopAsked_ = false;
    notes_.remove(selected);
    // The bar is there before the worker can report to it.
    createProgress();
    if (!store_->StartRecovery()) {
        destroyProgress();
        return;
    }
    unsaved_.remove(selected);
    setStatusLabel(tr("Recovering of %1  Step 1 of 2:").arg(name));
    if (QTreeWidgetItem* item = work_->tree()->itemForRecord(selected))
        work_->tree()->setState(item, stateOf(selected));
    refreshPreview();
    updateCommandStates();
}

void CMainFrame::recoverNextQueued() {
    while (!recoverQueue_.empty() && !store_->busy()) {
        const int32_t index = recoverQueue_.front();
        recoverQueue_.erase(recoverQueue_.begin());
        QTreeWidgetItem* item = work_->tree()->itemForRecord(index);
        if (!item)
            continue;
        work_->tree()->setCurrentItem(item);
        work_->tree()->scrollToItem(item);
        startRecovery();
    }
}

QStringList CMainFrame::openPaths(const QStringList& paths) {
    QStringList problems;
    if (paths.isEmpty())
        return problems;
    if (store_->busy()) {
        pendingPaths_ += paths;
        setStatusLabel(tr("The documents will be opened when the current operation ends."));
        return problems;
    }
    std::vector<std::string> files;
    QStringList folders;
    for (const QString& p : paths) {
        QFileInfo info(p);
        if (info.isDir())
            folders << info.absoluteFilePath();
        else
            files.push_back(p.toStdString());
    }
    for (const std::string& s : AddNamedDocuments(*store_, files))
        problems << fromUtf8(s);
    // Find each named document in the table (also one listed before, or removed earlier).
    std::vector<int32_t> opened;
    QStringList recent;
    for (const std::string& given : files) {
        std::error_code ec;
        const std::filesystem::path path = std::filesystem::absolute(given, ec).lexically_normal();
        const std::string folder = path.parent_path().string(), name = path.filename().string();
        for (int32_t i = 0; i < store_->recordCount(); ++i) {
            DocumentRecord& rec = store_->record(i);
            if (rec.folder == folder && rec.fileName == name) {
                rec.removed = 0;
                if (rec.category != kCategoryOrdinary)
                    rec.category = kCategoryOrdinary;  // the user picked it: no filter hides it
                opened.push_back(i);
                recent << QString::fromStdString(path.string());
                break;
            }
        }
    }
    if (!opened.empty()) {
        work_->rebuildTree();
        rememberRecent(recent);
        recoverQueue_.insert(recoverQueue_.end(), opened.begin(), opened.end());
        recoverNextQueued();
    }
    if (!folders.isEmpty()) {
        if (store_->busy()) {
            pendingPaths_ += folders;  // searched once the recoveries have ended
        } else {
            searchStartCount_ = store_->recordCount();
            searchFolderReports_ = 0;
            searchFolder_ = folders.join(QStringLiteral(", "));
            if (store_->StartSearch(kJobSearchList, folders.join(QLatin1Char(';')).toStdString())) {
                searchTimer_->start();
                updateSearchProgress();
                updateCommandStates();
            }
        }
    }
    return problems;
}

void CMainFrame::openFiles() {
    QString start = fromUtf8(store_->documentsFolder().string());
    if (start.isEmpty())
        start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QStringList names = chooseOpenNames_(start);
    const QStringList problems = openPaths(names);
    if (!problems.isEmpty())
        errorSink_(problems.join(QLatin1Char('\n')));
}

QStringList CMainFrame::recentFiles() const {
    return uiSettings_->value(QStringLiteral("recent/files")).toStringList();
}

void CMainFrame::rememberRecent(const QStringList& files) {
    QStringList list = recentFiles();
    for (const QString& f : files) {
        list.removeAll(f);
        list.prepend(f);
    }
    while (list.size() > kRecentLimit)
        list.removeLast();
    uiSettings_->setValue(QStringLiteral("recent/files"), list);
    rebuildRecentMenu();
}

void CMainFrame::rebuildRecentMenu() {
    if (!recentMenu_)
        return;
    recentMenu_->clear();
    const QStringList list = recentFiles();
    int n = 0;
    for (const QString& file : list) {
        ++n;
        const QString label = n < 10
                                  ? QStringLiteral("&%1 %2").arg(n).arg(QFileInfo(file).fileName())
                                  : QStringLiteral("1&0 %1").arg(QFileInfo(file).fileName());
        QAction* a = recentMenu_->addAction(label);
        a->setStatusTip(file);
        a->setToolTip(file);
        connect(a, &QAction::triggered, this, [this, file] {
            const QStringList problems = openPaths({file});
            if (!problems.isEmpty())
                errorSink_(problems.join(QLatin1Char('\n')));
        });
    }
    if (!list.isEmpty())
        recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction(tr("&Clear List"));
    clear->setEnabled(!list.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        uiSettings_->remove(QStringLiteral("recent/files"));
        rebuildRecentMenu();
    });
}

void CMainFrame::addDocuments() {
    if (!store_->commandStates().add)
        return;
    QString documents = fromUtf8(store_->documentsFolder().string());
    if (documents.isEmpty())
        documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    CSearchDocNew dialog(documents, defaultSearchList_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    int32_t mode;
    QString folders;
    if (dialog.choice() == CSearchDocNew::kSearchNow) {
        mode = kJobSearchList;
        folders = dialog.folderList();
    } else if (dialog.choice() == CSearchDocNew::kBrowse) {
        // Hidden folders are shown so that any folder can be reached.
        QFileDialog picker(this, tr("Select Folder"), documents);
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
    searchStartCount_ = store_->recordCount();
    searchFolderReports_ = 0;
    searchFolder_ = folders;
    if (store_->StartSearch(mode, folders.toStdString())) {
        searchTimer_->start();
        updateSearchProgress();
        updateCommandStates();
    }
}

void CMainFrame::updateSearchProgress() {
    if (!store_->busy() || store_->JobMode() == kJobRecover || stopAsked_)
        return;
    const int found = store_->recordCount() - searchStartCount_;
    const int folders = searchFolderReports_ * kFoldersPerSearchReport;
    QString text =
        folders > 0
            ? tr("Searching %1 — over %2 folders searched, %3 documents found "
                 "(Esc stops)")
                  .arg(searchFolder_)
                  .arg(folders)
                  .arg(found)
            : tr("Searching %1 — %2 documents found (Esc stops)").arg(searchFolder_).arg(found);
    setStatusLabel(text);
}

void CMainFrame::stop() {
    stopAsked_ = true;
    store_->Stop();
}

void CMainFrame::removeDocuments() {
    if (!store_->commandStates().remove)
        return;
    work_->tabs()->clearTexts();
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
    Command command = kind == OutputKind::Full       ? kSaveFull
                      : kind == OutputKind::Filtered ? kSaveFiltered
                                                     : kSaveRaw;
    if (!actions_[command]->isEnabled() || !store_->IsRecordIndex(selected))
        return;
    const DocumentRecord& rec = store_->record(selected);
    bool docx = rec.format == kFormatDocx;
    QString title, label;
    switch (kind) {
        case OutputKind::Full:
            title = tr("Save Recovered Document");
            label = tr("Word document");
            break;
        case OutputKind::Filtered:
            title = tr("Save Filtered Text");
            label = docx ? tr("Word document") : tr("Plain text");
            break;
        case OutputKind::Raw:
            title = tr("Save Raw Text");
            label = tr("Plain text");
            break;
    }
    QString filter =
        label + QStringLiteral(" (*.") + fromUtf8(forcedExtension(rec.format, kind)) + ')';
    // The dialog opens in the document's own folder, with the result's default name.
    const QString start =
        fromUtf8(rec.folder) + QLatin1Char('/') + fromUtf8(store_->DefaultSaveName(selected, kind));
    QString chosen = chooseSaveName_(title, start, filter);
    if (chosen.isEmpty())
        return;
    SaveOutcome out = store_->SaveResult(selected, kind, chosen.toStdString());
    // A result that was not written is said so, instead of leaving the user believing it was.
    if (!out.ok) {
        errorSink_(fromUtf8(out.error));
        return;
    }
    unsaved_.remove(selected);
    announceSaved({fromUtf8(out.written.string())});
}

void CMainFrame::saveAll() {
    int32_t selected = store_->selectedIndex();
    if (!actions_[kSaveAll]->isEnabled() || !store_->IsRecordIndex(selected))
        return;
    const QString folder =
        chooseFolder_(tr("Save All Results Into"), fromUtf8(store_->record(selected).folder));
    if (!folder.isEmpty())
        saveResultsInto({selected}, folder);
}

bool CMainFrame::saveResultsInto(const std::vector<int32_t>& records, const QString& folder) {
    QStringList written, failed;
    for (int32_t index : records) {
        const DocumentRecord& rec = store_->record(index);
        bool allWritten = true;
        for (OutputKind kind : {OutputKind::Full, OutputKind::Filtered, OutputKind::Raw}) {
            if (!resultExists(rec, kind))
                continue;
            const std::filesystem::path target =
                std::filesystem::path(folder.toStdString()) / store_->DefaultSaveName(index, kind);
            SaveOutcome out = store_->SaveResult(index, kind, target);
            if (out.ok) {
                written << fromUtf8(out.written.string());
            } else {
                allWritten = false;
                failed << fromUtf8(target.filename().string()) + QStringLiteral(": ") +
                              fromUtf8(out.error);
            }
        }
        if (allWritten)
            unsaved_.remove(index);
    }
    if (!failed.isEmpty())
        errorSink_(failed.join(QLatin1Char('\n')));
    if (!written.isEmpty())
        announceSaved(written);
    return failed.isEmpty();
}

void CMainFrame::announceSaved(const QStringList& files) {
    savedFolder_ = QFileInfo(files.first()).absolutePath();
    const QString text = files.size() == 1 ? tr("Saved %1 in %2")
                                                 .arg(QFileInfo(files.first()).fileName(),
                                                      QDir::toNativeSeparators(savedFolder_))
                                           : tr("Saved %1 files in %2")
                                                 .arg(files.size())
                                                 .arg(QDir::toNativeSeparators(savedFolder_));
    savedLabel_->setText(text);
    savedLabel_->setToolTip(files.join(QLatin1Char('\n')));
    savedLabel_->show();
    openFolderButton_->show();
}

// Opens a copy of a result in the desktop's default application. The copy lives in the user's
// cache folder and is kept, so that the application can go on using it after Morvel quits.
void CMainFrame::openResult(OutputKind kind) {
    int32_t selected = store_->selectedIndex();
    if (!store_->IsRecordIndex(selected) || store_->busy())
        return;
    const DocumentRecord& rec = store_->record(selected);
    if (!resultExists(rec, kind))
        return;
    const std::span<const uint8_t> bytes = fileBytesOf(rec, kind);
    const QFileInfo named(fromUtf8(store_->DefaultSaveName(selected, kind)));
    QString file = copyFolder_ + QLatin1Char('/') + named.fileName();
    // A copy of other bytes under the same name is left alone: it may be open elsewhere.
    for (int n = 2; QFileInfo::exists(file) && !sameBytes(file, bytes); ++n)
        file =
            copyFolder_ + QLatin1Char('/') +
            QStringLiteral("%1 (%2).%3").arg(named.completeBaseName()).arg(n).arg(named.suffix());
    if (!QFileInfo::exists(file)) {
        QDir().mkpath(copyFolder_);
        const std::string error = writeFileAtomic(file.toStdString(), bytes, true);
        if (!error.empty()) {
            errorSink_(tr("The copy to open could not be written: %1").arg(fromUtf8(error)));
            return;
        }
    }
    if (!openUrl_(QUrl::fromLocalFile(file)))
        errorSink_(tr("No application is registered to open %1 files. The result was copied to "
                      "%2; save it with the Tools menu or open it from there.")
                       .arg(QStringLiteral(".") + named.suffix(), QDir::toNativeSeparators(file)));
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
                       tr("<h3>Morvel %1</h3><p>Recovers damaged Word documents (.doc and .docx). "
                          "The original file is never changed.</p>")
                           .arg(QStringLiteral(MORVEL_VERSION)));
}

// ---- window ----

void CMainFrame::restoreWindowState() {
    const QByteArray geometry = uiSettings_->value(QStringLiteral("window/geometry")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray state = uiSettings_->value(QStringLiteral("window/state")).toByteArray();
    if (!state.isEmpty())
        restoreState(state);
    const QByteArray splitter = uiSettings_->value(QStringLiteral("window/splitter")).toByteArray();
    if (!splitter.isEmpty())
        work_->restoreState(splitter);
}

void CMainFrame::saveWindowState() {
    uiSettings_->setValue(QStringLiteral("window/geometry"), saveGeometry());
    uiSettings_->setValue(QStringLiteral("window/state"), saveState());
    uiSettings_->setValue(QStringLiteral("window/splitter"), work_->saveState());
    uiSettings_->sync();
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    if (hasUnsavedResults()) {
        switch (
            askClose_(tr("Some recovered results have not been saved and will be lost when "
                         "Morvel quits.\nSave the results of the selected document first?"))) {
            case QMessageBox::Save:
                if (store_->IsRecordIndex(store_->selectedIndex()))
                    saveAll();
                if (hasUnsavedResults()) {
                    e->ignore();
                    return;
                }
                break;
            case QMessageBox::Discard:
                break;
            default:
                e->ignore();
                return;
        }
    }
    saveWindowState();
    e->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* e) {
    QStringList paths;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    e->acceptProposedAction();
    const QStringList problems = openPaths(paths);
    if (!problems.isEmpty())
        errorSink_(problems.join(QLatin1Char('\n')));
}

// ---- preview ----

void CMainFrame::refreshPreview() {
    int32_t selected = store_->selectedIndex();
    CMorvelTabCtrl* tabs = work_->tabs();
    bool jobRecord =
        store_->busy() && store_->JobMode() == kJobRecover && selected == store_->jobIndex();
    // The record of a running job belongs to the worker until its end is reported.
    if (store_->IsRecordIndex(selected) && !jobRecord) {
        const DocumentRecord& rec = store_->record(selected);
        const StateView state = stateOf(selected);
        work_->setBanner(&state);
        if (state.state == DocState::Recovered || state.state == DocState::TextOnly) {
            showResults(rec);
            return;
        }
        tabs->clearTexts();
        if (rec.docxReport) {
            tabs->reportPage()->setHtml(recoveryReportHtml(rec, state));
            tabs->showPages({tabs->reportPage()});
            return;
        }
        tabs->showPages({tabs->infoPage()});
        if (state.state == DocState::Failed)
            tabs->infoPage()->setContent(recoveryReportHtml(rec, state));
        else
            tabs->infoPage()->setContent(previewPageHtml(PreviewPage::NO_VIEW_FOR_FILES));
        return;
    }
    tabs->clearTexts();
    tabs->showPages({tabs->infoPage()});
    if (jobRecord) {
        const StateView state = stateOf(selected);
        work_->setBanner(&state);
        tabs->infoPage()->setContent(
            QStringLiteral("<h3>%1</h3><p>%2</p>").arg(state.title, state.reason));
        return;
    }
    work_->setBanner(nullptr);
    PreviewPage page =
        selected == FolderItemParam ? PreviewPage::NO_VIEW_FOR_FOLDERS : PreviewPage::START_PAGE;
    tabs->infoPage()->setContent(previewPageHtml(page));
}

void CMainFrame::showResults(const DocumentRecord& rec) {
    CMorvelTabCtrl* tabs = work_->tabs();
    const bool docx = rec.format == kFormatDocx;
    std::vector<QWidget*> pages;
    if (hasFull(rec)) {
        QString html = docx ? fromUtf8(docxPreviewHtml(*rec.fullData)) : docFullDocumentHtml(rec);
        if (html.isEmpty())
            html = previewPageHtml(PreviewPage::VERY_DAMAGE);
        tabs->fullPage()->setContent(html, true);
        pages.push_back(tabs->fullPage());
    }
    tabs->clearTexts();
    if (hasFiltered(rec)) {
        if (docx) {
            tabs->filteredPage()->setContent(fromUtf8(docxPreviewHtml(*rec.filteredData)), true);
            pages.push_back(tabs->filteredPage());
        } else {
            // The text of an RTF, HTML or XML file is converted to UTF-8.
            const bool converted =
                rec.content && engineRouteFor(*rec.content, rec.format) == EngineRoute::Text;
            tabs->filteredText()->setText(
                bytesOf(rec.filteredData),
                converted ? LargeTextView::Encoding::Utf8 : LargeTextView::Encoding::Windows1252);
            pages.push_back(tabs->filteredText());
        }
    }
    if (!docx && hasRaw(rec)) {
        tabs->rawText()->setText(bytesOf(rec.rawText));
        pages.push_back(tabs->rawText());
    }
    if (rec.docxReport) {
        tabs->reportPage()->setHtml(recoveryReportHtml(rec, stateOf(store_->selectedIndex())));
        pages.push_back(tabs->reportPage());
    }
    tabs->showPages(pages);
}

// ---- progress bar ----

void CMainFrame::createProgress() {
    destroyProgress();
    progress_ = new QProgressBar(statusPart_);
    progress_->setTextVisible(false);
    progress_->setRange(0, 50);
    reset({.low = 0, .high = 50, .step = 1, .pos = 0});
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
