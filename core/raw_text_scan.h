#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace morvel {

// The raw text of a file image: every printable 7-bit byte in order, each CR, LF or form feed
// as CR LF (a CR LF pair counts once), other bytes and a line-end byte at the very end dropped.
// The result ends with a NUL that is not part of the text.

// Instruction sets the scan can use. Both give the same bytes; the portable one runs anywhere.
enum class RawScanPath { Portable, Ssse3 };

bool rawScanPathAvailable(RawScanPath path);

// Uses the fastest path this processor has.
std::vector<uint8_t> BuildRawText(std::span<const uint8_t> image);
// Uses the given path, which must be available.
std::vector<uint8_t> BuildRawText(std::span<const uint8_t> image, RawScanPath path);

}  // namespace morvel
