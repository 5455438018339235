#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace morvel {

// Name of the lock file inside a run folder.
inline constexpr const char* kRunLockName = "lock";

// A run folder (see makeRunFolder) that holds an flock on its lock file for as long as the
// object lives, so that a later start can tell a folder whose process is gone from one in use.
// The folder is removed when the object goes away.
class RunFolder {
  public:
    RunFolder() = default;
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Makes a fresh run folder inside workingFolder and locks it. False with error set when
    // either fails (a folder that was made is removed again).
    bool create(const std::filesystem::path& workingFolder, std::string& error);
    const std::filesystem::path& path() const { return path_; }
    // Removes the folder and what it holds; the lock is kept until the object goes away. Safe
    // to call more than once, and from a thread that ends the process on a signal.
    void remove() const;

  private:
    std::filesystem::path path_;
    int lockFd_ = -1;
};

// Removes the run folders of workingFolder whose process is gone: a folder named run-XXXXXX
// that is a real folder of this user holding a regular lock file of this user that nobody
// holds. Links are never followed, and folders without a lock file (a run still starting, or
// one that does not lock) are left alone. Returns how many were removed.
size_t removeStaleRunFolders(const std::filesystem::path& workingFolder);

}  // namespace morvel
