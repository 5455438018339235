#include "discovery/document_walk.h"

#include <sys/stat.h>

#include <algorithm>

#include "core/document_format.h"
#include "discovery/folder_listing.h"
#include "discovery/folder_search.h"

namespace morvel {

namespace fs = std::filesystem;

namespace {

// One folder and then its subfolders. The recursion is as deep as the folder tree, as the
// search's is.
size_t walk(const std::string& folder, const fs::path& relative,
            const std::vector<FileIdentity>& skip,
            const std::function<void(const WalkedDocument&)>& found) {
    const fs::path listed = folder.empty() ? fs::path("/") : fs::path(folder);
    if (isPseudoFolder(listed))
        return 0;
    const std::vector<FolderEntry> entries = listFolderSorted(listed);
    size_t count = 0;
    for (const FolderEntry& e : entries) {
        if (!e.file)
            continue;
        const uint16_t format = formatFromFileName(e.name);
        if (format == kFormatUnknown)
            continue;
        found({folder, e.name, relative, format, documentCategory(folder, e.name)});
        ++count;
    }
    for (const FolderEntry& e : entries) {
        if (!e.folder)
            continue;
        const std::string child = folder + "/" + e.name;
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

size_t walkDocuments(const fs::path& root, const std::vector<FileIdentity>& skip,
                     const std::function<void(const WalkedDocument&)>& found) {
    // The search spells folders without a trailing separator, and the root folder as "".
    std::string folder = root.string();
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return walk(folder, fs::path(), skip, found);
}

}  // namespace morvel
