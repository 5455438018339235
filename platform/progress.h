#pragma once

#include <string>

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

// A progress indicator that only keeps its numbers; useful as a default and in tests.
class CountingProgress : public ProgressIndicator {
  public:
    void setRange(int low, int high) override {
        low_ = low;
        high_ = high;
    }
    void setStep(int step) override { step_ = step; }
    void setPosition(int pos) override { pos_ = pos; }
    int position() const override { return pos_; }
    // Like a bar control, stepping past the top wraps back to the bottom of the range.
    void stepIt() override {
        pos_ += step_;
        if (pos_ > high_)
            pos_ = low_ + (pos_ - high_);
        ++steps_;
    }
    int low() const { return low_; }
    int high() const { return high_; }
    int step() const { return step_; }
    int steps() const { return steps_; }

  private:
    int low_ = 0, high_ = 100, step_ = 10, pos_ = 0, steps_ = 0;
};

}  // namespace morvel
