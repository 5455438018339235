#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace morvel {

// The user's private working folder: $XDG_RUNTIME_DIR/morvel, else $TMPDIR/morvel-<uid>
// (TMPDIR defaulting to /tmp). It is created with mode 0700 and refused when it is a link or
// belongs to someone else. Returns an empty path and sets error when it cannot be used.
std::filesystem::path privateWorkingFolder(std::string& error);

// A fresh folder of its own inside the working folder, so that two runs at once never share
// the fixed temporary names. Empty on failure.
std::filesystem::path makeRunFolder(const std::filesystem::path& workingFolder, std::string& error);

// The folders searched for temp.dat, in order and without repeats: the executable's own folder
// (a build tree), share/morvel beside the executable's folder (an install moved to another
// prefix) and the data folder chosen when the program was configured.
std::vector<std::filesystem::path> templateStoreFolders();

// The outcome of a search for temp.dat: the first folder holding it (empty when none does)
// and every folder looked in.
struct TemplateStoreLookup {
    std::filesystem::path folder;
    std::vector<std::filesystem::path> lookedIn;
    bool found() const { return !folder.empty(); }
};
TemplateStoreLookup findTemplateStore(const std::vector<std::filesystem::path>& folders);

// "the template store temp.dat was not found (looked in: A, B, C)"
std::string templateStoreNotFoundMessage(const TemplateStoreLookup& lookup);

// The folder of temp.dat among templateStoreFolders(), else the executable's folder.
std::filesystem::path defaultProgramFolder();

}  // namespace morvel
