#include "docx/zip_save_and_store_runs.h"

#include "docx/deflate_bit_writer.h"
#include "docx/deflate_format.h"

#include <array>
#include <cstring>

namespace morvel {

namespace {

// Runs are looked for in windows of this size: one that lies wholly inside a run finds it.
constexpr uint32_t kWindow = kLongRunLength / 2;
constexpr uint32_t kLongestMatch = deflate::kMaxMatch;
constexpr uint32_t kShortestMatch = deflate::kMinMatch;

using deflate::Bits;
using deflate::BitWriter;
using deflate::huffman;
using deflate::kLengthBase;
using deflate::kLengthExtra;

// The fixed literal/length code of a symbol.
Bits fixedSymbol(uint32_t symbol) {
    if (symbol < 144)
        return huffman(0x30 + symbol, 8);
    if (symbol < 256)
        return huffman(0x190 + symbol - 144, 9);
    if (symbol < 280)
        return huffman(symbol - 256, 7);
    return huffman(0xC0 + symbol - 280, 8);
}

// A match of length (3..258) at distance 1, the byte before it repeated: length code, its
// extra bits, and distance code 0 (5 bits, no extra).
Bits repeat(uint32_t length) {
    uint32_t code = 0;
    while (code + 1 < kLengthBase.size() && kLengthBase[code + 1] <= length)
        ++code;
    Bits b = fixedSymbol(257 + code);
    b.value |= (length - kLengthBase[code]) << b.count;
    b.count += kLengthExtra[code] + 5;
    return b;
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
    w.put({0, 1});  // not the final block
    w.put({1, 2});  // fixed codes
    w.put(fixedSymbol(byte));
    uint64_t left = length - 1;
    const Bits longest = repeat(kLongestMatch);
    for (; left >= kLongestMatch + kShortestMatch || left == kLongestMatch; left -= kLongestMatch)
        w.put(longest);
    // What is left (under 261 bytes) as one or two matches, or as literals when too short.
    if (left > kLongestMatch) {
        w.put(repeat(static_cast<uint32_t>(left) - kShortestMatch));
        left = kShortestMatch;
    }
    if (left >= kShortestMatch)
        w.put(repeat(static_cast<uint32_t>(left)));
    else
        for (; left != 0; --left)
            w.put(fixedSymbol(byte));
    w.put(fixedSymbol(256));  // end of block
    // An empty stored block brings the stream back to a byte boundary.
    w.put({0, 3});
    w.alignToByte();
    w.put({0x0000, 16});
    w.put({0xFFFF, 16});
}

}  // namespace morvel
