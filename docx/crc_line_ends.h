#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace morvel {

// Stored (uncompressed) data lost `k` CR bytes, each from before one of its LFs: finds which
// LFs, from the CRC-32 the data must have. CRC-32 is linear, so the checksum of the data with
// CRs put back is the received data's own checksum plus one term per LF chosen; the terms are
// matched in a hash table (one LF at a time for one CR, pairs against single LFs for three).
// `lfs` are the sorted positions of the data's LFs. Nothing when k > 3 or no choice gives
// the CRC.
std::optional<std::vector<size_t>> findLostCrs(std::span<const uint8_t> data,
                                               std::span<const size_t> lfs, size_t k, uint32_t crc);

}  // namespace morvel
