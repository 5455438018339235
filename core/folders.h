#pragma once

#include <filesystem>
#include <string>

namespace morvel {

// The user's private working folder: $XDG_RUNTIME_DIR/morvel, else $TMPDIR/morvel-<uid>
// (TMPDIR defaulting to /tmp). It is created with mode 0700 and refused when it is a link or
// belongs to someone else. Returns an empty path and sets error when it cannot be used.
std::filesystem::path privateWorkingFolder(std::string& error);

// A fresh folder of its own inside the working folder, so that two runs at once never share
// the fixed temporary names. Empty on failure.
std::filesystem::path makeRunFolder(const std::filesystem::path& workingFolder, std::string& error);

// Where temp.dat is looked for: beside the executable when it is there, else the installed
// data folder, else the executable's folder.
std::filesystem::path defaultProgramFolder();

}  // namespace morvel
