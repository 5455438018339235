#pragma once

#include <cstdint>

namespace morvel {

// The layout of compound files, shared by the salvage that reads them and the writer that
// makes them (all lengths in bytes).

// The eight bytes every compound file starts with.
inline constexpr uint8_t kCfbSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

inline constexpr int32_t kCfbShiftVersion3 = 9;   // 512-byte sectors
inline constexpr int32_t kCfbShiftVersion4 = 12;  // 4096-byte sectors, for large documents
inline constexpr int32_t kCfbMiniSectorShift = 6;
inline constexpr int32_t kCfbMiniSectorSize = 1 << kCfbMiniSectorShift;
inline constexpr int32_t kCfbMiniStreamCutoff = 4096;  // in both versions: shorter streams
                                                       // live in mini sectors
inline constexpr int32_t kCfbDirEntrySize = 128;
inline constexpr int32_t kCfbHeaderDifatEntries = 109;
inline constexpr int32_t kCfbSmallestFile = 900;  // shorter files are refused

// The sector geometry of one compound file. The header takes the whole first sector (in a
// version 4 file its bytes after the first 512 are zeros), so sector n begins at (n + 1)
// sectors. A FAT or DIFAT sector holds one 32-bit value per 4 bytes; a DIFAT sector's last
// value links the next DIFAT sector.
struct CfbGeometry {
    int32_t shift = kCfbShiftVersion3;

    constexpr int32_t sectorSize() const { return int32_t{1} << shift; }
    constexpr int32_t fatEntriesPerSector() const { return sectorSize() / 4; }
    constexpr int32_t difatEntriesPerSector() const { return fatEntriesPerSector() - 1; }
    constexpr int32_t dirEntriesPerSector() const { return sectorSize() / kCfbDirEntrySize; }
    constexpr int32_t miniSectorsPerSector() const { return sectorSize() / kCfbMiniSectorSize; }
    // Below this sector count the header's 109 FAT sectors cover the file: the DIFAT is unused.
    constexpr int64_t difatLimit() const {
        return int64_t{kCfbHeaderDifatEntries} * fatEntriesPerSector();
    }
    // Logical position of sector s (the header at 0); negative numbers give positions before
    // the first sector.
    constexpr int64_t sectorStart(int64_t s) const { return (s + 1) * sectorSize(); }
};

// Sector chain markers.
inline constexpr int32_t kCfbFreeSect = -1;
inline constexpr int32_t kCfbEndOfChain = -2;
inline constexpr int32_t kCfbFatSect = -3;
inline constexpr int32_t kCfbDifSect = -4;
// No directory entry: an empty sibling or child link.
inline constexpr int32_t kCfbNoStream = -1;

// Header fields.
inline constexpr int32_t kCfbHeaderMinorVersion = 24;
inline constexpr int32_t kCfbHeaderMajorVersion = 26;
inline constexpr int32_t kCfbHeaderByteOrder = 28;
inline constexpr int32_t kCfbHeaderSectorShift = 30;
inline constexpr int32_t kCfbHeaderMiniSectorShift = 32;
inline constexpr int32_t kCfbHeaderCsectFat = 44;
inline constexpr int32_t kCfbHeaderDirStart = 48;
inline constexpr int32_t kCfbHeaderMiniStreamCutoff = 56;
inline constexpr int32_t kCfbHeaderMiniFatStart = 60;
inline constexpr int32_t kCfbHeaderCsectMiniFat = 64;
inline constexpr int32_t kCfbHeaderDifStart = 68;
inline constexpr int32_t kCfbHeaderCsectDif = 72;
inline constexpr int32_t kCfbHeaderDifat = 76;

// The byte-order mark of the header: little-endian.
inline constexpr uint16_t kCfbByteOrderMark = 0xFFFE;

// Directory entry fields.
inline constexpr int32_t kCfbEntryNameLength = 64;
inline constexpr int32_t kCfbEntryType = 66;
inline constexpr int32_t kCfbEntryColor = 67;
inline constexpr int32_t kCfbEntryLeft = 68;
inline constexpr int32_t kCfbEntryRight = 72;
inline constexpr int32_t kCfbEntryChild = 76;
inline constexpr int32_t kCfbEntryClsid = 80;
inline constexpr int32_t kCfbEntryStart = 116;
inline constexpr int32_t kCfbEntrySize = 120;

// Directory entry types.
inline constexpr int32_t kCfbTypeStorage = 1;
inline constexpr int32_t kCfbTypeStream = 2;
inline constexpr int32_t kCfbTypeRoot = 5;

}  // namespace morvel
