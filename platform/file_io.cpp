#include "platform/file_io.h"

#include "platform/large_buffer.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace morvel {

namespace {

// Bytes read at a time by readWholeFile: small enough to stay in the processor's cache.
constexpr size_t kReadChunk = 256 * 1024;

// Closes a descriptor when the scope ends.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Attempts at a free temporary name before giving up: a clash needs another file of the same
// random name, so more than one attempt is already rare.
constexpr int kTemporaryNameAttempts = 100;

// Characters of the random part of a temporary name.
constexpr char kNameAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kRandomNameChars = 6;

// Creates `prefix` + six random characters as a new file, never one that exists and never
// through a link. The mode 0666 is cut by the umask (and a folder's default ACL) as for any
// file the user makes, so the result needs no chmod and the umask need not be read. -1 with
// errno on failure; `path` gets the name made.
int createTemporary(const std::string& prefix, std::string& path) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        unsigned char random[kRandomNameChars];
        if (::getrandom(random, sizeof random, GRND_NONBLOCK) !=
            static_cast<ssize_t>(sizeof random)) {
            // No entropy yet (early boot): the clock and the attempt still vary the name, and
            // O_EXCL keeps a guessed name from being taken over.
            const auto t =
                static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            for (size_t i = 0; i < sizeof random; ++i)
                random[i] =
                    static_cast<unsigned char>((t >> (8 * i)) + static_cast<unsigned>(attempt));
        }
        path = prefix;
        for (unsigned char r : random)
            path += kNameAlphabet[r % (sizeof kNameAlphabet - 1)];
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Moves `from` to `to` unless `to` exists. The rename is one step where the file system can
// do it without replacing; elsewhere a hard link (which also refuses an existing name) and the
// removal of the old name do it.
int renameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return -1;
    if (::link(from, to) != 0)
        return -1;
    ::unlink(from);
    return 0;
}

}  // namespace

ReadStatus readWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& out) {
    out.clear();
    // O_NONBLOCK: opening a FIFO without a writer (or some devices) would otherwise wait for
    // ever before the type could be checked. O_NOCTTY: a terminal never becomes ours.
    Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (f.fd < 0)
        return errno == ENXIO ? ReadStatus::NotRegularFile : ReadStatus::CannotOpen;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0)
        return ReadStatus::CannotOpen;
    if (!S_ISREG(st.st_mode))
        return ReadStatus::NotRegularFile;
    if (static_cast<uint64_t>(st.st_size) > kMaxInputSize)
        return ReadStatus::TooLarge;
    // A regular file ignores the flag, but reads are plain blocking reads from here on.
    ::fcntl(f.fd, F_SETFL, ::fcntl(f.fd, F_GETFL) & ~O_NONBLOCK);
    // The bytes are appended through a small buffer rather than read into a zero-filled one:
    // the image's pages are then written once, with the file's bytes, not first with zeros.
    const size_t size = static_cast<size_t>(st.st_size);
    reserveLarge(out, size);
    std::vector<uint8_t> chunk(std::min(size, kReadChunk));
    while (out.size() < size) {
        ssize_t n = ::read(f.fd, chunk.data(), std::min(chunk.size(), size - out.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            out.clear();
            return ReadStatus::ReadError;
        }
        if (n == 0)
            break;  // the file shrank while we read it: keep what was read
        out.insert(out.end(), chunk.data(), chunk.data() + n);
    }
    return ReadStatus::Ok;
}

const char* readStatusText(ReadStatus status) {
    switch (status) {
        case ReadStatus::Ok:
            return "read";
        case ReadStatus::CannotOpen:
            return "cannot open it";
        case ReadStatus::NotRegularFile:
            return "not a regular file";
        case ReadStatus::TooLarge:
            return "the file is larger than 2 GiB";
        case ReadStatus::ReadError:
            return "read error";
    }
    return "cannot read it";
}

void PartialFiles::removeAll() {
    for (const std::filesystem::path& p : paths_)
        ::unlink(p.c_str());
    paths_.clear();
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        discard();
        temporary_ = std::move(other.temporary_);
        target_ = std::move(other.target_);
        partials_ = other.partials_;
        fd_ = other.fd_;
        other.temporary_.clear();
        other.fd_ = -1;
    }
    return *this;
}

