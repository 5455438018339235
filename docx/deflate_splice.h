#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// A deflate stream and the bytes it is said to inflate to: the original of a part that is
// being rewritten. Unless plainChecked, nothing about it is trusted and the whole spliced
// stream is inflated again to check it. plainChecked says the caller inflated stream itself
// and found plain (its CRC matched): then only the new blocks are checked, since the copied
// ones decode as they did in the original.
struct DeflateOriginal {
    ByteSpan stream;
    ByteSpan plain;
    bool plainChecked = false;
};

// How a splice went. Spliced and Copied appended a stream; the others appended nothing and
// the caller deflates the content itself.
enum class SpliceOutcome : uint8_t {
    Spliced,       // new head deflated, the original's blocks after it copied
    Copied,        // the content is the original's whole: its stream copied as it is
    NoSharedTail,  // the content does not end with enough of the original's bytes
    NoBoundary,    // no block of the original starts far enough past the change
    NotWorthIt,    // the part to deflate anew is most of the content
    Failed,        // deflating the head failed, or the spliced stream did not check out
};

// The spliced stream's content, as a ZIP header needs it.
struct SpliceResult {
    SpliceOutcome outcome = SpliceOutcome::Failed;
    uint32_t crc = 0;
    uint64_t plainLength = 0;
};

// Builds on the end of out a deflate stream of the new content (the segments in order) that
// reuses the original's compressed bytes, where the content ends with the original's own
// bytes from some offset P onwards: the new head up to a block boundary of the original at
// least one window (32 KiB) past P is deflated at headLevel, and the original's blocks from
// that boundary on are copied behind it, bit for bit. The spliced stream is checked to give
// exactly the content (see DeflateOriginal); otherwise, and whenever a splice cannot be made,
// out is left as it was and the outcome says why.
SpliceResult spliceDeflate(const DeflateOriginal& original, const ByteSpan* segments,
                           uint32_t segmentCount, int headLevel, std::vector<uint8_t>& out);

}  // namespace morvel
