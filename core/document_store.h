#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/document_record.h"
#include "core/output_names.h"
#include "core/outputs.h"
#include "core/preview_names.h"
#include "core/run_folder.h"
#include "core/settings.h"
#include "core/store_observer.h"
#include "core/template_store_cache.h"
#include "core/worker_relay.h"
#include "platform/error_report.h"
#include "platform/manual_reset_event.h"
#include "platform/progress.h"

namespace morvel {

class CDocumentStore;

// Number of records the table holds.
inline constexpr int32_t kTableCapacity = 10000;

// Parameters of tree items that are not documents. Every value from NoneSelected upwards means
// that no document is selected.
inline constexpr int32_t NoneSelected = 0x7FFFFF9B;
inline constexpr int32_t RootItemParam = 0x7FFFFF9C;
inline constexpr int32_t FolderItemParam = 0x7FFFFF9D;

// What a job does.
enum JobModeValue : int32_t {
    kJobNone = 0,
    kJobRecover = 1,       // recover the record at the job index
    kJobSearchList = 3,    // search a list of folders separated by ";"
    kJobSearchFolder = 4,  // search one folder
};

// How long shutdown waits for a running worker before abandoning it.
inline constexpr std::chrono::milliseconds kShutdownWait{10000};

// The folder search, supplied by the discovery library (the store sits below it).
class FolderSearch {
  public:
    virtual ~FolderSearch() = default;
    // Adds the documents of one folder, no subfolders.
    virtual void ScanFolderDocuments(CDocumentStore& store, const std::string& folder) const = 0;
    // Adds the documents of a folder and of every subfolder, depth first.
    virtual void SearchFolder(CDocumentStore& store, const std::string& folder) const = 0;
};

// Command-state flags, set when the selection changes.
struct CommandFlags {
    bool canAdd = true;
    bool canRemove = false;
    bool canCopy = false;
    bool canRecover = false;
    bool canSave = false;  // the toolbar's save button
    bool canSaveFull = false;
    bool canSaveFiltered = false;
    bool canSaveRaw = false;
};

// Which commands are enabled: the flags combined with busy.
struct CommandStates {
    bool add = false;
    bool remove = false;
    bool copy = false;
    bool recover = false;
    bool stop = false;
    bool save = false;  // the toolbar's save button
    bool saveFull = false;
    bool saveFiltered = false;
    bool saveRaw = false;
};

// What the user interface does after a job's end, besides what the store did itself.
struct JobEnd {
    int32_t mode = kJobNone;
    bool recovered = false;       // the job's document now shows the recovered icon
    bool refreshPreview = false;  // a recovery job ended: refresh the preview, drop the bar
    int32_t jobIndex = -1;
};

// One folder item of the document tree and the records shown under it, in table order.
struct TreeFolder {
    std::string folder;
    std::vector<int32_t> records;
};

// How a store is set up. Empty paths take the defaults.
struct StoreSetup {
    std::filesystem::path settingsFile;     // default: defaultSettingsFile()
    std::filesystem::path workingFolder;    // default: a run folder in privateWorkingFolder()
    std::filesystem::path documentsFolder;  // default: the user's documents folder
    // Lists the documents folder at start when the option asks for it (the desktop program).
    bool allowStartupScan = false;
    const FolderSearch* search = nullptr;
    StoreObserver* observer = nullptr;
    ErrorReport* errors = nullptr;
    StatusText* status = nullptr;
    ProgressIndicator* progress = nullptr;
    std::chrono::milliseconds messageTimeout = kMessageTimeout;
    std::chrono::milliseconds shutdownWait = kShutdownWait;
};

// The application object: the document table, the selection and command states, the one
// worker thread and its job protocol, folders and settings.
//
// Threads: every public member not marked "worker" is called on the user-interface thread.
// The worker only touches the table and the job fields between its start and its completion
// message; the user interface reads results only after that message (the command states keep
// it from doing otherwise). The stop event is the one signal to a running worker.
//
// A front end opens the store (OpenDocumentStore in the discovery library adds the disk
// search), shows TreeFolders(), passes every selection to SelectionChanged() and enables its
// commands from commandStates(). It starts jobs with StartRecovery() or StartSearch(), and on
// WM_RECOVERY_DONE / WM_RECOVERY_FAILED calls OnRecoveryDone() / OnRecoveryFailed() on its own
// thread before answering the message. At exit it calls Shutdown().
class CDocumentStore : public std::enable_shared_from_this<CDocumentStore> {
  public:
    // Loads the settings, settles the folders, creates the table and the events (signalled).
    // Returns null with `error` set ("Creating TempDir(...)") when no working folder can be
    // made. A running worker keeps the store alive, so the last reference may be the worker's.
    static std::shared_ptr<CDocumentStore> Create(const StoreSetup& setup, std::string& error);
    ~CDocumentStore();
    CDocumentStore(const CDocumentStore&) = delete;
    CDocumentStore& operator=(const CDocumentStore&) = delete;

