#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// Attributes of one tag as parallel name and value lists. There are always at least five
// slots; slots beyond the attributes found hold empty names.
struct TagAttributes {
    std::vector<ByteSpan> names;
    std::vector<ByteSpan> values;
};

enum class TagKind { Opening, Closing, SelfClosing };

// Cuts an XML part into tag tokens (spans from '<' to '>' into the part's bytes) without
// building a tree. Text is never a token: it is the gap between two consecutive tokens.
class MarkUpStore {
  public:
    virtual ~MarkUpStore() = default;

    void Tokenize(ByteSpan bytes);
    void Clear();

    uint32_t TokenCount() const { return static_cast<uint32_t>(tokens_.size()); }
    ByteSpan Token(uint32_t index) const {
        return index < tokens_.size()
                   ? ByteSpan(bytes_.data + tokens_[index].offset, tokens_[index].length)
                   : ByteSpan();
    }
    bool IsUtf8() const { return isUtf8_ != 0; }

    // The tag name: bytes after '<' up to the first space, '>' or '/', a leading '/'
    // included (so closing names begin with '/'). Empty for tokens of at most 2 bytes.
    ByteSpan GetTagName(uint32_t index) const;
    // -1 for an index out of range, else 0 with the attributes in out.
    int ParseAttributes(uint32_t index, TagAttributes& out) const;
    TagKind Kind(uint32_t index) const;
    // The bytes between the end of token index-1 and the start of token index.
    ByteSpan GapBefore(uint32_t index) const;

  private:
    ByteSpan bytes_;
    uint8_t isUtf8_ = 0;
    // Tokens as offset and length into the part: half the size of a span per token.
    struct TokenPos {
        uint32_t offset, length;
    };
    std::vector<TokenPos> tokens_;
};

}  // namespace morvel
