#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// Raw-deflate decoding and the ZIP CRC-32, as the salvage scan, the entry reader and the
// ZIP writer need them.
class InflateZip {
  public:
    // Inflates input into the whole of out[0, size) (size is the declared uncompressed
    // size); bytes the stream does not reach are set to zero. 0 success (crcOut = CRC-32 of
    // all size bytes), 1 failure, -1 no input; crcOut is left untouched unless 0 is returned.
    int Inflate(ByteSpan input, uint8_t* out, uint32_t size, uint32_t& crcOut);

    // The check value the salvage scan compares with a header's CRC, computed without a
    // buffer of the declared size: the CRC-32 of the inflated bytes zero-padded to
    // declaredSize; for no input, the CRC of the declared zero bytes when there are none.
    // Empty (never a match) when inflation fails, when there is no input for a non-zero
    // size, and when the stream yields more than declaredSize bytes: a damaged entry whose
    // header says CRC 0 must not pass as a zero-filled one.
    std::optional<uint32_t> CheckValue(ByteSpan input, uint32_t declaredSize);

    // Inflates a stream that ends by itself within input, without a declared size: true
    // when the stream ended, with the input bytes it used, the bytes it produced and their
    // CRC-32. Used to find where an entry with deferred sizes ends.
    bool MeasureStream(ByteSpan input, uint32_t& consumed, uint64_t& produced, uint32_t& crc);

    // How a streamed inflate ended: the stream's own end, a decoding error (or input used
    // up before the end), more output than outputCap, or more work than workLimit.
    enum class RunStop : uint8_t { Ended, Broken, Capped, OutOfWork };
    struct StreamRun {
        RunStop stop = RunStop::Broken;
        uint64_t consumed = 0;  // input bytes used
        uint64_t produced = 0;  // output bytes made
        uint32_t crc = 0;       // CRC-32 of the output
    };
    // Inflates input in chunks until one of the stops above; the work is input used plus
    // output made. When keep is given the output is appended to it, else only counted.
    StreamRun Run(ByteSpan input, uint64_t outputCap, uint64_t workLimit,
                  std::vector<uint8_t>* keep);
    // Inflates a stream into out[0, capacity) in one call, much faster than Run: true when
    // the stream ended within input and capacity, with run filled as Run would fill it
    // (stop Ended). False when it did not (broken, cut off or larger): run is then left
    // untouched and Run tells why.
    bool InflateWhole(ByteSpan input, uint8_t* out, size_t capacity, StreamRun& run);

    static uint32_t Crc32(ByteSpan data);
    static uint32_t Crc32Update(ByteSpan data, uint32_t crc);
};

// Largest uncompressed size a deflate stream of compressedSize bytes can produce (deflate
// expands at most about 1032 to 1); a declared size above it cannot be genuine.
inline uint64_t maxInflatedSize(uint32_t compressedSize) {
    return static_cast<uint64_t>(compressedSize) * 1032u + 1024u;
}

}  // namespace morvel
