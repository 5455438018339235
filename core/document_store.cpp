#include "core/document_store.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <system_error>

#include "core/folders.h"
#include "core/recovery_driver.h"
#include "core/recovery_environment.h"
#include "platform/file_io.h"

namespace morvel {

namespace fs = std::filesystem;

namespace {

// The key under which duplicates are recognised: folder and name, compared exactly, because
// names differing only in case are different files on this system.
std::string recordKey(const std::string& folder, const std::string& fileName) {
    return folder + '\0' + fileName;
}

// Cuts one trailing "/" or "\\" from a folder of a search list.
std::string withoutTrailingSeparator(std::string folder) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    return folder;
}

// The user's documents folder: $XDG_DOCUMENTS_DIR, else ~/Documents, else the home folder.
fs::path lookUpDocumentsFolder() {
    std::error_code ec;
    if (const char* d = std::getenv("XDG_DOCUMENTS_DIR"); d && *d && fs::is_directory(d, ec))
        return d;
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    if (fs::is_directory(fs::path(home) / "Documents", ec))
        return fs::path(home) / "Documents";
    return home;
}

// Removes the fixed temporary results and the preview files from a folder the store does not
// own (its own run folder is removed whole).
void removeTemporaryFiles(const fs::path& folder) {
    std::error_code ec;
    fs::remove(folder / kTempFullName, ec);
    fs::remove(folder / kTempTextName, ec);
    cleanPreviewFiles(folder, {}, {});
}

}  // namespace

CDocumentStore::CDocumentStore(const StoreSetup& setup)
    : table_(kTableCapacity),
      observer_(setup.observer),
      errors_(setup.errors),
      status_(setup.status),
      progress_(setup.progress),
      search_(setup.search),
      messageTimeout_(setup.messageTimeout),
      shutdownWait_(setup.shutdownWait) {}

std::shared_ptr<CDocumentStore> CDocumentStore::Create(const StoreSetup& setup,
                                                       std::string& error) {
    std::shared_ptr<CDocumentStore> store(new CDocumentStore(setup));
    if (!store->Open(setup, error)) {
        store->shutDown_ = true;
        return nullptr;
    }
    return store;
}

bool CDocumentStore::Open(const StoreSetup& setup, std::string& error) {
    settingsFile_ = setup.settingsFile.empty() ? defaultSettingsFile() : setup.settingsFile;
    loadSettings(settingsFile_, settings_);
    programFolder_ = settings_.path.empty() ? defaultProgramFolder() : fs::path(settings_.path);

    std::string why;
    if (setup.workingFolder.empty()) {
        fs::path privateFolder = privateWorkingFolder(why);
        if (!privateFolder.empty()) {
            removeStaleRunFolders(privateFolder);  // left by runs that were killed
            if (runFolder_.create(privateFolder, why))
                workingFolder_ = runFolder_.path();
        }
        ownsWorkingFolder_ = !workingFolder_.empty();
    } else {
        std::error_code ec;
        fs::create_directories(setup.workingFolder, ec);
        if (fs::is_directory(setup.workingFolder, ec))
            workingFolder_ = setup.workingFolder;
        else
            why = ec ? ec.message() : "not a folder";
    }
    if (workingFolder_.empty()) {
        error =
            "Creating TempDir(" +
            (setup.workingFolder.empty() ? std::string("morvel") : setup.workingFolder.string()) +
            "): " + why;
        return false;
    }

    documentsFolder_ =
        setup.documentsFolder.empty() ? lookUpDocumentsFolder() : setup.documentsFolder;
    if (setup.allowStartupScan && settings_.scanDocumentsAtStart && search_ &&
        !documentsFolder_.empty())
        search_->ScanFolderDocuments(*this, documentsFolder_.string());
    return true;
}

CDocumentStore::~CDocumentStore() {
    Shutdown();
}

void CDocumentStore::SetObserver(StoreObserver* observer) {
    std::lock_guard lock(observerMutex_);
    observer_ = observer;
}

// --- table ---

bool CDocumentStore::RemoveRecord(int32_t index) {
    if (busy_ || !IsRecordIndex(index))
        return false;
    DocumentRecord& rec = record(index);
    rec.removed = 1;
    ResetRecord(rec);
    return true;
}

