#include "cli/folder_documents.h"

#include <sys/stat.h>

#include <algorithm>

#include "cli/terminal_progress.h"
#include "core/document_format.h"
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

namespace fs = std::filesystem;

struct WalkEntry {
    std::string name;
    bool folder;  // a folder itself, not a link to one
    bool file;    // a regular file or a link to one
};

// The folder's entries sorted by name, as the search lists them.
std::vector<WalkEntry> sortedEntries(const fs::path& folder) {
    std::vector<WalkEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code sec;
        const bool link = it->is_symlink(sec);
        const bool isFolder = !link && !sec && it->is_directory(sec) && !sec;
        const bool isFile = !isFolder && it->is_regular_file(sec) && !sec;
        entries.push_back({it->path().filename().string(), isFolder, isFile});
    }
    std::sort(entries.begin(), entries.end(),
              [](const WalkEntry& a, const WalkEntry& b) { return a.name < b.name; });
    return entries;
}

// One folder and then its subfolders; `relative` is the folder's path below the root. The
// recursion is as deep as the folder tree, as the search's is.
size_t walk(const fs::path& folder, const fs::path& relative, const std::vector<FileIdentity>& skip,
            const std::function<void(const fs::path&, const fs::path&)>& found) {
    if (isPseudoFolder(folder))
        return 0;
    const std::vector<WalkEntry> entries = sortedEntries(folder);
    size_t count = 0;
    if (folder.string().find("Templates") == std::string::npos) {
        for (const WalkEntry& e : entries) {
            if (!e.file || e.name.front() == '~' || formatFromFileName(e.name) == kFormatUnknown)
                continue;
            found(folder / e.name, relative);
            ++count;
        }
    }
    for (const WalkEntry& e : entries) {
        if (!e.folder)
            continue;
        const fs::path child = folder / e.name;
        const std::optional<FileIdentity> id = identityOf(child);
        if (id && std::find(skip.begin(), skip.end(), *id) != skip.end())
            continue;
        count += walk(child, relative / e.name, skip, found);
    }
    return count;
}

}  // namespace

std::optional<FileIdentity> identityOf(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

size_t walkFolderDocuments(const fs::path& root, const std::vector<FileIdentity>& skip,
                           const std::function<void(const fs::path&, const fs::path&)>& found) {
    return walk(root, fs::path(), skip, found);
}

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
