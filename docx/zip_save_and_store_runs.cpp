#include "docx/zip_save_and_store_runs.h"

#include <array>
#include <cstring>

namespace morvel {

namespace {

// Runs are looked for in windows of this size: one that lies wholly inside a run finds it.
constexpr uint32_t kWindow = kLongRunLength / 2;
constexpr uint32_t kLongestMatch = 258;
constexpr uint32_t kShortestMatch = 3;

// Deflate's length codes 257..285: the shortest length of each and its extra bits.
constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                  15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                  67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Writes bits least significant first, as deflate packs them.
class BitWriter {
  public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void put(uint32_t value, uint32_t count) {
        bits_ |= uint64_t{value} << filled_;
        filled_ += count;
        while (filled_ >= 8) {
            out_.push_back(static_cast<uint8_t>(bits_));
            bits_ >>= 8;
            filled_ -= 8;
        }
    }
    // A Huffman code goes out most significant bit first.
    void putCode(uint32_t code, uint32_t length) {
        uint32_t reversed = 0;
        for (uint32_t i = 0; i < length; ++i)
            reversed |= ((code >> i) & 1u) << (length - 1 - i);
        put(reversed, length);
    }
    void alignToByte() {
        if (filled_ != 0)
            put(0, 8 - filled_);
    }

  private:
    std::vector<uint8_t>& out_;
    uint64_t bits_ = 0;
    uint32_t filled_ = 0;
};

// The fixed literal/length code of a symbol.
void putFixedSymbol(BitWriter& w, uint32_t symbol) {
    if (symbol < 144)
        w.putCode(0x30 + symbol, 8);
    else if (symbol < 256)
        w.putCode(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        w.putCode(symbol - 256, 7);
    else
        w.putCode(0xC0 + symbol - 280, 8);
}

// A match of length (3..258) at distance 1: the byte before it, repeated.
void putRepeat(BitWriter& w, uint32_t length) {
    uint32_t code = 0;
    while (code + 1 < kLengthBase.size() && kLengthBase[code + 1] <= length)
        ++code;
    putFixedSymbol(w, 257 + code);
    w.put(length - kLengthBase[code], kLengthExtra[code]);
    w.put(0, 5);  // distance code 0: distance 1
}

// Whether data[at, at + count) holds one byte value throughout.
bool uniform(const uint8_t* at, uint32_t count) {
    return count < 2 || std::memcmp(at, at + 1, count - 1) == 0;
}

}  // namespace

std::optional<ByteRun> findLongRun(ByteSpan data, uint32_t from) {
    if (data.absent())
        return std::nullopt;
    const uint8_t* d = data.data;
    for (uint32_t at = from; at < data.length && data.length - at >= kWindow; at += kWindow) {
        if (!uniform(d + at, kWindow))
            continue;
        ByteRun run{at, at + kWindow, d[at]};
        while (run.begin > from && d[run.begin - 1] == run.byte)
            --run.begin;
        while (data.length - run.end >= kWindow && uniform(d + run.end - 1, kWindow + 1))
            run.end += kWindow;
        while (run.end < data.length && d[run.end] == run.byte)
            ++run.end;
        if (run.end - run.begin >= kLongRunLength)
            return run;
        at = run.end - kWindow;  // the next window starts where this short run ends
    }
    return std::nullopt;
}

void appendRunBlock(std::vector<uint8_t>& out, uint8_t byte, uint64_t length) {
    if (length == 0)
        return;
    BitWriter w(out);
    w.put(0, 1);  // not the final block
    w.put(1, 2);  // fixed codes
    putFixedSymbol(w, byte);
    uint64_t left = length - 1;
    for (; left >= kLongestMatch + kShortestMatch || left == kLongestMatch; left -= kLongestMatch)
        putRepeat(w, kLongestMatch);
    // What is left (under 261 bytes) as one or two matches, or as literals when too short.
    if (left > kLongestMatch) {
        putRepeat(w, left - kShortestMatch);
        left = kShortestMatch;
    }
    if (left >= kShortestMatch)
        putRepeat(w, static_cast<uint32_t>(left));
    else
        for (; left != 0; --left)
            putFixedSymbol(w, byte);
    putFixedSymbol(w, 256);  // end of block
    // An empty stored block brings the stream back to a byte boundary.
    w.put(0, 3);
    w.alignToByte();
    w.put(0x0000, 16);
    w.put(0xFFFF, 16);
}

}  // namespace morvel
