#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include "core/document_store.h"
#include "ui/work_window.h"

namespace morvel {

// The main window "Morvel": menus, toolbar, status bar with the job's progress, and the work
// window. It starts jobs on the store, shows their results and keeps every command enabled or
// disabled by the store's command states. The store reports from its worker thread through
// the observer, status, progress and error interfaces; each call is carried over to this
// window's thread, so the window never waits for a job.
class CMainFrame : public QMainWindow,
                   public StoreObserver,
                   public StatusText,
                   public ProgressIndicator,
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
        kCommandCount
    };

    explicit CMainFrame(std::shared_ptr<CDocumentStore> store, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CDocumentStore& store() { return *store_; }
    CWorkWindow* workWindow() const { return work_; }
    QAction* action(Command c) const { return actions_[c]; }
    QString statusText() const { return statusLabel_->text(); }
    QProgressBar* progressBar() const { return progress_; }
    // The two files written for the preview in view (empty when none).
    const std::filesystem::path& previewFullFile() const { return previewFull_; }
    const std::filesystem::path& previewFilteredFile() const { return previewFiltered_; }

    // Ways out of the window, replaceable for tests: opening a file in the desktop's default
    // application, showing an error, choosing a file name to save to.
    void setUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    void setErrorSink(std::function<void(const QString&)> sink) { errorSink_ = std::move(sink); }
    using SaveNameChooser =
        std::function<QString(const QString& title, const QString& name, const QString& filter)>;
    void setSaveNameChooser(SaveNameChooser chooser) { chooseSaveName_ = std::move(chooser); }
    // The search list the "Add documents" dialog starts with.
    void setDefaultSearchList(QString list) { defaultSearchList_ = std::move(list); }

    // Commands, also reachable from the menus and buttons.
    void runCommand(Command c);
    // Shows what the selected document's recovery produced, or the page that fits.
    void refreshPreview();
    void updateCommandStates();

    // StoreObserver
    void onStoreMessage(const StoreMessage& message, MessageReply reply) override;
    // StatusText
    void setStatusText(const std::string& text) override;
    // ProgressIndicator
    void setRange(int low, int high) override;
    void setStep(int step) override;
    void setPosition(int pos) override;
    int position() const override;
    void stepIt() override;
    // ErrorReport
    void showError(const std::string& text) override;

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

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
    void showOptions();
    void toggleFilter(bool templates);
    void showHelp();
    void showAbout();
    void showResults(const DocumentRecord& record);
    std::filesystem::path writePreviewFile(const std::vector<uint8_t>& bytes, bool text,
                                           const std::string& extension);
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

    // The progress as the worker last set it, so that position() answers at once.
    mutable std::mutex progressMutex_;
    int low_ = 0, high_ = 100, step_ = 1, pos_ = 0;

    std::filesystem::path previewFull_, previewFiltered_;
    QString defaultSearchList_;
    std::function<void(const QUrl&)> openUrl_;
    std::function<void(const QString&)> errorSink_;
    SaveNameChooser chooseSaveName_;
};

}  // namespace morvel
