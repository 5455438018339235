#pragma once

#include <cstdint>
#include <span>

namespace morvel {

// Writes the fixed header every FIB this program makes shares: the identification, version
// and language fields, the flags (one "1Table" table stream), fcMin and fcMac, the sizes of
// the 16- and 32-bit field arrays and of the table pair area, the creator fields, and "none"
// in the three old linked bin-table page fields. Counts and table pairs are the caller's.
// `fibBytes` must hold the whole output FIB; writes outside it are ignored.
void writeFibHeader(std::span<uint8_t> fibBytes, uint32_t fcMin, uint32_t fcMac);

}  // namespace morvel
