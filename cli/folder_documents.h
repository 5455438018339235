#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morvel::cli {

// One Word document found by a folder search.
struct FoundDocument {
    std::string folder;
    std::string fileName;
    uint16_t format = 0;
    uint16_t category = 0;
};

struct FolderSearchOutcome {
    std::vector<FoundDocument> documents;  // in the order the table holds them
    std::vector<std::string> errors;       // messages the search showed ("Number of doc ...")
    bool tableFull = false;
};

// Searches each folder and its subfolders as the desktop program's search does, one job per
// folder, and returns what the document table then holds. False with `error` set when no store
// could be opened.
bool searchFolders(const std::vector<std::string>& folders, FolderSearchOutcome& outcome,
                   std::string& error);

// Which file or folder a path names, so that two spellings of one folder compare equal.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// The identity of what `path` names (links followed), or nothing when it cannot be seen.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

// Walks a folder and its subfolders for the documents recover takes and calls `found` for each
// at once, so any number of documents streams through without being held. The order is the
// search's: a folder's documents sorted by name, then its subfolders depth first. As the search
// does, it takes regular files (or links to them) named *.doc or *.docx in any case, leaves out
// files whose names begin with ~ and folders whose path holds "Templates", never follows a link
// to a folder and never enters a pseudo file system. It does not enter the folders in `skip`
// (the output folder, where results appear during the walk). `found` gets the document's path
// and its folder relative to `root`. Returns the number of documents found.
size_t walkFolderDocuments(
    const std::filesystem::path& root, const std::vector<FileIdentity>& skip,
    const std::function<void(const std::filesystem::path&, const std::filesystem::path&)>& found);

}  // namespace morvel::cli
