#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "doc/doc_context.h"
#include "doc/doc_findings.h"
#include "doc/file_image.h"
#include "platform/cfb_constants.h"

namespace morvel {

// The sector view of a compound file: the FAT, the mini FAT and the chains of the mini stream
// and the directory, built from the header or, when the header was unusable, from the values
// the salvage rebuilt. Every chain it follows ends within sectorLimit steps.
class CCompoundFile {
  public:
    // Builds the view; sets ctx.statusCode to kStatusSalvageFailed when the rebuilt FAT
    // sectors cannot cover the file.
    CCompoundFile(const CFileImage& image, DocContext& ctx);

    // Sector numbers below sectorLimit whose FAT value is neither such a number nor a marker.
    int CountInvalidFatValues() const;
    // Replaces each such value by the next sector (the end of the chain for the last one), as
    // for a lost FAT sector; returns how many were replaced.
    int RepairInvalidFatValues();

    // FAT value of a sector; -1 (free) for numbers outside the table.
    int32_t nextSector(int64_t s) const;
    // Mini FAT value of a mini sector; -1 outside the table.
    int32_t nextMiniSector(int64_t s) const;
    // Image position of a logical offset.
    int64_t physical(int64_t logical) const { return logical - bias; }
    int32_t readI32(int64_t pos) const;

    const CFileImage& image;
    CfbGeometry cfb;  // the image's
    std::span<const uint8_t> bytes;
    int64_t size = 0;
    int64_t bias = 0;  // logical minus image position
    int32_t lastSector = -1;
    int32_t sectorLimit = 0;
    int32_t csectFat = 0, dirStart = 0, miniFatStart = 0, difStart = 0, csectDif = 0;
    std::vector<int32_t> fatSectorList;
    std::vector<int32_t> difatSectorList;
    std::vector<int32_t> fat;
    std::vector<int32_t> miniFat;
    int32_t miniSectorCount = 0;
    int32_t rootStart = kCfbNone;
    uint32_t rootSize = 0;
    std::vector<int32_t> miniStreamChain;
    std::vector<int32_t> directoryChain;
    int32_t directoryEntryCount = 0;
    DocFindings findings;  // what building the view found

    static constexpr int32_t kCfbNone = -2;

  private:
    void readHeaderFatSectorList();
    void readFat(bool checkValues);
    bool fatSectorLost(int64_t at) const;
    std::vector<int32_t> followChain(int64_t start) const;
};

}  // namespace morvel
