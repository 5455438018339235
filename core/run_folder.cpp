#include "core/run_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/folders.h"

namespace morvel {

namespace fs = std::filesystem;

namespace {

// How many times removal is tried: a process that is being stopped may still add a file to
// its folder while the folder is being emptied.
constexpr int kRemoveTries = 3;

void removeFolder(const fs::path& folder) {
    std::error_code ec;
    for (int i = 0; i < kRemoveTries; ++i) {
        fs::remove_all(folder, ec);  // removes links themselves, never what they point to
        if (!fs::exists(fs::symlink_status(folder, ec)))
            return;
    }
}

bool isRunFolderName(const std::string& name) {
    static constexpr std::string_view kPrefix = "run-";
    return name.size() == kPrefix.size() + 6 && name.compare(0, kPrefix.size(), kPrefix) == 0;
}

// True when the lock file of a run folder exists, is ours, and could be locked: its process
// is gone. The lock is kept in fd (closed by the caller) so nobody starts using the folder.
bool lockStaleFolder(const fs::path& folder, int& fd) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    const fs::path lock = folder / kRunLockName;
    fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat ls {};
    if (::fstat(fd, &ls) != 0 || !S_ISREG(ls.st_mode) || ls.st_uid != ::geteuid())
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    // Another start may have removed the folder between our open and our lock: only the lock
    // file that is still in place counts.
    struct stat now {};
    return ::lstat(lock.c_str(), &now) == 0 && now.st_ino == ls.st_ino && now.st_dev == ls.st_dev;
}

}  // namespace

RunFolder::~RunFolder() {
    if (!path_.empty())
        remove();
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

bool RunFolder::create(const fs::path& workingFolder, std::string& error) {
    fs::path folder = makeRunFolder(workingFolder, error);
    if (folder.empty())
        return false;
    // The lock is taken under a temporary name and then renamed into place, so a start that
    // looks at this folder meanwhile finds either no lock file or a held one.
    const fs::path fresh = folder / (std::string(kRunLockName) + ".new");
    int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::rename(fresh.c_str(), (folder / kRunLockName).c_str()) != 0) {
        error = "cannot lock " + folder.string() + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        removeFolder(folder);
        return false;
    }
    path_ = folder;
    lockFd_ = fd;
    return true;
}

void RunFolder::remove() const {
    if (!path_.empty())
        removeFolder(path_);
}

size_t removeStaleRunFolders(const fs::path& workingFolder) {
    std::error_code ec;
    std::vector<fs::path> candidates;
    for (fs::directory_iterator it(workingFolder, ec), end; !ec && it != end; it.increment(ec))
        if (isRunFolderName(it->path().filename().string()))
            candidates.push_back(it->path());
    size_t removed = 0;
    for (const fs::path& folder : candidates) {
        int fd = -1;
        if (lockStaleFolder(folder, fd)) {
            removeFolder(folder);
            ++removed;
        }
        if (fd >= 0)
            ::close(fd);
    }
    return removed;
}

}  // namespace morvel
