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
// stream is not a terminal, so scripts and logs stay clean.
class TerminalProgress : public ProgressIndicator, public StatusText {
  public:
    // With `wanted` false (--quiet) nothing is drawn, terminal or not.
    explicit TerminalProgress(std::FILE* stream, bool wanted = true);
    ~TerminalProgress() override;

    void setRange(int low, int high) override;
    void setStep(int step) override;
    void setPosition(int pos) override;
    int position() const override { return pos_; }
    void stepIt() override;
    void setStatusText(const std::string& text) override;

    // Erases the line so that ordinary output can follow.
    void clear();

    // Where a batch is: "done of total" and the seconds left, shown before the bar from now on.
    void setBatchPosition(size_t done, size_t total, double secondsLeft);
    // False when nothing is drawn (not a terminal, or not wanted).
    bool enabled() const { return enabled_; }

  private:
    void draw();

    std::FILE* stream_;
    bool enabled_;
    bool drawn_ = false;
    int low_ = 0, high_ = 100, step_ = 10, pos_ = 0;
    std::string label_;
    std::string batch_;  // "3 of 120, about 0:42 left", or empty
};

}  // namespace morvel::cli
