#pragma once

#include <cstdint>
#include <vector>

#include "docx/deflate_flip_decoder.h"
#include "platform/byte_span.h"

namespace morvel {

// Bytes of output before the end of a cut stream's clean decoding in which the judge of
// markup may find fault and the stream still count as cut: a changed byte that shows only
// there cannot be told from the cut itself, since no data after it could confirm a repair.
inline constexpr uint64_t kCutTailBytes = 512;

// How a strict decoding of a raw deflate stream that may have been cut off went.
enum class CutStreamEnd : uint8_t {
    Cut,      // no error until the data ran out, and (markup) the text sound before the tail
    Ended,    // the last block ended: the stream is whole, if not necessarily right
    Damaged,  // broke before its data ran out, turned implausible or reached the cap
};

struct CutStreamReading {
    CutStreamEnd end = CutStreamEnd::Damaged;
    // Cut: the clean decoding, less what the last step made up from bits past the data.
    // Ended: the whole decoding. Damaged: empty.
    std::vector<uint8_t> bytes;
};

// Whether a strict decoding that broke did so because its data ran out: within one step of the
// data's end, or inside a stored block, which breaks nowhere else.
bool brokeAtDataEnd(const FlipDecoder& dec, uint64_t dataBytes);

// Decodes a stream strictly from its start and tells a stream that merely ends early from one
// that breaks: a cut stream holds no damage to look for, only less data.
// The part of the stream zlib inflates before its data runs out is taken fast up to its last
// block boundary; only the stretch after it, or a stream that ends, breaks or holds a fault of
// the markup early, is decoded strictly from its start.
CutStreamReading decodeCutStream(ByteSpan compressed, bool markup, uint64_t outputCap);

// The same reading decoded strictly from the stream's start all the way.
CutStreamReading decodeCutStreamStrict(ByteSpan compressed, bool markup, uint64_t outputCap);

}  // namespace morvel
