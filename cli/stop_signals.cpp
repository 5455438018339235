#include "cli/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace morvel::cli {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Exit status after a signal, as shells report it.
constexpr int kSignalExitBase = 128;

}  // namespace

StopSignals::StopSignals(PartialFiles& partials, const RunFolder& runFolder)
    : partials_(partials), runFolder_(runFolder) {
    sigemptyset(&caught_);
    for (int sig : kStopSignals) {
        struct sigaction now {};
        if (::sigaction(sig, nullptr, &now) == 0 && now.sa_handler != SIG_IGN)
            sigaddset(&caught_, sig);
    }
    if (::pthread_sigmask(SIG_BLOCK, &caught_, nullptr) != 0)
        return;
    signalFd_ = ::signalfd(-1, &caught_, SFD_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (signalFd_ < 0 || wakeFd_ < 0) {
        // Without a watcher the signals keep their default action.
        ::pthread_sigmask(SIG_UNBLOCK, &caught_, nullptr);
        return;
    }
    watcher_ = std::thread(&StopSignals::watch, this);
}

// The signals stay blocked afterwards: one that comes while the program is ending is dropped
// rather than killing it between its results and the removal of its run folder.
StopSignals::~StopSignals() {
    if (watcher_.joinable()) {
        const uint64_t one = 1;
        if (::write(wakeFd_, &one, sizeof one) == sizeof one)
            watcher_.join();
        else
            watcher_.detach();
    }
    if (signalFd_ >= 0)
        ::close(signalFd_);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void StopSignals::watch() {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    signalfd_siginfo info{};
    for (;;) {
        if (::poll(fds, 2, -1) < 0)
            continue;  // EINTR
        if (fds[1].revents)
            return;
        if (fds[0].revents && ::read(signalFd_, &info, sizeof info) == sizeof info)
            break;
    }
    // Held until the process ends: no temporary file is made or renamed after this.
    auto held = partials_.hold();
    partials_.removeAll();
    runFolder_.remove();
    std::fflush(stdout);
    const int sig = static_cast<int>(info.ssi_signo);
    const char* name = sigabbrev_np(sig);
    std::fprintf(stderr, "\nmorvel: stopped by SIG%s; unfinished results were removed\n",
                 name ? name : "?");
    std::fflush(stderr);
    ::_exit(kSignalExitBase + sig);
}

}  // namespace morvel::cli
