#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace morvel {

// Byte values of a line end.
inline constexpr uint8_t kCarriageReturn = 0x0D;
inline constexpr uint8_t kLineFeed = 0x0A;

// How a transfer in text mode changed a binary file's line ends.
enum class LineEndConversion {
    None,
    LfToCrLf,  // every LF (or every LF not already after a CR) became CR LF
    CrLfToLf,  // every CR LF became LF
};

// The line-end bytes of a buffer, counted in one pass.
struct LineEndCounts {
    size_t crLfPairs = 0;  // LF bytes right after a CR
    size_t loneLfs = 0;    // LF bytes not after a CR
};
LineEndCounts countLineEnds(std::span<const uint8_t> bytes);

// Which conversion the counts allow: LF to CR LF leaves no LF without its CR, CR LF to LF
// leaves no CR LF pair. A buffer without LF bytes allows neither.
LineEndConversion possibleConversion(const LineEndCounts& counts);

// The same answer as possibleConversion(countLineEnds(bytes)), found without counting: the
// scan jumps from LF to LF and stops at the first buffer position that rules both
// conversions out, which in a compressed or binary file comes within its first few blocks.
// Every document is checked, so this is the check on the path of each one.
LineEndConversion possibleConversionOf(std::span<const uint8_t> bytes);

// The bytes with the CR before every LF removed.
std::vector<uint8_t> dropCrBeforeLf(std::span<const uint8_t> bytes);

// Positions of the LF bytes in [from, to) of the buffer.
std::vector<size_t> lineFeedsIn(std::span<const uint8_t> bytes, size_t from, size_t to);

// The bytes with a CR put back before the LF at each of the sorted positions.
std::vector<uint8_t> insertCrBefore(std::span<const uint8_t> bytes,
                                    std::span<const size_t> positions);

// What undoing a conversion came to: the restored bytes and how sure the result is.
struct LineEndRepair {
    LineEndConversion conversion = LineEndConversion::None;
    bool exact = false;  // every check of the container held on the restored bytes
    size_t crsRemoved = 0, crsInserted = 0;
    std::vector<uint8_t> bytes;

    bool undone() const { return conversion != LineEndConversion::None; }
    // One line for reports: "line-end conversion undone (LF to CR LF, 12 CR bytes removed)".
    std::string describe() const;
};

}  // namespace morvel
