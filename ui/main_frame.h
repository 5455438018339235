#pragma once

#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include "core/document_store.h"
#include "ui/document_state.h"
#include "ui/work_window.h"

class QPushButton;
class QSettings;
class QTimer;

namespace morvel {

// The main window "Morvel": menus, toolbar, status bar with the job's progress, and the work
// window. It starts jobs on the store, shows their results and keeps every command enabled or
// disabled by the store's command states. The store reports from its worker thread through
// the observer, status, progress and error interfaces; each call is carried over to this
// window's thread, so the window never waits for a job.
class CMainFrame : public QMainWindow,
                   public StoreObserver,
                   public StatusText,
                   public ProgressModel,
                   public ErrorReport {
    Q_OBJECT
  public:
    // The commands of the menus, toolbar and shortcut menu.
    enum Command {
        kAdd,
        kRemove,
        kCopy,
        kExit,
        kRecover,
        kStop,
        kSaveFull,
        kSaveFiltered,
        kSaveRaw,
        kSave,  // the toolbar's button: saves the page in front
        kOptions,
        kToolbar,
        kStatusBar,
        kHelp,
        kAbout,
        kShowTemplates,
        kShowTilde,
        kOpen,     // File > Open: documents chosen in a file dialog
        kSaveAll,  // every result of the selected document into one folder
        kCommandCount
    };

    explicit CMainFrame(std::shared_ptr<CDocumentStore> store, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CDocumentStore& store() { return *store_; }
    CWorkWindow* workWindow() const { return work_; }
    QAction* action(Command c) const { return actions_[c]; }
    QString statusText() const { return statusLabel_->text(); }
    QProgressBar* progressBar() const { return progress_; }

    // Ways out of the window, replaceable for tests: opening a file in the desktop's default
    // application (false: no application took it), showing an error, choosing a file name to
    // save to, files to open, a folder, and whether to quit with unsaved results.
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    void setErrorSink(std::function<void(const QString&)> sink) { errorSink_ = std::move(sink); }
    using SaveNameChooser =
        std::function<QString(const QString& title, const QString& path, const QString& filter)>;
    void setSaveNameChooser(SaveNameChooser chooser) { chooseSaveName_ = std::move(chooser); }
    using OpenNamesChooser = std::function<QStringList(const QString& startFolder)>;
    void setOpenNamesChooser(OpenNamesChooser chooser) { chooseOpenNames_ = std::move(chooser); }
    using FolderChooser = std::function<QString(const QString& title, const QString& start)>;
    void setFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }
    using CloseQuestion = std::function<QMessageBox::StandardButton(const QString& text)>;
    void setCloseQuestion(CloseQuestion ask) { askClose_ = std::move(ask); }
    // Where "Open with default application" keeps its copies (default: the user's cache
    // folder) and where the window keeps its own settings: geometry, splitter, recent files
    // (default: the desktop's settings for Morvel).
    void setOpenCopyFolder(const QString& folder) { copyFolder_ = folder; }
    void setUiSettingsFile(const QString& file);
    // The search list "Search all disks" in the "Add documents" dialog uses.
    void setDefaultSearchList(QString list) { defaultSearchList_ = std::move(list); }

    // Lists the given files and folders: files are added (or found again), selected and
    // recovered one after another; folders are searched. Called for File > Open, the command
    // line and drops. Returns the messages for names that could not be opened.
    QStringList openPaths(const QStringList& paths);
    // The last opened files, newest first (at most kRecentLimit).
    QStringList recentFiles() const;
    static constexpr int kRecentLimit = 10;
    // The state of a listed document as the tree and preview show it.
    StateView stateOf(int32_t index) const;
    QLabel* savedLabel() const { return savedLabel_; }
    QPushButton* openFolderButton() const { return openFolderButton_; }
    // True when a recovered result has not been saved.
    bool hasUnsavedResults() const;

    // Commands, also reachable from the menus and buttons.
    void runCommand(Command c);
    // Shows what the selected document's recovery produced, or the page that fits.
    void refreshPreview();
    void updateCommandStates();

    // StoreObserver
    void onStoreMessage(const StoreMessage& message, MessageReply reply) override;
    // StatusText
    void setStatusText(const std::string& text) override;
    // ErrorReport
    void showError(const std::string& text) override;

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

  private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void onSelectionChanged(int32_t param);
    void onTreeContextMenu(const QPoint& pos);
    void onTreeDoubleClicked();
    void handleStoreMessage(const StoreMessage& message);
    void finishJob(const JobEnd& end);
    void startRecovery();
    void addDocuments();
    void stop();
    void removeDocuments();
    void copyOriginal();
    void save(OutputKind kind);
    void saveAll();
    // Saves every result of the records into folder under their default names; false when
    // one could not be written (each failure is shown).
    bool saveResultsInto(const std::vector<int32_t>& records, const QString& folder);
    void openFiles();
    void openResult(OutputKind kind);
    void announceSaved(const QStringList& files);
    void rememberRecent(const QStringList& files);
    void rebuildRecentMenu();
    void recoverNextQueued();
    void restoreWindowState();
    void saveWindowState();
    void updateSearchProgress();
    void showOptions();
    void toggleFilter(bool templates);
    void showHelp();
    void showAbout();
    void showResults(const DocumentRecord& record);
    // Shows the model's numbers on the status bar's bar, on the window's thread.
    void drawProgress(const ProgressState& bar);
    void createProgress();
    void destroyProgress();
    void placeProgress();
    void setStatusLabel(const QString& text);
    // Runs f on this window's thread: at once when called there, else queued.
    void onUiThread(std::function<void()> f);

    std::shared_ptr<CDocumentStore> store_;
    CWorkWindow* work_;
    QAction* actions_[kCommandCount] = {};
    QToolBar* toolBar_ = nullptr;
    QWidget* statusPart_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QPointer<QProgressBar> progress_;

    QString defaultSearchList_;
    std::function<bool(const QUrl&)> openUrl_;
    std::function<void(const QString&)> errorSink_;
    SaveNameChooser chooseSaveName_;
    OpenNamesChooser chooseOpenNames_;
    FolderChooser chooseFolder_;
    CloseQuestion askClose_;
    QString copyFolder_;
    std::unique_ptr<QSettings> uiSettings_;
    QMenu* recentMenu_ = nullptr;
    QLabel* savedLabel_ = nullptr;
    QPushButton* openFolderButton_ = nullptr;
    QString savedFolder_;

    // What the window knows of each document's last run, and which results are unsaved.
    QHash<int32_t, RecoveryNote> notes_;
    QHash<int32_t, bool> unsaved_;
    bool stopAsked_ = false;
    // Documents opened together, recovered one after another.
    std::vector<int32_t> recoverQueue_;
    QStringList pendingPaths_;  // opened while a job ran
    // The running search: how many documents the table had at its start, folders reported.
    QTimer* searchTimer_ = nullptr;
    int32_t searchStartCount_ = 0;
    int searchFolderReports_ = 0;
    QString searchFolder_;
};

}  // namespace morvel
