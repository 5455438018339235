#pragma once

#include <cstdio>
#include <string>

#include "platform/progress.h"

namespace morvel::cli {

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

  private:
    void draw();

    std::FILE* stream_;
    bool enabled_;
    bool drawn_ = false;
    int low_ = 0, high_ = 100, step_ = 10, pos_ = 0;
    std::string label_;
};

}  // namespace morvel::cli
