#pragma once

#include <array>
#include <cstdint>

// The constants of the deflate format (RFC 1951) that every decoder and encoder here shares.
namespace morvel::deflate {

inline constexpr uint32_t kWindowSize = 32768;
inline constexpr unsigned kMaxCodeBits = 15;
inline constexpr unsigned kNumLitLen = 288;  // the fixed code's size
inline constexpr unsigned kNumDist = 32;
inline constexpr unsigned kNumCodeLen = 19;
inline constexpr unsigned kMaxLitLenCodes = 286;  // most a dynamic header may name
inline constexpr unsigned kMaxDistCodes = 30;
inline constexpr unsigned kLengthCodes = 29;
inline constexpr unsigned kEndOfBlock = 256;
inline constexpr uint32_t kMinMatch = 3;
inline constexpr uint32_t kMaxMatch = 258;
inline constexpr unsigned kStoredType = 0;
inline constexpr unsigned kFixedType = 1;
inline constexpr unsigned kDynamicType = 2;

// Length codes 257..285: the shortest length of each and its extra bits.
inline constexpr std::array<uint16_t, kLengthCodes> kLengthBase = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::array<uint8_t, kLengthCodes> kLengthExtra = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance codes 0..29: the shortest distance of each and its extra bits.
inline constexpr std::array<uint16_t, kMaxDistCodes> kDistBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::array<uint8_t, kMaxDistCodes> kDistExtra = {
    0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic header lists the code-length code's lengths.
inline constexpr std::array<uint8_t, kNumCodeLen> kCodeLenOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

}  // namespace morvel::deflate
