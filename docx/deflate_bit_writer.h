#pragma once

#include <cstdint>
#include <vector>

namespace morvel::deflate {

// A run of bits in the order deflate packs them (least significant first).
struct Bits {
    uint32_t value = 0, count = 0;
};

// A Huffman code, which goes out most significant bit first.
inline Bits huffman(uint32_t code, uint32_t length) {
    Bits b{0, length};
    for (uint32_t i = 0; i < length; ++i)
        b.value |= ((code >> i) & 1u) << (length - 1 - i);
    return b;
}

// Appends bits to out as deflate packs them; whole bytes go out as soon as they fill.
class BitWriter {
  public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void put(Bits b) {
        bits_ |= uint64_t{b.value} << filled_;
        filled_ += b.count;
        while (filled_ >= 8) {
            out_.push_back(static_cast<uint8_t>(bits_));
            bits_ >>= 8;
            filled_ -= 8;
        }
    }
    void alignToByte() {
        if (filled_ != 0)
            put({0, 8 - filled_});
    }
    // The bits of the byte not yet full, and how many there are (0..7).
    uint8_t pendingBits() const { return static_cast<uint8_t>(bits_); }
    uint32_t pendingCount() const { return filled_; }

  private:
    std::vector<uint8_t>& out_;
    uint64_t bits_ = 0;
    uint32_t filled_ = 0;
};

// Puts empty non-final blocks that take a writer standing on a byte boundary to bit residue
// (0..7) of a byte, so that a block starting at that bit of a byte can follow them.
void putEmptyBlocksToBit(BitWriter& w, uint32_t residue);

}  // namespace morvel::deflate