    // Interfaces of the user interface; set them while no job runs.
    void SetObserver(StoreObserver* observer);
    void SetErrorReport(ErrorReport* errors) { errors_ = errors; }
    void SetStatusText(StatusText* status) { status_ = status; }
    void SetProgress(ProgressIndicator* progress) { progress_ = progress; }

    // --- table ---
    int32_t recordCount() const { return recordCount_.load(); }
    int32_t capacity() const { return kTableCapacity; }
    bool tableFull() const { return tableFull_.load(); }
    // Documents the last search found after the table was full: counted, not listed.
    int32_t leftOutCount() const { return leftOut_.load(); }
    bool IsRecordIndex(int32_t param) const { return param >= 0 && param < recordCount(); }
    DocumentRecord& record(int32_t index) { return table_.at(static_cast<size_t>(index)); }
    const DocumentRecord& record(int32_t index) const {
        return table_.at(static_cast<size_t>(index));
    }
    // Marks a record removed and frees its results; it is never shown again. False while a
    // job runs or for an index that is no record.
    bool RemoveRecord(int32_t index);
    // The tree as the filters show it: a folder item whenever the folder changes from the
    // previous shown record (exact comparison), removed and filtered records left out.
    std::vector<TreeFolder> TreeFolders() const;

    // --- selection and command states ---
    int32_t selectedIndex() const { return selectedIndex_; }
    // A tree item with this parameter was selected. False when the selection did not change.
    bool SelectionChanged(int32_t param);
    const CommandFlags& flags() const { return flags_; }
    CommandStates commandStates() const;

    // --- jobs ---
    // Starts the recovery of the selected document. False (nothing started) when no document
    // is selected or a job is running.
    bool StartRecovery();
    // Starts a search: kJobSearchList with folders separated by ";", or kJobSearchFolder with
    // one folder. False when a job is running or the mode is not a search.
    bool StartSearch(int32_t mode, const std::string& folders);
    // Asks the running job to stop and shows "Please wait,stopping...".
    void Stop();
    // Completion handlers, called by the user interface when it receives WM_RECOVERY_DONE or
    // WM_RECOVERY_FAILED. A search job's end sends WM_REBUILD_TREE; every end shows "Ready".
    JobEnd OnRecoveryDone();
    JobEnd OnRecoveryFailed();
    // Waits until no worker runs; true when none runs within the time-out.
    bool WaitForWorker(std::chrono::milliseconds timeout) const;
    // Stops a running worker (waiting at most the shutdown wait; the worker then sends
    // nothing), cuts the worker off from the interfaces above and removes the working folder.
    // False when a worker did not end in time and was abandoned; a call it is making at that
    // moment may still be under way. Idempotent; the destructor calls it.
    bool Shutdown();

    bool busy() const { return busy_; }
    int32_t JobMode() const { return jobMode_; }
    int32_t jobIndex() const { return jobIndex_; }
    const ManualResetEvent& stopEvent() const { return stopEvent_; }
    const ManualResetEvent& finishedEvent() const { return finishedEvent_; }
    const ManualResetEvent& shutdownEvent() const { return shutdownEvent_; }

