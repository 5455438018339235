#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morvel {

// Which file or folder a path names, so that two spellings of one folder compare equal.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// The identity of what `path` names (links followed), or nothing when it cannot be seen.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

// A Word document found by a walk.
struct WalkedDocument {
    std::string folder;              // as the search spells it: the root, then "/" and names
    std::string fileName;            // the name without its folder
    std::filesystem::path relative;  // the folder below the root
    uint16_t format = 0;             // by the name
    uint16_t category = 0;           // ordinary, templates or tilde
};

// Walks a folder and its subfolders and calls `found` for every Word document at once, so any
// number of documents streams through without being held. It lists what the desktop program's
// folder search lists, in its order: a folder's documents sorted by name, then its subfolders
// depth first; regular files (or links to them) named *.doc or *.docx in any case, with their
// category; never a link to a folder, never a pseudo file system, and none of the folders in
// `skip`. Returns the number of documents found.
size_t walkDocuments(const std::filesystem::path& root, const std::vector<FileIdentity>& skip,
                     const std::function<void(const WalkedDocument&)>& found);

}  // namespace morvel
