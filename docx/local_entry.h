#pragma once

#include <cstdint>

#include "platform/byte_span.h"

namespace morvel {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr uint32_t kDescriptorSignature = 0x08074B50;
inline constexpr uint32_t kLocalHeaderSize = 30;
inline constexpr uint16_t kMethodDeflate = 8;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kMethodStored = 0;

// Which of the archive's two maps described an accepted entry: its local header, its
// central directory record, or both agreeing on it.
enum class EntrySource : uint8_t { Local, Central, Both };

// One local file entry accepted by the salvage scan. The fields from signature to
// extraLength are the 30-byte local header the writer puts out for the entry: as stored,
// except that sizes, CRC and flags are the true ones found by the check (a data descriptor
// or ZIP64 field resolved, flag bit 3 cleared, stored sizes made equal) and an entry found
// only through its central record carries that record's values. The spans point into the
// archive buffer of the extractor that found the entry.
struct LocalEntry {
    uint32_t offset = 0;
    const uint8_t* header = nullptr;
    uint32_t recordLength = 0;
    uint8_t valid = 0;
    uint32_t signature = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0;
    uint16_t modDate = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
    ByteSpan name;
    ByteSpan extra;
    ByteSpan data;
    uint32_t nameOffset = 0;
    uint32_t extraOffset = 0;
    uint32_t dataOffset = 0;
    uint32_t descriptorCrc32 = 0;
    uint32_t descriptorCompressedSize = 0;
    uint32_t descriptorUncompressedSize = 0;
    EntrySource source = EntrySource::Local;
};

}  // namespace morvel
