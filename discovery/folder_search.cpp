#include "discovery/folder_search.h"

#include <linux/magic.h>
#include <sys/vfs.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <vector>

#include "core/document_format.h"
#include "discovery/folder_listing.h"

namespace morvel {

namespace fs = std::filesystem;

namespace {

// Folders whose contents are made up by the kernel, not stored on a disk.
constexpr std::array<std::string_view, 4> kPseudoRoots = {"/proc", "/sys", "/dev", "/run"};

// File system types that hold no documents and may never end (/proc/self/root/...).
constexpr std::array<long, 12> kPseudoTypes = {PROC_SUPER_MAGIC,
                                               SYSFS_MAGIC,
                                               DEVPTS_SUPER_MAGIC,
                                               CGROUP_SUPER_MAGIC,
                                               CGROUP2_SUPER_MAGIC,
                                               DEBUGFS_MAGIC,
                                               TRACEFS_MAGIC,
                                               SECURITYFS_MAGIC,
                                               PSTOREFS_MAGIC,
                                               BPF_FS_MAGIC,
                                               0x62656570 /* configfs */,
                                               0x65735543 /* fusectl */};

// A folder as given ("" stands for the root, after "/" lost its trailing separator).
fs::path listable(const std::string& folder) {
    return folder.empty() ? fs::path("/") : fs::path(folder);
}

std::string childOf(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

class DiskSearch : public FolderSearch {
  public:
    void ScanFolderDocuments(CDocumentStore& store, const std::string& folder) const override {
        morvel::ScanFolderDocuments(store, folder);
    }
    void SearchFolder(CDocumentStore& store, const std::string& folder) const override {
        morvel::SearchFolder(store, folder);
    }
};

const DiskSearch kDiskSearch;

}  // namespace

bool isPseudoFolder(const fs::path& path) {
    const std::string s = path.lexically_normal().string();
    for (std::string_view root : kPseudoRoots)
        if (s == root || (s.size() > root.size() && s.compare(0, root.size(), root) == 0 &&
                          s[root.size()] == '/'))
            return true;
    struct statfs st {};
    if (::statfs(path.c_str(), &st) != 0)
        return false;
    return std::find(kPseudoTypes.begin(), kPseudoTypes.end(), static_cast<long>(st.f_type)) !=
           kPseudoTypes.end();
}

bool matchesDocumentPattern(std::string_view name) {
    for (size_t i = 0; i + 4 <= name.size(); ++i) {
        if (name[i] != '.')
            continue;
        const char* p = name.data() + i + 1;
        if ((p[0] | 0x20) == 'd' && (p[1] | 0x20) == 'o' && (p[2] | 0x20) == 'c')
            return true;
    }
    return false;
}

namespace {

void scanEntries(CDocumentStore& store, const std::string& folder,
                 const std::vector<FolderEntry>& entries) {
    for (const FolderEntry& e : entries) {
        if (!matchesDocumentPattern(e.name))
            continue;
        if (store.recordCount() >= store.capacity() && !store.tableFull()) {
            store.ShowError("Number of doc files >500");
            store.SetTableFull();
        }
        if (!e.file)
            continue;
        const uint16_t format = formatFromFileName(e.name);
        if (format == kFormatUnknown)
            continue;
        // A full table lists nothing more, but the search goes on counting what it leaves out,
        // so the user learns how many documents are missing from the list.
        if (store.tableFull()) {
            store.CountLeftOut();
            continue;
        }
        store.AddDocument(e.name, folder, format, documentCategory(folder, e.name));
    }
}

}  // namespace

void ScanFolderDocuments(CDocumentStore& store, const std::string& folder) {
    scanEntries(store, folder, listFolderSorted(listable(folder)));
}

void SearchFolder(CDocumentStore& store, const std::string& folder) {
    if (!store.searchRunning() || isPseudoFolder(listable(folder)))
        return;
    int32_t& counter = store.folderCounter();
    if (counter++ > 100) {
        if (store.stopEvent().isSet()) {
            store.StopSearchRunning();
            store.SetStatusMessage("Closing search doc...");
            store.SendStoreMessage(WM_STATUS_TEXT);
        } else {
            store.SetStatusMessage("Searching " + folder);
            store.SendStoreMessage(WM_STATUS_TEXT);
            counter = 0;
        }
    }
    const std::vector<FolderEntry> entries = listFolderSorted(listable(folder));
    scanEntries(store, folder, entries);
    for (const FolderEntry& e : entries)
        if (e.folder)
            SearchFolder(store, childOf(folder, e.name));
}

const FolderSearch& diskSearch() {
    return kDiskSearch;
}

std::shared_ptr<CDocumentStore> OpenDocumentStore(StoreSetup setup, std::string& error) {
    setup.search = &kDiskSearch;
    return CDocumentStore::Create(setup, error);
}

}  // namespace morvel
