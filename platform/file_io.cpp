#include "platform/file_io.h"

#include "platform/large_buffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace morvel {

namespace {

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
    Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (f.fd < 0)
        return ReadStatus::CannotOpen;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return ReadStatus::CannotOpen;
    if (static_cast<uint64_t>(st.st_size) > kMaxInputSize)
        return ReadStatus::TooLarge;
    resizeLarge(out, static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::read(f.fd, out.data() + done, out.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            out.clear();
            return ReadStatus::ReadError;
        }
        if (n == 0)
            break;  // the file shrank while we read it: keep what was read
        done += static_cast<size_t>(n);
    }
    out.resize(done);
    return ReadStatus::Ok;
}

std::string writeFileAtomic(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                            bool overwrite) {
    std::filesystem::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";
    std::string tmpl = (dir / ("." + target.filename().string() + ".partial-XXXXXX")).string();
    int raw = ::mkstemp(tmpl.data());
    if (raw < 0)
        return std::string("cannot create a file in ") + dir.string() + ": " + std::strerror(errno);
    Fd f(raw);
    ::fchmod(f.fd, 0666 & ~currentUmask());
    if (!writeAll(f.fd, bytes) || ::fsync(f.fd) != 0) {
        std::string why = std::strerror(errno);
        ::unlink(tmpl.c_str());
        return "cannot write " + target.string() + ": " + why;
    }
    int rc;
    if (overwrite) {
        rc = ::rename(tmpl.c_str(), target.c_str());
    } else {
        // link() fails when the target exists, so no existing file is ever replaced.
        rc = ::link(tmpl.c_str(), target.c_str());
        if (rc == 0)
            ::unlink(tmpl.c_str());
    }
    if (rc != 0) {
        std::string why = errno == EEXIST ? "the file already exists" : std::strerror(errno);
        ::unlink(tmpl.c_str());
        return "cannot create " + target.string() + ": " + why;
    }
    return {};
}

}  // namespace morvel
