#pragma once

#include <sys/inotify.h>

#include <cstdint>
#include <filesystem>

namespace morvel::test {

// Counts what happens to one file or folder, through inotify: opens, and anything created,
// written or moved in (for a folder, of what it holds). Events are read when asked for.
class FileEvents {
  public:
    explicit FileEvents(const std::filesystem::path& path);
    ~FileEvents();
    FileEvents(const FileEvents&) = delete;
    FileEvents& operator=(const FileEvents&) = delete;

    bool valid() const { return fd_ >= 0 && wd_ >= 0; }
    // Reads the events that arrived since the last call and adds them to the counts.
    void collect();
    uint32_t opens() const { return opens_; }
    // Creations, writes and moves into the folder (or of the file).
    uint32_t changes() const { return changes_; }

  private:
    int fd_ = -1;
    int wd_ = -1;
    uint32_t opens_ = 0;
    uint32_t changes_ = 0;
};

}  // namespace morvel::test
