#pragma once

#include <cstdint>

namespace morvel {

// Geometry of the compound files read here (all lengths in bytes).
inline constexpr int32_t kCfbSectorSize = 512;
inline constexpr int32_t kCfbMiniSectorSize = 64;
inline constexpr int32_t kCfbMiniStreamCutoff = 4096;  // shorter streams live in mini sectors
inline constexpr int32_t kCfbDirEntrySize = 128;
inline constexpr int32_t kCfbFatEntriesPerSector = 128;
inline constexpr int32_t kCfbHeaderDifatEntries = 109;
inline constexpr int32_t kCfbDifatEntriesPerSector = 127;  // the last 4 bytes link the next one
inline constexpr int32_t kCfbDifatLimit = 13952;  // below this sector count the DIFAT is unused
inline constexpr int32_t kCfbSmallestFile = 900;  // shorter files are refused

// Sector chain markers.
inline constexpr int32_t kCfbFreeSect = -1;
inline constexpr int32_t kCfbEndOfChain = -2;
inline constexpr int32_t kCfbFatSect = -3;
inline constexpr int32_t kCfbDifSect = -4;

// Header fields.
inline constexpr int32_t kCfbHeaderCsectFat = 44;
inline constexpr int32_t kCfbHeaderDirStart = 48;
inline constexpr int32_t kCfbHeaderMiniFatStart = 60;
inline constexpr int32_t kCfbHeaderDifStart = 68;
inline constexpr int32_t kCfbHeaderCsectDif = 72;
inline constexpr int32_t kCfbHeaderDifat = 76;

// Directory entry fields.
inline constexpr int32_t kCfbEntryNameLength = 64;
inline constexpr int32_t kCfbEntryType = 66;
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
