#pragma once

#include <cstdint>
#include <span>

#include "platform/line_ends.h"

namespace morvel {

// Undoes a text-mode transfer's line-end conversion of a compound file. The file's own
// structure decides which line ends were there before: the header's fields, the FAT, DIFAT
// and mini FAT values, the directory entries and the Word stream's first bytes must all be
// plausible where the restored layout puts them. The result's conversion is None when the
// file does not look converted (an intact file is never touched) or nothing restores it.
// Linear in the file's size when the file is not converted.
LineEndRepair undoCompoundFileLineEnds(std::span<const uint8_t> file);

}  // namespace morvel