std::vector<TreeFolder> CDocumentStore::TreeFolders() const {
    std::vector<TreeFolder> tree;
    const int32_t count = recordCount();
    for (int32_t i = 0; i < count; ++i) {
        const DocumentRecord& rec = record(i);
        if (rec.removed || (rec.category == kCategoryTemplates && !settings_.showTemplates) ||
            (rec.category == kCategoryTilde && !settings_.showTilde))
            continue;
        if (tree.empty() || tree.back().folder != rec.folder)
            tree.push_back({rec.folder, {}});
        tree.back().records.push_back(i);
    }
    return tree;
}

CDocumentStore::AddResult CDocumentStore::AddDocument(const std::string& fileName,
                                                      const std::string& folder, uint16_t format,
                                                      uint16_t category) {
    const int32_t count = recordCount();
    if (count >= kTableCapacity)
        return {AddResult::TableFull, -1};
    if (!keys_.insert(recordKey(folder, fileName)).second)
        return {AddResult::Duplicate, -1};
    DocumentRecord& rec = record(count);
    rec.fileName = fileName;
    rec.folder = folder;
    rec.format = format;
    rec.category = category;
    recordCount_.store(count + 1);
    return {AddResult::Added, count};
}

// --- selection and command states ---

bool CDocumentStore::SelectionChanged(int32_t param) {
    if (param == selectedIndex_)
        return false;
    selectedIndex_ = param;
    SetFlagsForSelection();
    return true;
}

void CDocumentStore::SetFlagsForSelection() {
    flags_ = CommandFlags{};
    if (IsRecordIndex(selectedIndex_)) {
        const DocumentRecord& rec = record(selectedIndex_);
        flags_.canRemove = flags_.canCopy = flags_.canRecover = true;
        if (rec.resultsReady) {
            flags_.canSave = flags_.canSaveFull = flags_.canSaveFiltered = true;
            flags_.canSaveRaw = rec.format == kFormatDoc;
        }
    } else if (selectedIndex_ == FolderItemParam) {
        flags_.canRemove = true;
    }
}

CommandStates CDocumentStore::commandStates() const {
    CommandStates s;
    const bool idle = !busy_;
    s.add = flags_.canAdd && idle;
    s.remove = flags_.canRemove && idle;
    s.copy = flags_.canCopy && idle;
    s.recover = flags_.canRecover && idle;
    s.stop = busy_;
    s.save = flags_.canSave && idle;
    s.saveFull = flags_.canSaveFull && idle;
    s.saveFiltered = flags_.canSaveFiltered && idle;
    s.saveRaw = flags_.canSaveRaw && idle;
    return s;
}

// --- jobs ---

bool CDocumentStore::StartRecovery() {
    if (busy_ || shutDown_ || !IsRecordIndex(selectedIndex_))
        return false;
    jobIndex_ = selectedIndex_;
    DocumentRecord& rec = record(jobIndex_);
    ShowStatus("Recovering of " + rec.fileName + "  Step 1 of 2:");
    if (progress_) {
        progress_->setRange(0, 50);
        progress_->setStep(1);
    }
    jobMode_ = kJobRecover;
    if (rec.recoveryState != kNeverRecovered)
        ResetRecord(rec);
    return LaunchWorker();
}

bool CDocumentStore::StartSearch(int32_t mode, const std::string& folders) {
    if (busy_ || shutDown_ || (mode != kJobSearchList && mode != kJobSearchFolder))
        return false;
    jobMode_ = mode;
    jobFolders_ = folders;
    SetStatusMessage(folders);
    searchRunning_.store(true);
    leftOut_.store(0);
    // The tree is rebuilt after the search, so the selection means nothing any more; forgetting
    // it lets the next selection of any item set the command states again.
    flags_.canRecover = flags_.canRemove = false;
    flags_.canSave = flags_.canSaveFull = flags_.canSaveFiltered = flags_.canSaveRaw = false;
    flags_.canCopy = false;
    selectedIndex_ = NoneSelected;
    return LaunchWorker();
}

