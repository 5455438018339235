#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace morvel::cli {

// Runs tasks on a fixed number of threads and hands their results back one by one in the order
// the tasks were given, on the thread that gives them. At most `window` tasks are held at once
// (waiting, running, or finished and not yet handed back), so a batch of any size streams
// through in bounded memory. With no threads, each task runs at once inside submit().
template <class Result>
class BatchPool {
  public:
    using Task = std::function<Result(unsigned worker)>;
    using Done = std::function<void(Result&)>;

    BatchPool(unsigned threads, size_t window, Done done)
        : window_(std::max<size_t>(window, 1)), done_(std::move(done)) {
        for (unsigned i = 0; i < threads; ++i)
            threads_.emplace_back([this, i] { work(i); });
    }
    ~BatchPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& t : threads_)
            t.join();
    }
    BatchPool(const BatchPool&) = delete;
    BatchPool& operator=(const BatchPool&) = delete;

    // Queues a task; first hands back the oldest results while the window is full.
    void submit(Task task) {
        if (threads_.empty()) {
            Result r = task(0);
            done_(r);
            return;
        }
        while (held() >= window_)
            handBackOldest();
        {
            std::lock_guard lock(mutex_);
            slots_.push_back(Slot{std::move(task), {}, {}});
        }
        wake_.notify_one();
    }

    // Waits for every task and hands back what is left, in order.
    void drain() {
        while (held() > 0)
            handBackOldest();
    }

  private:
    struct Slot {
        Task task;  // emptied when a thread takes it
        std::optional<Result> result;
        std::exception_ptr failure;
    };

    size_t held() {
        std::lock_guard lock(mutex_);
        return slots_.size();
    }

    // The oldest slot's result is handed back outside the lock; a task that threw throws here.
    void handBackOldest() {
        Slot slot;
        {
            std::unique_lock lock(mutex_);
            finished_.wait(
                lock, [&] { return slots_.front().result.has_value() || slots_.front().failure; });
            slot = std::move(slots_.front());
            slots_.pop_front();
            ++front_;
        }
        if (slot.failure)
            std::rethrow_exception(slot.failure);
        done_(*slot.result);
    }

    void work(unsigned worker) {
        for (;;) {
            Task task;
            size_t sequence;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return stopping_ || next_ < front_ + slots_.size(); });
                if (next_ >= front_ + slots_.size())
                    return;  // stopping with nothing left to run
                sequence = next_++;
                task = std::move(slots_[sequence - front_].task);
            }
            std::optional<Result> result;
            std::exception_ptr failure;
            try {
                result.emplace(task(worker));
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard lock(mutex_);
                // Older slots may have been handed back meanwhile, never this unfinished one.
                Slot& slot = slots_[sequence - front_];
                slot.result = std::move(result);
                slot.failure = failure;
            }
            finished_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;      // a task was queued, or the pool stops
    std::condition_variable finished_;  // a task finished
    std::deque<Slot> slots_;
    // Tasks are numbered in the order given: slots_ holds those from front_ on, and next_ is
    // the first no thread has taken yet.
    size_t front_ = 0;
    size_t next_ = 0;
    bool stopping_ = false;
    size_t window_;
    Done done_;
    std::vector<std::thread> threads_;
};

}  // namespace morvel::cli
