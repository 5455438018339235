#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/error_report.h"

namespace morvel {

// Keeps the messages a dialog would show, in order, for a caller with no window (the command
// line prints them after each document; tests check them). Workers may report from any thread.
class CollectedErrors : public ErrorReport {
  public:
    void showError(const std::string& text) override;
    // The messages so far.
    std::vector<std::string> texts() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

}  // namespace morvel
