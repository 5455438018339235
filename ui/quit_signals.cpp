#include "ui/quit_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>

namespace morvel {

namespace {

// The signal handler may only write to a descriptor; the notifier reads it on the UI thread.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[0], &byte, 1);
}

}  // namespace

void closeOnQuitSignals(QWidget* window) {
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[1], &byte, 1);
        window->close();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

}  // namespace morvel
