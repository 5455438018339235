#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace morvel {

// The plausibility checks that decide where a compound file's sectors lie once its line ends
// are restored: what the header says, and what each kind of sector must look like.

// What the header says about the layout.
struct CfbHeaderFacts {
    size_t sectorSize = 512;
    uint32_t sectorCount = 0;  // sectors after the header
    uint32_t csectFat = 0, dirStart = 0, miniFatStart = 0, csectMiniFat = 0;
    uint32_t difStart = 0, csectDif = 0;
    std::vector<uint32_t> headerFat;  // the FAT sectors the header lists
};

// The sector size a header's shift field gives (512 or 4096), 0 for any other value.
size_t cfbSectorSizeOf(std::span<const uint8_t> header);

// The header's fields, when every one is plausible for a file of `sectorCount` sectors of
// `sectorSize` bytes.
std::optional<CfbHeaderFacts> readCfbHeader(std::span<const uint8_t> header, size_t sectorSize,
                                            uint32_t sectorCount);

// What a sector holds, by the layout.
enum class SectorRole { Fat, Difat, MiniFat, Directory, WordStreamStart };

// What the checks know of the layout besides one sector's bytes.
struct SectorContext {
    uint32_t sectorCount = 0;
    uint32_t fatIndex = 0;                   // for a FAT sector: its place in the FAT
    std::span<const uint32_t> fatSectors;    // sorted
    std::span<const uint32_t> difatSectors;  // sorted
};

// -1 when the bytes cannot be a sector of this role; otherwise a score, higher for a more
// telling fit (for a FAT sector: the entries that link to the next sector, which a sector
// shifted by whole entries no longer has).
int sectorFit(SectorRole role, std::span<const uint8_t> sector, const SectorContext& context);

}  // namespace morvel
