#pragma once

#include <array>
#include <cstdint>

namespace morvel {

// Counts bytes that cannot occur in UTF-8 text: control characters other than tab, CR and
// LF, and broken UTF-8 sequences. breakRun() forgets a pending sequence where bytes of the
// run are unknown.
class TextMeter {
  public:
    void feed(uint8_t b);
    void breakRun() { pending_ = 0; }
    uint64_t bytes() const { return bytes_; }
    uint64_t bad() const { return bad_; }
    // True when at most one byte in `denominator` was bad (or too few bytes to judge).
    bool plausible(uint64_t minBytes, uint64_t denominator) const {
        return bytes_ < minBytes || bad_ * denominator <= bytes_;
    }
    void reset() { *this = TextMeter(); }

  private:
    uint64_t bytes_ = 0;
    uint64_t bad_ = 0;
    uint8_t pending_ = 0;  // continuation bytes still expected
};

// Counts plain syntax errors in XML markup: a tag broken off by a stray character, an attribute
// without '=' or quotes, an end tag that does not close the open element. Real markup has none;
// text decoded from damage has many. It trusts nothing before the first '<' (lose() starts
// over there, for a stretch whose bytes are not contiguous).
class MarkupMeter {
  public:
    void feed(uint8_t b);
    void lose() {
        state_ = State::Lost;
        depth_ = 0;
        rooted_ = false;
    }
    uint64_t errors() const { return errors_; }
    // Between elements at the document's top level, outside every element, with every byte
    // since the first seen (nothing lost): only white space may follow here.
    bool atTopLevel() const { return rooted_ && state_ == State::Text && depth_ == 0; }
    // Between tags, reading character data; afterEnd() when the last tag closed an element.
    bool inText() const { return state_ == State::Text; }
    bool afterEnd() const { return closed_; }

  private:
    enum class State : uint8_t {
        Lost,
        Text,
        TagOpen,
        StartName,
        InTag,
        AttrName,
        AttrSpace,
        AttrEq,
        AttrValue,
        AfterAttr,
        EmptyClose,
        EndName,
        EndSpace,
        Special
    };
    static constexpr unsigned kMaxDepth = 64;
    void fail();
    void push();
    void pop();

    State state_ = State::Lost;
    uint8_t quote_ = 0;
    uint32_t name_ = 0;  // hash of the tag name being read
    std::array<uint32_t, kMaxDepth> open_{};
    unsigned depth_ = 0;
    uint64_t errors_ = 0;
    bool closed_ = false;  // the last tag was an end tag or an empty element
    bool rooted_ = true;   // no byte was lost or judged wrong, so depth_ counts from the start
};

}  // namespace morvel
