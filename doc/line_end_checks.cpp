#include "doc/line_end_checks.h"

#include <algorithm>
#include <cstring>

#include "platform/cfb_constants.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

// The header's own fields lie in its first 512 bytes; in a version 4 file the rest is zeros.
constexpr size_t kHeaderFieldBytes = 512;
constexpr size_t kHeaderReservedFrom = 34, kHeaderReservedTo = 40;
// Directory links and mini sector numbers beyond these cannot occur in a document this
// program reads.
constexpr uint32_t kMaxDirectoryLink = 1u << 20;
constexpr uint32_t kMaxMiniSector = 1u << 24;
constexpr uint16_t kMaxNameBytes = 64;
// The first bytes of a Word 97 FIB and of a Word 6/95 one.
constexpr uint16_t kFibIdentWord97 = 0xA5EC;
constexpr uint16_t kFibIdentWord6 = 0xA5DC;

constexpr uint32_t kFree = static_cast<uint32_t>(kCfbFreeSect);
constexpr uint32_t kEnd = static_cast<uint32_t>(kCfbEndOfChain);
constexpr uint32_t kFatMark = static_cast<uint32_t>(kCfbFatSect);
constexpr uint32_t kDifMark = static_cast<uint32_t>(kCfbDifSect);

using Bytes = std::span<const uint8_t>;

bool plausibleSectorValue(uint32_t v, uint32_t count) {
    return v < count || v == kFree || v == kEnd || v == kFatMark || v == kDifMark;
}

bool listed(std::span<const uint32_t> sorted, uint64_t s) {
    return std::binary_search(sorted.begin(), sorted.end(), s);
}

// Every value a sector number or a marker; the FAT's and DIFAT's own sectors marked as such
// and sectors past the file's end free. Scores the entries that link to the next sector.
int fatFit(Bytes s, const SectorContext& c) {
    int linked = 0;
    const uint64_t first = uint64_t{c.fatIndex} * (s.size() / 4);
    for (size_t i = 0; i + 4 <= s.size(); i += 4) {
        const uint32_t v = readU32LE(s, i);
        const uint64_t sector = first + i / 4;
        if (!plausibleSectorValue(v, c.sectorCount))
            return -1;
        if (listed(c.fatSectors, sector) && v != kFatMark)
            return -1;
        if (listed(c.difatSectors, sector) && v != kDifMark)
            return -1;
        if (sector >= c.sectorCount && v != kFree)
            return -1;
        linked += v == sector + 1;
    }
    return linked;
}

int difatFit(Bytes s, const SectorContext& c) {
    const size_t last = s.size() - 4;
    for (size_t i = 0; i < last; i += 4) {
        const uint32_t v = readU32LE(s, i);
        if (v >= c.sectorCount && v != kFree)
            return -1;
    }
    const uint32_t next = readU32LE(s, last);
    return next < c.sectorCount || next == kEnd || next == kFree ? 0 : -1;
}

int miniFatFit(Bytes s) {
    for (size_t i = 0; i + 4 <= s.size(); i += 4) {
        const uint32_t v = readU32LE(s, i);
        if (v >= kMaxMiniSector && v != kFree && v != kEnd)
            return -1;
    }
    return 0;
}

bool plausibleEntry(Bytes entry, uint32_t count) {
    const uint16_t nameLength = readU16LE(entry, kCfbEntryNameLength);
    const uint8_t type = entry[kCfbEntryType];
    if (nameLength > kMaxNameBytes || nameLength % 2 != 0 || entry[kCfbEntryColor] > 1)
        return false;
    if (type != 0 && type != kCfbTypeStorage && type != kCfbTypeStream && type != kCfbTypeRoot)
        return false;
    if (nameLength > 0 &&
        (readU16LE(entry, nameLength - 2) != 0 || (nameLength > 2 && readU16LE(entry, 0) == 0)))
        return false;
    for (int link : {kCfbEntryLeft, kCfbEntryRight, kCfbEntryChild}) {
        const uint32_t v = readU32LE(entry, link);
        if (v != kFree && v >= kMaxDirectoryLink)
            return false;
    }
    // A short stream starts in the mini stream, whose sectors are numbered apart.
    const uint32_t start = readU32LE(entry, kCfbEntryStart);
    const bool mini = type == kCfbTypeStream &&
                      readU32LE(entry, kCfbEntrySize) < static_cast<uint32_t>(kCfbMiniStreamCutoff);
    return type == 0 || plausibleSectorValue(start, mini ? kMaxMiniSector : count);
}