    // --- worker side, used by the search ---
    struct AddResult {
        enum Kind { Added, Duplicate, TableFull } kind;
        int32_t index;
    };
    // Adds a record (fileName, folder, format, category) at the record count, unless one with
    // the same name and folder is already there or the table is full.
    AddResult AddDocument(const std::string& fileName, const std::string& folder, uint16_t format,
                          uint16_t category);
    void SetTableFull() { tableFull_.store(true); }
    void CountLeftOut() { leftOut_.fetch_add(1); }
    bool searchRunning() const { return searchRunning_.load(); }
    void StopSearchRunning() { searchRunning_.store(false); }
    // Folders walked since the last status update; kept across jobs.
    int32_t& folderCounter() { return folderCounter_; }
    void SetStatusMessage(const std::string& text);
    std::string statusMessage() const;
    // Sends a message to the observer and waits at most the message time-out for it to be
    // handled. WM_STATUS_TEXT carries the status message. True when it was handled in time.
    bool SendStoreMessage(StoreMessageId id);
    void ShowError(const std::string& text) const;

    // --- folders, settings and outputs ---
    const std::filesystem::path& programFolder() const { return programFolder_; }
    const std::filesystem::path& workingFolder() const { return workingFolder_; }
    const std::filesystem::path& documentsFolder() const { return documentsFolder_; }
    const Settings& settings() const { return settings_; }
    // Sets the three options and saves the settings. Returns an empty string on success.
    std::string SetOptions(bool showTemplates, bool showTilde, bool scanDocumentsAtStart);
    // Default name offered by a save command for the record.
    std::string DefaultSaveName(int32_t index, OutputKind kind) const;
    SaveOutcome SaveResult(int32_t index, OutputKind kind, const std::filesystem::path& chosen);
    // Copies the record's original into a folder; on failure reports "Error in copy dbx".
    bool CopyOriginal(int32_t index, const std::filesystem::path& targetFolder);
    // A fresh preview file name in the working folder ("docx" extension or none).
    std::filesystem::path NextPreviewName(const std::string& extension = {});
    // Deletes the preview files of the working folder except the two about to be shown.
    void CleanWorkingFolder(const std::filesystem::path& keep1, const std::filesystem::path& keep2);

  private:
    explicit CDocumentStore(const StoreSetup& setup);
    bool Open(const StoreSetup& setup, std::string& error);
    static void WorkerThreadProc(std::shared_ptr<CDocumentStore> store);
    int32_t RunJob();
    bool LaunchWorker();
    JobEnd HandleJobEnd(bool done);
    void SetFlagsForSelection();
    void ShowStatus(const std::string& text) const;

    std::vector<DocumentRecord> table_;
    std::atomic<int32_t> recordCount_{0};
    std::atomic<bool> tableFull_{false};
    std::atomic<int32_t> leftOut_{0};
    std::unordered_set<std::string> keys_;  // folder and name of every record

    int32_t selectedIndex_ = NoneSelected;
    CommandFlags flags_;
    int32_t jobIndex_ = -1;
    int32_t jobMode_ = kJobNone;
    bool busy_ = false;
    std::atomic<bool> searchRunning_{false};
    std::string jobFolders_;  // folder list of a search job, written before the worker starts
    int32_t folderCounter_ = 0;

    mutable std::mutex statusMutex_;
    std::string statusMessage_;

    ManualResetEvent stopEvent_{true};
    ManualResetEvent finishedEvent_{true};
    ManualResetEvent shutdownEvent_{true};
    std::thread worker_;
    bool shutDown_ = false;

    mutable std::recursive_mutex observerMutex_;
    StoreObserver* observer_ = nullptr;
    bool silenced_ = false;              // set by Shutdown: no message is sent any more
    std::vector<MessageReply> waiting_;  // replies a sender is waiting for
    ErrorReport* errors_ = nullptr;
    StatusText* status_ = nullptr;
    ProgressIndicator* progress_ = nullptr;
    const FolderSearch* search_ = nullptr;
    mutable WorkerRelay relay_{progress_, status_, errors_};
    std::chrono::milliseconds messageTimeout_;
    std::chrono::milliseconds shutdownWait_;

    std::filesystem::path settingsFile_;
    Settings settings_;
    std::filesystem::path programFolder_;
    // The template store, read once for every .docx the worker recovers.
    TemplateStoreCache templates_;
    std::filesystem::path workingFolder_;
    bool ownsWorkingFolder_ = false;
    // Holds the lock that tells later starts this run's folder is in use.
    RunFolder runFolder_;
    std::filesystem::path documentsFolder_;
    PreviewNames previewNames_;
};

}  // namespace morvel
