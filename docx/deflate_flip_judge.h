#pragma once

#include <cstddef>
#include <cstdint>

#include "docx/deflate_salvage_meters.h"

namespace morvel {

// Judges decoded markup byte by byte and counts what cannot occur in an XML part: bytes that
// are not UTF-8 text, markup syntax errors, and an '&' that does not start an entity or
// character reference. A judge for binary content finds nothing. Its state is small and
// copyable, so a decoding can be judged again from any point it was saved at.
class FlipJudge {
  public:
    explicit FlipJudge(bool markup = false) : markup_(markup) {}

    bool markup() const { return markup_; }
    uint64_t errors() const {
        return markup_ ? text_.bad() + markupMeter_.errors() + entityErrors_ : 0;
    }
    void feed(const uint8_t* bytes, size_t n) {
        if (!markup_)
            return;
        for (size_t i = 0; i < n; ++i)
            feedOne(bytes[i]);
    }

  private:
    // Longest entity or character reference name Word writes, with margin.
    static constexpr uint8_t kMaxEntityName = 12;

    void feedOne(uint8_t b) {
        text_.feed(b);
        markupMeter_.feed(b);
        if (entity_ != 0) {
            const bool nameChar = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                                  (b >= '0' && b <= '9') || b == '#';
            if (b == ';' && entity_ > 1) {
                entity_ = 0;
            } else if (nameChar && entity_ <= kMaxEntityName) {
                ++entity_;
            } else {
                ++entityErrors_;
                entity_ = 0;
            }
        }
        if (b == '&')
            entity_ = 1;
    }

    bool markup_ = false;
    uint8_t entity_ = 0;  // 1 + characters of a reference read since its '&'; 0 outside one
    uint64_t entityErrors_ = 0;
    TextMeter text_;
    MarkupMeter markupMeter_;
};

}  // namespace morvel
