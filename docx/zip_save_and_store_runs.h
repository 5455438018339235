#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// Shortest run of one repeated byte that a large rewritten part writes as a block of its own
// instead of handing it to zlib, whose matcher goes over every byte of it.
inline constexpr uint32_t kLongRunLength = 16 * 1024;

struct ByteRun {
    uint32_t begin = 0, end = 0;  // offsets in the searched span
    uint8_t byte = 0;
};

// The first run of at least kLongRunLength copies of one byte in data at or after from. Runs
// of twice that length are always found; shorter ones may be passed over.
std::optional<ByteRun> findLongRun(ByteSpan data, uint32_t from);

// Appends a non-final deflate block (fixed codes) that decodes to length copies of byte,
// then an empty stored block, so the stream stays byte-aligned. It refers to nothing before
// itself: the deflater must have been fully flushed just before.
void appendRunBlock(std::vector<uint8_t>& out, uint8_t byte, uint64_t length);

}  // namespace morvel
