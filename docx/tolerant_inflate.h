#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// What a tolerant decode of a raw deflate stream gave back.
struct TolerantResult {
    std::vector<uint8_t> bytes;  // decoded bytes in order; bytes that could not be known left out
    bool complete = false;       // the final block ended cleanly and no damage was met
    uint32_t damageEvents = 0;   // places where the data stopped making sense
    uint64_t bitsSkipped = 0;    // compressed bits passed over to get back in step
};

// Inflates a raw deflate stream that may be damaged. On clean input the bytes equal zlib's.
// Where the data stops making sense, the decoder keeps the block's code tables and looks a
// bounded distance ahead for a bit position from which decoding makes sense again (else for
// the next valid block header) and goes on from there; bytes copied from history it no longer
// knows are left out. textContent adds plausibility checks for text and XML (valid UTF-8, no
// control bytes, XML markup that could be well-formed). Output never exceeds outputCap bytes,
// and the work is linear in the input.
TolerantResult inflateTolerant(ByteSpan compressed, uint64_t outputCap, bool textContent);

}  // namespace morvel
