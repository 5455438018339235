#pragma once

#include <cstdint>
#include <optional>

namespace morvel {

// zlib's inflate() run with Z_BLOCK stops at the end of each block and reports in data_type
// the bits of the last byte it took that it has not used, plus 64 while the block being
// decoded is the stream's last, plus 128 when it stopped between two blocks.
inline constexpr int kZlibUnusedBitsMask = 7;
inline constexpr int kZlibLastBlockFlag = 64;
inline constexpr int kZlibBetweenBlocksFlag = 128;

// The bit of the input where the next block's header starts, when inflate() stopped between
// two blocks and the one it finished was not the last; bytesTaken is what it has taken from
// the input so far.
inline std::optional<uint64_t> nextBlockBit(int dataType, uint64_t bytesTaken) {
    if ((dataType & kZlibBetweenBlocksFlag) == 0 || (dataType & kZlibLastBlockFlag) != 0)
        return std::nullopt;
    return bytesTaken * 8 - static_cast<uint64_t>(dataType & kZlibUnusedBitsMask);
}

}  // namespace morvel
