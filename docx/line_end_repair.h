#pragma once

#include <cstdint>
#include <span>

#include "platform/line_ends.h"

namespace morvel {

// Undoes a text-mode transfer's line-end conversion of a ZIP package. The central directory
// keeps the original offsets, sizes and CRC-32 of every entry: each entry's local record is
// found where the shifted offsets put it, and its compressed bytes get back exactly the CRs
// that make them inflate to the recorded size and CRC (a search guided by where inflation
// fails, bounded per entry). The package is rebuilt from the restored records, the central
// directory and the end record. The result's conversion is None when the package does not
// look converted (an intact package is never touched) or no entry could be restored.
LineEndRepair undoPackageLineEnds(std::span<const uint8_t> file);

}  // namespace morvel
