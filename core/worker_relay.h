#pragma once

#include <atomic>

#include "platform/error_report.h"
#include "platform/progress.h"

namespace morvel {

// Passes the worker's progress, status and error reports on to the user interface until it is
// cut off at shutdown, so that a worker abandoned there stops calling into a window that is
// going away. The targets are read at each call; they are set while no worker runs.
class WorkerRelay : public ProgressIndicator, public StatusText, public ErrorReport {
  public:
    WorkerRelay(ProgressIndicator* const& progress, StatusText* const& status,
                ErrorReport* const& errors)
        : progress_(progress), status_(status), errors_(errors) {}

    void cutOff() { connected_.store(false); }

    void setRange(int low, int high) override {
        if (connected_.load() && progress_)
            progress_->setRange(low, high);
    }
    void setStep(int step) override {
        if (connected_.load() && progress_)
            progress_->setStep(step);
    }
    void setPosition(int pos) override {
        if (connected_.load() && progress_)
            progress_->setPosition(pos);
    }
    int position() const override {
        return connected_.load() && progress_ ? progress_->position() : 0;
    }
    void stepIt() override {
        if (connected_.load() && progress_)
            progress_->stepIt();
    }
    void setStatusText(const std::string& text) override {
        if (connected_.load() && status_)
            status_->setStatusText(text);
    }
    void showError(const std::string& text) override {
        if (connected_.load() && errors_)
            errors_->showError(text);
    }

  private:
    ProgressIndicator* const& progress_;
    StatusText* const& status_;
    ErrorReport* const& errors_;
    std::atomic<bool> connected_{true};
};

}  // namespace morvel
