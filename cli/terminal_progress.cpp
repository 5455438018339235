#include "cli/terminal_progress.h"

#include <unistd.h>

#include <algorithm>

namespace morvel::cli {

std::string batchPositionText(size_t done, size_t total, double secondsLeft) {
    std::string text = std::to_string(done) + " of " + std::to_string(total);
    if (done == 0 || done >= total || !(secondsLeft >= 0))
        return text;
    const auto s = static_cast<unsigned long long>(secondsLeft + 0.5);
    char left[64];
    if (s >= 3600)
        std::snprintf(left, sizeof left, ", about %lluh%02llu left", s / 3600, s / 60 % 60);
    else
        std::snprintf(left, sizeof left, ", about %llu:%02llu left", s / 60, s % 60);
    return text + left;
}

TerminalProgress::TerminalProgress(std::FILE* stream, bool wanted)
    : ProgressModel({}, [this](const ProgressState& bar) { draw(bar); }),
      stream_(stream),
      enabled_(wanted && ::isatty(::fileno(stream)) != 0) {}

TerminalProgress::~TerminalProgress() {
    clear();
}

void TerminalProgress::setStatusText(const std::string& text) {
    label_ = text;
    draw(state());
}

void TerminalProgress::setBatchPosition(size_t done, size_t total, double secondsLeft) {
    batch_ = batchPositionText(done, total, secondsLeft);
    draw(state());
}

void TerminalProgress::clear() {
    if (!enabled_ || !drawn_)
        return;
    std::fprintf(stream_, "\r\033[K");
    std::fflush(stream_);
    drawn_ = false;
}

void TerminalProgress::draw(const ProgressState& bar) {
    if (!enabled_)
        return;
    constexpr int kWidth = 30;
    const int span = std::max(1, bar.high - bar.low);
    const int filled = std::clamp((bar.pos - bar.low) * kWidth / span, 0, kWidth);
    std::string cells(static_cast<size_t>(filled), '#');
    cells.append(static_cast<size_t>(kWidth - filled), '.');
    std::string label = label_.size() > 60 ? label_.substr(0, 57) + "..." : label_;
    if (!batch_.empty())
        label = batch_ + (label.empty() ? "" : "  ") + label;
    std::fprintf(stream_, "\r\033[K[%s] %s", cells.c_str(), label.c_str());
    std::fflush(stream_);
    drawn_ = true;
}

}  // namespace morvel::cli
