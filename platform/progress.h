#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>

namespace morvel {

// The progress indicator of a running job: a bar with a range, a step and a position.
// The GUI marshals these calls to its window; the CLI draws a bar on a terminal.
class ProgressIndicator {
  public:
    virtual ~ProgressIndicator() = default;
    virtual void setRange(int low, int high) = 0;
    virtual void setStep(int step) = 0;
    virtual void setPosition(int pos) = 0;
    virtual int position() const = 0;
    virtual void stepIt() = 0;
};

// The text of the first part of the status bar.
class StatusText {
  public:
    virtual ~StatusText() = default;
    virtual void setStatusText(const std::string& text) = 0;
};

// The numbers of a progress bar.
struct ProgressState {
    int low = 0, high = 100, step = 10, pos = 0;
};

// The one progress model: it keeps the numbers the engines set, with a bar control's rules,
// and hands each change to a drawer, so the command line and the window only draw. Without a
// drawer it just counts, which suits defaults and tests. Safe to call from any thread; the
// drawer runs on the caller's thread, outside the lock.
class ProgressModel : public ProgressIndicator {
  public:
    using Drawer = std::function<void(const ProgressState&)>;

    explicit ProgressModel(ProgressState initial = {}, Drawer drawer = {})
        : state_(initial), drawer_(std::move(drawer)) {}

    void setRange(int low, int high) override {
        update([&](ProgressState& s) {
            s.low = low;
            s.high = high;
        });
    }
    // A new step changes nothing on the bar, so nothing is drawn.
    void setStep(int step) override {
        std::lock_guard lock(mutex_);
        state_.step = step;
    }
    void setPosition(int pos) override {
        update([&](ProgressState& s) { s.pos = pos; });
    }
    int position() const override {
        std::lock_guard lock(mutex_);
        return state_.pos;
    }
    // Like a bar control, stepping past the top wraps back to the bottom of the range.
    void stepIt() override {
        update([&](ProgressState& s) {
            s.pos += s.step;
            if (s.pos > s.high)
                s.pos = s.low + (s.pos - s.high);
            ++steps_;
        });
    }
    // Starts again from `state` (a new bar), drawing it.
    void reset(const ProgressState& state) {
        update([&](ProgressState& s) { s = state; });
    }

    ProgressState state() const {
        std::lock_guard lock(mutex_);
        return state_;
    }
    int low() const { return state().low; }
    int high() const { return state().high; }
    int step() const { return state().step; }
    // How many times stepIt was called.
    int steps() const {
        std::lock_guard lock(mutex_);
        return steps_;
    }

  private:
    template <typename Change>
    void update(Change change) {
        ProgressState now;
        {
            std::lock_guard lock(mutex_);
            change(state_);
            now = state_;
        }
        if (drawer_)
            drawer_(now);
    }

    mutable std::mutex mutex_;
    ProgressState state_;
    int steps_ = 0;
    Drawer drawer_;
};

}  // namespace morvel
