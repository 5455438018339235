#include "discovery/folder_listing.h"

#include <algorithm>
#include <system_error>

#include "core/document_record.h"

namespace morvel {

namespace fs = std::filesystem;

std::vector<FolderEntry> listFolderSorted(const fs::path& folder) {
    std::vector<FolderEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code sec;
        const bool link = it->is_symlink(sec);
        const bool isFolder = !link && !sec && it->is_directory(sec) && !sec;
        const bool isFile = !isFolder && it->is_regular_file(sec) && !sec;
        entries.push_back({it->path().filename().string(), isFolder, isFile});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

uint16_t documentCategory(const std::string& folder, const std::string& name) {
    if (folder.find("Templates") != std::string::npos)
        return kCategoryTemplates;
    return !name.empty() && name.front() == '~' ? kCategoryTilde : kCategoryOrdinary;
}

}  // namespace morvel
