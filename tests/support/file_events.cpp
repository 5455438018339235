#include "tests/support/file_events.h"

#include <unistd.h>

namespace morvel::test {

namespace {

constexpr uint32_t kChangeMask =
    IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ATTRIB;

}  // namespace

// IN_CLOSE_NOWRITE is watched as well: it sits between two opens in the queue, so inotify
// cannot fold them into one event.
FileEvents::FileEvents(const std::filesystem::path& path)
    : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0)
        wd_ = inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE_NOWRITE | kChangeMask);
}

FileEvents::~FileEvents() {
    if (fd_ >= 0)
        ::close(fd_);
}

void FileEvents::collect() {
    alignas(inotify_event) char buf[4096];
    ssize_t n;
    while ((n = ::read(fd_, buf, sizeof buf)) > 0) {
        for (ssize_t off = 0; off < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
            if (ev->mask & IN_OPEN)
                ++opens_;
            if (ev->mask & kChangeMask)
                ++changes_;
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
}

}  // namespace morvel::test
