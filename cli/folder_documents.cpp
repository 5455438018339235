#include "cli/folder_documents.h"

#include "cli/terminal_progress.h"
#include "discovery/folder_search.h"
#include "platform/collected_errors.h"

namespace morvel::cli {

namespace {

// Shows the search's status on the terminal and answers every message at once.
class TerminalObserver : public StoreObserver {
  public:
    explicit TerminalObserver(TerminalProgress& line) : line_(line) {}
    void onStoreMessage(const StoreMessage& message, MessageReply reply) override {
        if (message.id == WM_STATUS_TEXT)
            line_.setStatusText(message.text);
        reply.handled();
    }

  private:
    TerminalProgress& line_;
};

}  // namespace

bool searchFolders(const std::vector<std::string>& folders, FolderSearchOutcome& outcome,
                   std::string& error) {
    TerminalProgress line(stderr);
    TerminalObserver observer(line);
    CollectedErrors errors;
    StoreSetup setup;
    setup.observer = &observer;
    setup.errors = &errors;
    std::shared_ptr<CDocumentStore> store = OpenDocumentStore(setup, error);
    if (!store)
        return false;
    for (const std::string& folder : folders) {
        if (!store->StartSearch(kJobSearchFolder, folder))
            break;
        while (!store->WaitForWorker(std::chrono::hours(1))) {
        }
        store->OnRecoveryDone();
    }
    line.clear();
    for (int32_t i = 0; i < store->recordCount(); ++i) {
        const DocumentRecord& r = store->record(i);
        outcome.documents.push_back({r.folder, r.fileName, r.format, r.category});
    }
    outcome.errors = errors.texts();
    outcome.tableFull = store->tableFull();
    store->Shutdown();
    return true;
}

}  // namespace morvel::cli
