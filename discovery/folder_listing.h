#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace morvel {

// One entry of a folder as the document searches see it.
struct FolderEntry {
    std::string name;
    bool folder;  // a folder itself, not a link to one
    bool file;    // a regular file or a link to one
};

// The folder's entries sorted by name, so a search always finds documents in the same order.
// The entry's own type comes with the listing, so only links cost a look-up.
std::vector<FolderEntry> listFolderSorted(const std::filesystem::path& folder);

// Where a found document belongs in the table: templates (its folder's path holds
// "Templates"), tilde (its name begins with ~) or ordinary.
uint16_t documentCategory(const std::string& folder, const std::string& name);

}  // namespace morvel
