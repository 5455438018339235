#pragma once

#include <cstdint>
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

}  // namespace morvel::cli
