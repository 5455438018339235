#include "platform/manual_reset_event.h"

namespace morvel {

void ManualResetEvent::set() {
    // Notified under the lock: a waiter that wakes may destroy the event at once, which must
    // not happen while notify_all is still using it.
    std::lock_guard lock(mutex_);
    signalled_ = true;
    cv_.notify_all();
}

void ManualResetEvent::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool ManualResetEvent::isSet() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

bool ManualResetEvent::waitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return signalled_; });
}

void ManualResetEvent::wait() const {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
}

}  // namespace morvel
