#pragma once

#include <cstdint>

#include "docx/deflate_salvage_meters.h"
#include "platform/byte_span.h"

namespace morvel {

// What the decoded bytes of a stream are expected to look like. Text (UTF-8 markup) lets a
// damaged stream be judged by its output; binary content is judged by structure alone.
enum class ContentKind : uint8_t { Text, Binary };

enum class BlockKind : uint8_t { None, Stored, Fixed, Dynamic };

struct BlockProbe {
    BlockKind kind = BlockKind::None;  // None: no block can start here
    uint32_t work = 0;                 // symbols and fields examined, for the caller's budget
};

// Checks cheaply whether a deflate block can start at bit bitPos of data, before any real
// decoding is tried there. The header must be well formed (stored: zero padding, LEN/NLEN
// complement, LEN within the data; dynamic: counts in range, complete codes, an end-of-block
// code) and the block's first symbols must decode to valid codes; for text, their literals
// must look like UTF-8 text. Fixed blocks are weak evidence, so they must also run for a
// while before their end code, and they are refused outright for binary content.
BlockProbe probeBlock(ByteSpan data, uint64_t bitPos, ContentKind content);

}  // namespace morvel
