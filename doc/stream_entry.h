#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace morvel {

// One directory entry of a salvaged compound file.
struct CStreamEntry {
    std::string name;                 // 8-bit copy: the low byte of each UTF-16 unit
    std::vector<uint8_t> rawName;     // the UTF-16LE name bytes, without the terminating zero
    std::array<uint8_t, 16> clsid{};  // copied for the root entry only
    int32_t type = 0;
    int32_t leftSibling = -1;
    int32_t rightSibling = -1;
    int32_t child = -1;
    int32_t startSector = -2;
    int32_t size = 0;
    int32_t sectorSize = 512;  // the file's (512 or 4096): its sectors and the FAT; 64: mini
                               // sectors and the mini FAT
    int32_t depth = -1;        // from the tree walk: 0 for children of the root, -1 not reached
    int32_t dirIndex = -1;     // position in the directory; -1 for an entry found by raw search
    int64_t imagePos = -1;     // where the entry lies in the file image
    bool hasChildren = false;  // from the tree walk: a storage with at least one entry below it
    bool nested = false;       // linked below a storage other than the root: part of an object
};

// One step of the directory tree walk: an index into CDocStorage::entries and its depth.
struct WalkStep {
    int32_t entry = 0;
    int32_t depth = 0;
};

}  // namespace morvel
