#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// Elements nested deeper than this are not a document any reader opens; a part that goes
// deeper is treated as broken, which also bounds every stack kept while walking a part.
constexpr uint32_t kMaxMarkupDepth = 1024;

// Attributes of one tag as parallel name and value lists. There are always at least five
// slots; slots beyond the attributes found hold empty names.
struct TagAttributes {
    std::vector<ByteSpan> names;
    std::vector<ByteSpan> values;
};

enum class TagKind : uint8_t { Opening, Closing, SelfClosing };

// Cuts an XML part into tag tokens (spans from '<' to '>' into the part's bytes) without
// building a tree. Text is never a token: it is the gap between two consecutive tokens.
class MarkUpStore {
  public:
    // A UTF-8 byte-order mark before the declaration is accepted; it stays in the gap before
    // the first token.
    void Tokenize(ByteSpan bytes);
    void Clear();

    uint32_t TokenCount() const { return count_; }
    ByteSpan Token(uint32_t index) const {
        if (index >= count_)
            return {};
        const Block& block = blockOf(index);
        const uint32_t slot = index & (kBlockTokens - 1);
        const uint32_t length = block.length[slot];
        return length == kLongToken ? longToken(block.offset[slot])
                                    : ByteSpan(bytes_.data + block.offset[slot], length);
    }
    // True when the walk stopped because elements nested deeper than kMaxMarkupDepth: the
    // tokens before that point are kept, the part counts as broken.
    bool TooDeep() const { return tooDeep_ != 0; }

    // The tag name: bytes after '<' up to the first space, '>' or '/', a leading '/'
    // included (so closing names begin with '/'). Empty for tokens of at most 2 bytes.
    // Measured once by the tokenizer, since both rule walks ask for every token's name.
    ByteSpan GetTagName(uint32_t index) const {
        if (index >= count_)
            return {};
        const Block& block = blockOf(index);
        const uint32_t slot = index & (kBlockTokens - 1);
        const uint32_t nameLength = block.info[slot] >> kNameShift;
        if (block.length[slot] <= 2)
            return {};
        const uint8_t* name = bytes_.data + block.offset[slot] + 1;
        return ByteSpan(name, nameLength == kLongName ? tagNameLength(Token(index)) : nameLength);
    }
    // -1 for an index out of range, else 0 with the attributes in out.
    int ParseAttributes(uint32_t index, TagAttributes& out) const;
    // Found once by the tokenizer; Opening for an index out of range.
    TagKind Kind(uint32_t index) const {
        if (index >= count_)
            return TagKind::Opening;
        return static_cast<TagKind>(blockOf(index).info[index & (kBlockTokens - 1)] & kKindMask);
    }
    // The bytes between the end of token index-1 and the start of token index.
    ByteSpan GapBefore(uint32_t index) const;

  private:
    void append(uint32_t offset, uint32_t length, TagKind kind, uint32_t nameLength);
    ByteSpan longToken(uint32_t offset) const;
    static uint32_t tagNameLength(ByteSpan token);

    // Tokens are kept in fixed blocks, so the list never reallocates and copies while it
    // grows: a start offset, a one-byte length and a one-byte kind and name length each.
    // Lengths of kLongToken and more are found again from the start with the same tag-end
    // rule that cut the token; names of kLongName bytes and more are measured again.
    static constexpr uint32_t kBlockBits = 12;
    static constexpr uint32_t kBlockTokens = 1u << kBlockBits;
    static constexpr uint8_t kLongToken = 0xFF;
    static constexpr uint8_t kKindMask = 0x03;
    static constexpr uint32_t kNameShift = 2;
    static constexpr uint32_t kLongName = 0xFF >> kNameShift;
    struct Block {
        uint32_t offset[kBlockTokens];
        uint8_t length[kBlockTokens];
        uint8_t info[kBlockTokens];
    };
    const Block& blockOf(uint32_t index) const { return *blocks_[index >> kBlockBits]; }
    ByteSpan bytes_;
    uint8_t isUtf8_ = 0;
    uint8_t tooDeep_ = 0;
    uint32_t count_ = 0;
    std::vector<std::unique_ptr<Block>> blocks_;
};

}  // namespace morvel
