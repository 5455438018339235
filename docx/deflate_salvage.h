#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// What could be decoded of a raw deflate stream that may be damaged.
struct SalvagedStream {
    static constexpr uint64_t kNoDamage = UINT64_MAX;

    std::vector<uint8_t> bytes;        // every byte decoded, in order; unknown bytes left out
    bool complete = false;             // the stream ended cleanly with no damage met
    uint32_t gaps = 0;                 // damaged regions passed over by resynchronising
    std::vector<uint64_t> gapOffsets;  // where in `bytes` each gap lies; empty when the
                                       // in-block decoder supplied the bytes
    uint64_t firstDamage = kNoDamage;  // byte offset of the block where damage was first met
    uint64_t unknownBytes = 0;         // bytes left out because they copy history that was lost
    bool searchStopped = false;        // the search for a block start ran out of its work budget
};

// Inflates a raw deflate stream as far as it is valid, then looks for the next place a
// valid block starts and decodes on from there, with the history before that point unknown.
// Output never exceeds outputCap bytes, and the work is linear in the input's size.
SalvagedStream resumeAtBlocks(ByteSpan compressed, uint64_t outputCap);

// The best reading of a damaged stream: resumeAtBlocks, or where the damage lies inside a
// block (most parts are a single block), the tolerant decoder that gets back in step inside
// it, whichever keeps more.
SalvagedStream inflateDamaged(ByteSpan compressed, uint64_t outputCap);

}  // namespace morvel
