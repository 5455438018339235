#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace morvel {

// An event that stays signalled until it is reset, like the job events of the worker.
class ManualResetEvent {
  public:
    explicit ManualResetEvent(bool signalled = false) : signalled_(signalled) {}

    void set();
    void reset();
    bool isSet() const;
    // Waits until signalled or the time-out passes; true when signalled.
    bool waitFor(std::chrono::milliseconds timeout) const;
    void wait() const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool signalled_;
};

}  // namespace morvel