bool CDocumentStore::LaunchWorker() {
    if (worker_.joinable())
        worker_.join();  // the previous job's thread has reported and is ending
    stopEvent_.reset();
    finishedEvent_.reset();
    shutdownEvent_.reset();
    // Busy before the thread exists: its completion may be handled before this returns.
    busy_ = true;
    try {
        worker_ = std::thread(&CDocumentStore::WorkerThreadProc, shared_from_this());
    } catch (const std::system_error&) {
        busy_ = false;
        finishedEvent_.set();
        ShowError("Error!");
        return false;
    }
    return true;
}

void CDocumentStore::WorkerThreadProc(std::shared_ptr<CDocumentStore> store) {
    int32_t result = 0;
    try {
        result = store->RunJob();
    } catch (const std::bad_alloc&) {
        // An exception leaving the thread would end the whole program.
        store->ShowError(kNotEnoughMemoryMessage);
    } catch (const std::exception&) {
        store->ShowError("Error!");
    }
    if (!store->shutdownEvent_.isSet())
        store->SendStoreMessage(result ? WM_RECOVERY_DONE : WM_RECOVERY_FAILED);
    store->finishedEvent_.set();
}

int32_t CDocumentStore::RunJob() {
    int32_t result = 1;
    if (jobMode_ == kJobRecover) {
        DocumentRecord& rec = record(jobIndex_);
        if (rec.recoveryState != kNeverRecovered)
            ResetRecord(rec);
        rec.resultsReady = 0;
        rec.stopEvent = &stopEvent_;
        RecoveryEnvironment env;
        env.workingFolder = workingFolder_;
        env.programFolder = programFolder_;
        env.progress = progress_ ? &relay_ : nullptr;
        env.status = status_ ? &relay_ : nullptr;
        env.errors = errors_ ? &relay_ : nullptr;
        env.templates = &templates_;
        try {
            RecoverDocument(rec, env);
        } catch (const std::bad_alloc&) {
            // This document does not fit in memory; the program and its other documents go on.
            ResetRecord(rec);
            rec.success = 0;
            ShowError(kNotEnoughMemoryMessage);
        }
        rec.stopEvent = nullptr;
        result = static_cast<int32_t>(rec.success);
    } else if (jobMode_ == kJobSearchList || jobMode_ == kJobSearchFolder) {
        std::vector<std::string> folders;
        if (jobMode_ == kJobSearchFolder) {
            folders.push_back(jobFolders_);
        } else {
            size_t start = 0;
            while (start <= jobFolders_.size()) {
                size_t end = jobFolders_.find(';', start);
                if (end == std::string::npos)
                    end = jobFolders_.size();
                if (end > start)
                    folders.push_back(jobFolders_.substr(start, end - start));
                start = end + 1;
            }
        }
        for (const std::string& folder : folders)
            if (search_)
                search_->SearchFolder(*this, withoutTrailingSeparator(folder));
        result = searchRunning_.load() ? 1 : 0;
    }
    return result;
}

void CDocumentStore::Stop() {
    stopEvent_.set();
    SetStatusMessage("Please wait,stopping...");
    SendStoreMessage(WM_STATUS_TEXT);
}

JobEnd CDocumentStore::OnRecoveryDone() {
    return HandleJobEnd(true);
}

JobEnd CDocumentStore::OnRecoveryFailed() {
    return HandleJobEnd(false);
}

JobEnd CDocumentStore::HandleJobEnd(bool done) {
    JobEnd end;
    if (!busy_)
        return end;  // a second report of the same end changes nothing
    end.mode = jobMode_;
    end.jobIndex = jobIndex_;
    if (jobMode_ == kJobRecover) {
        DocumentRecord& rec = record(jobIndex_);
        if (done) {
            end.recovered = true;
            if (jobIndex_ == selectedIndex_ && rec.resultsReady) {
                flags_.canSave = flags_.canSaveFull = flags_.canSaveFiltered = true;
                flags_.canSaveRaw = rec.format == kFormatDoc;
            }
            rec.recoveryState = rec.fullFailed ? kRecoveredNoFull : kRecoveredWithFull;
        }
        end.refreshPreview = true;
    } else {
        SendStoreMessage(WM_REBUILD_TREE);
    }
    busy_ = false;
    ShowStatus("Ready");
    return end;
}

