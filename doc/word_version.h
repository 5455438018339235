#pragma once

#include <cstdint>
#include <span>

namespace morvel {

// Version codes of a Word binary document: 8 Word 97-2003, 6 or 7 Word 6.0/95, 0 or 1 older
// Word, -1 unknown.
inline constexpr int kWordVersion97 = 8;

// The version code given by the FIB's nFib, chs (FIB offset 20) and the high byte of
// nProduct (FIB offset 5). The last two only tell Word 6.0 from Word 95.
int versionFromNFib(uint16_t nFib, uint16_t chs, uint8_t productHigh);

// The version code of the FIB at the start of `fib` (fewer than 32 bytes give -1).
int versionFromFib(std::span<const uint8_t> fib);

}  // namespace morvel
