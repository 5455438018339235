#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// What could be decoded of a raw deflate stream that may be damaged.
struct SalvagedStream {
    std::vector<uint8_t> bytes;  // every byte decoded, in order; unknown bytes left out
    bool complete = false;       // the stream ended cleanly with no damage met
    uint32_t gaps = 0;           // damaged regions passed over by resynchronising
};

// Inflates a raw deflate stream as far as it is valid, then looks for the next place a
// valid block starts and decodes on from there. Output never exceeds outputCap bytes.
SalvagedStream inflateDamaged(ByteSpan compressed, uint64_t outputCap);

}  // namespace morvel
