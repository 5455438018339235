#include "platform/file_io.h"

#include "platform/large_buffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// The process umask, read without changing it (umask() would race with other threads).
mode_t currentUmask() {
    FILE* f = std::fopen("/proc/self/status", "re");
    if (!f)
        return 022;
    char line[256];
    mode_t mask = 022;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
            break;
        }
    }
    std::fclose(f);
    return mask;
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
        partials_ = other.partials_;
        other.temporary_.clear();
    }
    return *this;
}

std::string StagedFile::stage(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                              PartialFiles* partials, WriteStatus* status) {
    WriteStatus ignored;
    WriteStatus& st = status ? *status : ignored;
    st = WriteStatus::Ok;
    discard();
    std::filesystem::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";
    std::string tmpl = (dir / ("." + target.filename().string() + ".partial-XXXXXX")).string();
    std::unique_lock<std::mutex> held;
    if (partials)
        held = partials->hold();
    int raw = ::mkstemp(tmpl.data());
    if (raw < 0) {
        st = WriteStatus::CannotCreate;
        return std::string("cannot create a file in ") + dir.string() + ": " + std::strerror(errno);
    }
    Fd f(raw);
    temporary_ = tmpl;
    partials_ = partials;
    if (partials) {
        partials->add(tmpl);
        held.unlock();
    }
    ::fchmod(f.fd, 0666 & ~currentUmask());
    if (!writeAll(f.fd, bytes) || ::fsync(f.fd) != 0) {
        std::string why = std::strerror(errno);
        discard();
        st = WriteStatus::CannotWrite;
        return "cannot write " + target.string() + ": " + why;
    }
    return {};
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
    std::unique_lock<std::mutex> held;
    if (partials_)
        held = partials_->hold();
    int rc;
    if (overwrite) {
        rc = ::rename(temporary_.c_str(), target.c_str());
    } else {
        // link() fails when the target exists, so no existing file is ever replaced.
        rc = ::link(temporary_.c_str(), target.c_str());
    }
    const int linkErrno = errno;
    if (rc == 0 && overwrite) {
        if (partials_)
            partials_->drop(temporary_);  // renamed: the name is gone
    } else {
        ::unlink(temporary_.c_str());
        if (partials_)
            partials_->drop(temporary_);
    }
    temporary_.clear();
    if (rc != 0) {
        st = linkErrno == EEXIST ? WriteStatus::AlreadyExists : WriteStatus::CannotPlace;
        std::string why =
            linkErrno == EEXIST ? "the file already exists" : std::strerror(linkErrno);
        return "cannot create " + target.string() + ": " + why;
    }
    return {};
}

void StagedFile::discard() {
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
