#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "docx/inflated_bytes.h"
#include "docx/local_entry.h"
#include "docx/zip_findings.h"

namespace morvel {

// An entry whose data did not check (CRC fails, data cut off, stream broken), kept so that
// what it holds can still be decoded.
struct DamagedEntry {
    LocalEntry entry;              // data clipped to the end of the file
    uint64_t declaredSize = 0;     // uncompressed size its record declares
    uint32_t declaredCrc = 0;      // CRC-32 its record declares
    bool declaredTrusted = false;  // the declared size is one its data could produce
    bool fromCentral = false;      // its extent comes from a central record
};

struct ZipScanResult {
    std::vector<LocalEntry> entries;  // intact, in the order their records lie in the file
    // Per entry, the content the check inflated and kept; empty when none was kept.
    std::vector<InflatedBytes> inflated;
    std::vector<bool> held;             // per entry, whether inflated[i] is its content
    std::vector<DamagedEntry> damaged;  // one per name that has no intact copy
    std::vector<ZipFinding> findings;
    bool inflateBudgetExhausted = false;
};

// Finds the entries of a damaged ZIP archive by two maps: a walk over every record
// signature (local headers checked against their own CRC) and the central directory
// records that survive, each of which can vouch for an entry whose local header is damaged
// or lies. An entry is intact when its CRC holds, whichever record described it.
ZipScanResult scanDamagedZip(std::span<const uint8_t> archive);

}  // namespace morvel