std::string StagedFile::write(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                              PartialFiles* partials, WriteStatus* status) {
    WriteStatus ignored;
    WriteStatus& st = status ? *status : ignored;
    st = WriteStatus::Ok;
    discard();
    std::filesystem::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";
    const std::string prefix = (dir / ("." + target.filename().string() + ".partial-")).string();
    std::string tmpl;
    std::unique_lock<std::mutex> held;
    if (partials)
        held = partials->hold();
    const int fd = createTemporary(prefix, tmpl);
    if (fd < 0) {
        st = WriteStatus::CannotCreate;
        return std::string("cannot create a file in ") + dir.string() + ": " + std::strerror(errno);
    }
    fd_ = fd;
    temporary_ = tmpl;
    target_ = target.string();
    partials_ = partials;
    if (partials) {
        partials->add(tmpl);
        held.unlock();
    }
    if (!writeAll(fd_, bytes)) {
        std::string why = std::strerror(errno);
        discard();
        st = WriteStatus::CannotWrite;
        return "cannot write " + target.string() + ": " + why;
    }
    // The disk write starts now; flush() then waits for it. Files written one after another
    // and flushed afterwards have their blocks placed before the first flush, so that flush
    // writes the inodes they share once and the later ones find nothing left to write.
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    return {};
}

std::string StagedFile::flush(WriteStatus* status) {
    WriteStatus ignored;
    WriteStatus& st = status ? *status : ignored;
    st = WriteStatus::Ok;
    if (fd_ < 0)
        return {};
    const int fd = std::exchange(fd_, -1);
    // A failed close can report a write the disk refused late (a full quota on a network file
    // system), so it counts as a failed write too.
    const bool ok = ::fsync(fd) == 0;
    const int why = errno;
    const bool closed = ::close(fd) == 0;
    if (ok && closed)
        return {};
    const std::string reason = std::strerror(ok ? errno : why);
    const std::string target = target_;
    discard();
    st = WriteStatus::CannotWrite;
    return "cannot write " + target + ": " + reason;
}

std::string StagedFile::stage(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                              PartialFiles* partials, WriteStatus* status) {
    std::string why = write(target, bytes, partials, status);
    return why.empty() ? flush(status) : why;
}

std::string StagedFile::place(const std::filesystem::path& target, bool overwrite,
                              WriteStatus* status) {
    WriteStatus ignored;
    WriteStatus& st = status ? *status : ignored;
    st = WriteStatus::Ok;
    if (!staged()) {
        st = WriteStatus::CannotPlace;
        return "cannot create " + target.string() + ": nothing was written for it";
    }
    // Nothing is put under its name before it is on the disk.
    if (std::string why = flush(status); !why.empty())
        return why;
    std::unique_lock<std::mutex> held;
    if (partials_)
        held = partials_->hold();
    // Without overwrite the move fails when the target exists, so no existing file is ever
    // replaced.
    const int rc = overwrite ? ::rename(temporary_.c_str(), target.c_str())
                             : renameNoReplace(temporary_.c_str(), target.c_str());
    const int moveErrno = errno;
    if (rc == 0) {
        if (partials_)
            partials_->drop(temporary_);  // renamed: the name is gone
    } else {
        ::unlink(temporary_.c_str());
        if (partials_)
            partials_->drop(temporary_);
    }
    temporary_.clear();
    if (rc != 0) {
        st = moveErrno == EEXIST ? WriteStatus::AlreadyExists : WriteStatus::CannotPlace;
        std::string why =
            moveErrno == EEXIST ? "the file already exists" : std::strerror(moveErrno);
        return "cannot create " + target.string() + ": " + why;
    }
    return {};
}

void StagedFile::discard() {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
    if (!staged())
        return;
    std::unique_lock<std::mutex> held;
    if (partials_)
        held = partials_->hold();
    ::unlink(temporary_.c_str());
    if (partials_)
        partials_->drop(temporary_);
    temporary_.clear();
}

std::string writeFileAtomic(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                            bool overwrite, PartialFiles* partials, WriteStatus* status) {
    StagedFile file;
    std::string why = file.stage(target, bytes, partials, status);
    return why.empty() ? file.place(target, overwrite, status) : why;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    return std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec) &&
           std::filesystem::equivalent(a, b, ec);
}

}  // namespace morvel