int directoryFit(Bytes s, uint32_t count) {
    for (size_t e = 0; e + kCfbDirEntrySize <= s.size(); e += kCfbDirEntrySize)
        if (!plausibleEntry(s.subspan(e, kCfbDirEntrySize), count))
            return -1;
    return 0;
}

}  // namespace

size_t cfbSectorSizeOf(Bytes header) {
    const uint16_t shift = readU16LE(header, kCfbHeaderSectorShift);
    return shift == kCfbShiftVersion3 || shift == kCfbShiftVersion4 ? size_t{1} << shift : 0;
}

std::optional<CfbHeaderFacts> readCfbHeader(Bytes h, size_t sectorSize, uint32_t sectorCount) {
    if (h.size() < kHeaderFieldBytes ||
        std::memcmp(h.data(), kCfbSignature, sizeof kCfbSignature) != 0)
        return std::nullopt;
    const uint16_t major = readU16LE(h, kCfbHeaderMajorVersion);
    if (readU16LE(h, kCfbHeaderByteOrder) != kCfbByteOrderMark ||
        cfbSectorSizeOf(h) != sectorSize || (major != 3 && major != 4) ||
        readU16LE(h, kCfbHeaderMiniSectorShift) != kCfbMiniSectorShift ||
        readU32LE(h, kCfbHeaderMiniStreamCutoff) != static_cast<uint32_t>(kCfbMiniStreamCutoff))
        return std::nullopt;
    for (size_t i = kHeaderReservedFrom; i < kHeaderReservedTo; ++i)
        if (h[i] != 0)
            return std::nullopt;
    CfbHeaderFacts r;
    r.sectorSize = sectorSize;
    r.sectorCount = sectorCount;
    r.csectFat = readU32LE(h, kCfbHeaderCsectFat);
    r.dirStart = readU32LE(h, kCfbHeaderDirStart);
    r.miniFatStart = readU32LE(h, kCfbHeaderMiniFatStart);
    r.csectMiniFat = readU32LE(h, kCfbHeaderCsectMiniFat);
    r.difStart = readU32LE(h, kCfbHeaderDifStart);
    r.csectDif = readU32LE(h, kCfbHeaderCsectDif);
    if (r.csectFat == 0 || r.csectFat > sectorCount || r.dirStart >= sectorCount ||
        r.csectMiniFat > sectorCount || r.csectDif > sectorCount ||
        !(r.miniFatStart < sectorCount || r.miniFatStart == kEnd) ||
        !(r.difStart < sectorCount || r.difStart == kEnd || r.difStart == kFree))
        return std::nullopt;
    for (uint32_t i = 0; i < static_cast<uint32_t>(kCfbHeaderDifatEntries); ++i) {
        const uint32_t v = readU32LE(h, kCfbHeaderDifat + 4 * i);
        if (i < r.csectFat) {
            if (v >= sectorCount)
                return std::nullopt;
            r.headerFat.push_back(v);
        } else if (v != kFree) {
            return std::nullopt;
        }
    }
    return r;
}

int sectorFit(SectorRole role, Bytes s, const SectorContext& c) {
    switch (role) {
        case SectorRole::Fat:
            return fatFit(s, c);
        case SectorRole::Difat:
            return difatFit(s, c);
        case SectorRole::MiniFat:
            return miniFatFit(s);
        case SectorRole::Directory:
            return directoryFit(s, c.sectorCount);
        case SectorRole::WordStreamStart: {
            const uint16_t ident = readU16LE(s, 0);
            return ident == kFibIdentWord97 || ident == kFibIdentWord6 ? 0 : -1;
        }
    }
    return -1;
}

}  // namespace morvel
