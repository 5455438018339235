#pragma once

#include <cstddef>
#include <cstdint>

#include "docx/deflate_salvage_meters.h"

namespace morvel {

// Judges decoded markup byte by byte and counts what cannot occur in an XML part: bytes that
// are not UTF-8 text, markup syntax errors, an '&' that does not start an entity or
// character reference, and a declaration or processing instruction ("<?", "<!") that runs on
// far longer than any a part holds. A judge that has seen the part from its first byte also
// counts text outside the root element. A judge for binary content finds nothing. Its state
// is small and copyable, so a decoding can be judged again from any point it was saved at.
class FlipJudge {
  public:
    explicit FlipJudge(bool markup = false, bool fromStart = false)
        : markup_(markup), fromStart_(fromStart) {}

    bool markup() const { return markup_; }
    uint64_t errors() const {
        return markup_ ? text_.bad() + markupMeter_.errors() + entityErrors_ + layoutErrors_ : 0;
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
    // Longest "<?...>" or "<!...>" taken as real: the XML declaration is about 60 bytes.
    static constexpr uint16_t kMaxSpecial = 512;
    // Longest run of ASCII character data without a space taken as real (a long address).
    static constexpr uint16_t kMaxWord = 200;

    static bool isSpace(uint8_t b) { return b == ' ' || b == '\t' || b == '\r' || b == '\n'; }

    void feedOne(uint8_t b) {
        text_.feed(b);
        // Only white space may stand between the declaration, the root element and the end.
        if (fromStart_ && markupMeter_.atTopLevel() && b != '<' && !isSpace(b))
            ++layoutErrors_;
        judgeText(b);
        markupMeter_.feed(b);
        if (special_ != 0) {
            if (b == '>') {
                special_ = 0;
            } else if (++special_ > kMaxSpecial) {
                ++layoutErrors_;
                special_ = 0;
            }
        }
        if (afterLess_ && (b == '?' || b == '!'))
            special_ = 1;
        afterLess_ = b == '<';
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

    // Character data as a word processor writes it: none after an element closes (content is
    // either elements or text, never both), '>' escaped, and words of ASCII text that end.
    void judgeText(uint8_t b) {
        if (!markupMeter_.inText() || b == '<') {
            word_ = 0;
            return;
        }
        if (isSpace(b)) {
            word_ = 0;
            return;
        }
        if (markupMeter_.afterEnd() || b == '>')
            ++layoutErrors_;
        if (b >= 0x80) {
            word_ = 0;  // scripts written without spaces
        } else if (++word_ > kMaxWord) {
            ++layoutErrors_;
            word_ = 0;
        }
    }

    bool markup_ = false;
    uint16_t word_ = 0;       // ASCII bytes of character data since the last space or tag
    bool fromStart_ = false;  // fed from the part's first byte
    bool afterLess_ = false;  // the last byte was '<'
    uint16_t special_ = 0;    // 1 + bytes read inside a "<?" or "<!" section; 0 outside one
    uint8_t entity_ = 0;      // 1 + characters of a reference read since its '&'; 0 outside one
    uint64_t entityErrors_ = 0;
    uint64_t layoutErrors_ = 0;  // text outside the root, endless declarations
    TextMeter text_;
    MarkupMeter markupMeter_;
};

}  // namespace morvel
