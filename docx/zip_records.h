#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/byte_span.h"

namespace morvel {

inline constexpr uint32_t kCentralHeaderSize = 46;
inline constexpr uint32_t kEndRecordSize = 22;
inline constexpr uint32_t kZip64Marker = 0xFFFFFFFF;
inline constexpr uint16_t kZip64ExtraTag = 0x0001;
// Longest entry name the scan takes for a real one; package part names are far shorter.
inline constexpr uint32_t kMaxPlausibleName = 1024;

// One central directory record as stored, with ZIP64 sizes and offset applied.
struct CentralRecord {
    size_t offset = 0;    // of the record's signature
    uint32_t length = 0;  // 46 + name + extra + comment
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0;
    uint16_t modDate = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint64_t localOffset = 0;
    ByteSpan name;
    ByteSpan extra;
};

// Reads the central record at p; false when its fixed part or its name does not fit.
bool readCentralRecord(std::span<const uint8_t> buf, size_t p, CentralRecord& out);

// A name a real entry could have: not empty, not too long, no NUL or other control byte.
bool plausibleName(ByteSpan name);

// Replaces the 32-bit values that hold the ZIP64 marker with those of the extra field's
// ZIP64 block, in the order the format gives them (uncompressed, compressed, offset).
// Values the block does not hold are left as they are.
void applyZip64Extra(ByteSpan extra, uint64_t& uncompressed, uint64_t& compressed,
                     uint64_t* localOffset);

// A data descriptor after an entry's data: CRC and both sizes, in one of four layouts
// (signature or none; 32-bit or 64-bit sizes).
struct DataDescriptor {
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint32_t length = 0;  // bytes the descriptor takes
};

// The layout at d that agrees with the given values, if any.
std::optional<DataDescriptor> matchDescriptor(std::span<const uint8_t> buf, size_t d, uint32_t crc,
                                              uint64_t compressed, uint64_t uncompressed);

}  // namespace morvel
