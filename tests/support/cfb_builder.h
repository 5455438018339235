#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/compound_file_writer.h"

namespace morvel::test {

// One stream of a fixture: a path of storages and the stream name ("ObjectPool/_1/Data"),
// and its bytes.
struct CfbStream {
    std::string path;
    std::vector<uint8_t> bytes;
};

// A compound file holding the streams (storages made from the paths), written by our writer.
std::vector<uint8_t> buildCompoundFile(const std::vector<CfbStream>& streams,
                                       const ClassId& rootClass = kWordDocumentClassId);

// A compound file laid out again with `sectorSize`-byte sectors (512: version 3, 4096:
// version 4, the kind Word writes for large documents, with the header alone in the first
// sector and 32 directory entries per sector), and `extraEntries` (whole 128-byte entries)
// appended to its directory. Every stream keeps its bytes and every entry its links; the
// mini stream and the mini FAT are copied as they are (mini sectors stay 64 bytes, the cutoff
// 4096). A version 3 file from buildCompoundFile is expected (its DIFAT only in the header);
// the result has a DIFAT chain when it needs more than 109 FAT sectors.
std::vector<uint8_t> relayCompoundFile(const std::vector<uint8_t>& version3, size_t sectorSize,
                                       const std::vector<uint8_t>& extraEntries = {});
// The same file as a version 4 file.
std::vector<uint8_t> toVersion4(const std::vector<uint8_t>& version3);

// Deterministic filler: `n` bytes that differ from stream to stream (by seed) and hold no
// compound-file markers.
std::vector<uint8_t> fillerBytes(size_t n, uint32_t seed);

// Fields of a well-formed header, for tests that damage what they point to.
struct CfbLayout {
    uint32_t csectFat = 0, dirStart = 0, miniFatStart = 0;
    std::vector<uint32_t> fatSectors;  // from the header DIFAT
};
CfbLayout layoutOf(const std::vector<uint8_t>& file);
// Byte position of sector s in a file whose header is at position 0.
inline size_t sectorPos(uint32_t s) {
    return (size_t{s} + 1) * 512;
}

}  // namespace morvel::test
