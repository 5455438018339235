#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/progress.h"

namespace morvel::cli {

// "3 of 120, about 0:42 left": where a batch is, and how long the rest should take at the
// pace so far (no estimate before the first document or after the last).
std::string batchPositionText(size_t done, size_t total, double secondsLeft);

// Progress of one document drawn as a single line on a terminal (stderr); silent when the
// stream is not a terminal, so scripts and logs stay clean. The numbers are the model's; this
// class only draws them.
class TerminalProgress : public ProgressModel, public StatusText {
  public:
    // With `wanted` false (--quiet) nothing is drawn, terminal or not.
    explicit TerminalProgress(std::FILE* stream, bool wanted = true);
    ~TerminalProgress() override;

    void setStatusText(const std::string& text) override;

    // Erases the line so that ordinary output can follow.
    void clear();

    // Where a batch is: "done of total" and the seconds left, shown before the bar from now on.
    void setBatchPosition(size_t done, size_t total, double secondsLeft);
    // False when nothing is drawn (not a terminal, or not wanted).
    bool enabled() const { return enabled_; }

  private:
    void draw(const ProgressState& bar);

    std::FILE* stream_;
    bool enabled_;
    bool drawn_ = false;
    std::string label_;
    std::string batch_;  // "3 of 120, about 0:42 left", or empty
};

}  // namespace morvel::cli
