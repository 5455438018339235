#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// What a damaged entry should decode to, as its ZIP record says.
struct FlipRepairTarget {
    uint32_t crc = 0;
    uint64_t size = 0;
    bool sizeKnown = false;  // the size can be believed; else only the CRC decides
    bool markup = false;     // the content is XML, so the decoded text can be judged
    bool mayBeCut = false;   // the data runs to the end of the file, which may have cut it off
};

// One compressed byte put back.
struct FlipCorrection {
    uint64_t offset = 0;  // in the compressed data
    uint8_t was = 0;
    uint8_t now = 0;
};

struct FlipRepairResult {
    bool exact = false;     // the corrected stream decodes whole to the CRC and size of the record
    bool complete = false;  // the corrected stream decodes to its end, if not to the CRC
    std::vector<uint8_t> bytes;  // what the corrected stream decodes to, as far as it goes
    std::vector<FlipCorrection> corrections;  // in the order they were found
    std::vector<uint8_t> corrected;           // not exact but corrected: the amended data
    bool outOfWork = false;                   // the work budget ran out during the search
};

// Looks for bytes of a raw deflate stream that were replaced by others and puts them back:
// decoding runs strictly until the data breaks or (for markup) the text stops being
// plausible; each byte shortly before that point is tried with every other value, and the
// value that lets decoding run on furthest is kept, from a saved state so that each trial
// costs little. Repeated for each damage met; exact when the result matches the record's
// CRC-32 (and size). `work` is the budget in decoded bytes and symbols, lowered by what was
// spent; a search that exhausts it stops with what it has. `reference` is text of the same
// content (a tolerant reading of the stream) that candidates for markup are compared with.
// The repair budget of one archive: the search's cost grows with the compressed bytes of
// the damaged entries it searches, so the budget does too, from a small floor; it never
// exceeds a ceiling that lets a large package's few damaged entries through with a share per
// byte of the archive.
inline constexpr uint64_t kRepairWorkFloor = uint64_t{1} << 20;
inline constexpr uint64_t kRepairWorkPerDamagedByte = uint64_t{1} << 18;
inline constexpr uint64_t kRepairWorkCeiling = uint64_t{1} << 28;
inline constexpr uint64_t kRepairWorkPerByte = 64;
inline uint64_t flipRepairBudget(uint64_t damagedCompressedBytes, uint64_t archiveBytes) {
    const uint64_t cap = kRepairWorkCeiling + kRepairWorkPerByte * archiveBytes;
    if (damagedCompressedBytes > (cap - kRepairWorkFloor) / kRepairWorkPerDamagedByte)
        return cap;
    return kRepairWorkFloor + kRepairWorkPerDamagedByte * damagedCompressedBytes;
}

FlipRepairResult repairFlippedBytes(ByteSpan compressed, const FlipRepairTarget& target,
                                    uint64_t outputCap, uint64_t& work,
                                    ByteSpan reference = ByteSpan());

}  // namespace morvel

namespace morvel {

// The best reading of a damaged entry's raw deflate stream: exact when flipped bytes could be
// put back so that it decodes to the record's CRC; otherwise the longer of today's tolerant
// reading of the stream as found and the reading with the corrections found so far (markup
// only: a correction of binary content is believed only when the CRC confirms it). A stream
// that may be cut and decodes cleanly until its data runs out is only cut: its clean decoding
// is the reading, and no work is spent looking for changed bytes.
struct RepairedStream {
    std::vector<uint8_t> bytes;
    bool exact = false;
    bool cut = false;        // the clean decoding of a stream whose data was cut off
    size_t corrections = 0;  // bytes put back in the reading kept
};
RepairedStream inflateWithRepair(ByteSpan compressed, const FlipRepairTarget& target,
                                 uint64_t outputCap, uint64_t& work);

}  // namespace morvel