bool CDocumentStore::WaitForWorker(std::chrono::milliseconds timeout) const {
    return finishedEvent_.waitFor(timeout);
}

bool CDocumentStore::Shutdown() {
    if (shutDown_)
        return finishedEvent_.isSet();
    shutDown_ = true;
    const bool running = !finishedEvent_.isSet();
    {
        // Under the observer lock, so that no message is being delivered once this returns.
        std::lock_guard lock(observerMutex_);
        silenced_ = true;
        if (running)
            shutdownEvent_.set();
        // A window that is going away answers nothing: release a worker waiting for it.
        for (const MessageReply& r : waiting_)
            r.handled();
    }
    if (running) {
        stopEvent_.set();
        finishedEvent_.waitFor(shutdownWait_);
    }
    relay_.cutOff();
    const bool ended = finishedEvent_.isSet();
    if (worker_.joinable()) {
        // A worker that did not end in time is abandoned; it holds its own reference to the
        // store, so nothing it uses goes away under it.
        if (ended && worker_.get_id() != std::this_thread::get_id())
            worker_.join();
        else
            worker_.detach();
    }
    std::error_code ec;
    if (ownsWorkingFolder_)
        fs::remove_all(workingFolder_, ec);
    else if (!workingFolder_.empty())
        removeTemporaryFiles(workingFolder_);
    return ended;
}

// --- messages ---

void CDocumentStore::SetStatusMessage(const std::string& text) {
    std::lock_guard lock(statusMutex_);
    statusMessage_ = text;
}

std::string CDocumentStore::statusMessage() const {
    std::lock_guard lock(statusMutex_);
    return statusMessage_;
}

bool CDocumentStore::SendStoreMessage(StoreMessageId id) {
    StoreMessage message{id, id == WM_STATUS_TEXT ? statusMessage() : std::string()};
    MessageReply reply;
    {
        std::lock_guard lock(observerMutex_);
        if (silenced_ || !observer_)
            return false;
        waiting_.push_back(reply);
        observer_->onStoreMessage(message, reply);
    }
    const bool handled = reply.waitHandled(messageTimeout_);
    std::lock_guard lock(observerMutex_);
    waiting_.erase(std::find_if(waiting_.begin(), waiting_.end(),
                                [&](const MessageReply& r) { return r.sameAs(reply); }));
    return handled;
}

void CDocumentStore::ShowError(const std::string& text) const {
    relay_.showError(text);
}

void CDocumentStore::ShowStatus(const std::string& text) const {
    if (status_)
        status_->setStatusText(text);
}

// --- folders, settings and outputs ---

std::string CDocumentStore::SetOptions(bool showTemplates, bool showTilde,
                                       bool scanDocumentsAtStart) {
    settings_.showTemplates = showTemplates;
    settings_.showTilde = showTilde;
    settings_.scanDocumentsAtStart = scanDocumentsAtStart;
    return saveSettings(settingsFile_, settings_);
}

std::string CDocumentStore::DefaultSaveName(int32_t index, OutputKind kind) const {
    if (!IsRecordIndex(index))
        return {};
    const DocumentRecord& rec = record(index);
    return defaultOutputName(rec.fileName, rec.format, kind);
}

SaveOutcome CDocumentStore::SaveResult(int32_t index, OutputKind kind, const fs::path& chosen) {
    if (busy_ || !IsRecordIndex(index)) {
        SaveOutcome refused;
        refused.error = "No recovered document is ready to be saved.";
        return refused;
    }
    return saveResult(record(index), kind, chosen);
}

bool CDocumentStore::CopyOriginal(int32_t index, const fs::path& targetFolder) {
    if (busy_ || !IsRecordIndex(index))
        return false;
    std::string error = copyOriginal(record(index), targetFolder);
    if (!error.empty()) {
        ShowError(error);
        return false;
    }
    return true;
}

fs::path CDocumentStore::NextPreviewName(const std::string& extension) {
    return previewNames_.next(workingFolder_, extension);
}

void CDocumentStore::CleanWorkingFolder(const fs::path& keep1, const fs::path& keep2) {
    cleanPreviewFiles(workingFolder_, keep1, keep2);
}

}  // namespace morvel
