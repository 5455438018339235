#include "doc/compound_file.h"

#include <algorithm>

#include "platform/cfb_constants.h"
#include "platform/le_reader.h"

namespace morvel {

CCompoundFile::CCompoundFile(const CFileImage& img, DocContext& ctx)
    : image(img), cfb(img.cfb), bytes(img.bytes), size(img.size) {
    const bool salvaged = image.salvaged();
    bias = salvaged ? image.shift : -int64_t{image.headerPos};
    const int64_t shift = salvaged ? image.shift : 0;
    lastSector = static_cast<int32_t>(
        std::clamp<int64_t>((size + shift) / cfb.sectorSize() - 1, -1, 0x7FFFFFFE));
    int64_t limit = int64_t{lastSector} + 1;

    if (salvaged) {
        if (!image.fatSectors.empty() &&
            limit >
                (static_cast<int64_t>(image.fatSectors.size()) + 1) * cfb.fatEntriesPerSector()) {
            ctx.statusCode = kStatusSalvageFailed;
            return;
        }
        csectFat = static_cast<int32_t>(image.fatSectors.size());
        dirStart = image.dirStart;
        miniFatStart = image.miniFatStart;
        limit = std::min<int64_t>(limit, int64_t{csectFat} * cfb.fatEntriesPerSector());
        sectorLimit = static_cast<int32_t>(std::max<int64_t>(limit, 0));
        fatSectorList = image.fatSectors;
        readFat(false);
    } else {
        const int64_t h = image.headerPos;
        csectFat = image.readI32(h + kCfbHeaderCsectFat);
        dirStart = image.readI32(h + kCfbHeaderDirStart);
        miniFatStart = image.readI32(h + kCfbHeaderMiniFatStart);
        difStart = image.readI32(h + kCfbHeaderDifStart);
        csectDif = image.readI32(h + kCfbHeaderCsectDif);
        limit =
            std::min<int64_t>(limit, std::max<int64_t>(csectFat, 0) * cfb.fatEntriesPerSector());
        sectorLimit = static_cast<int32_t>(std::max<int64_t>(limit, 0));
        if (sectorLimit < cfb.difatLimit()) {
            difStart = 0;
            csectDif = 0;
        }
        readHeaderFatSectorList();
        readFat(true);
    }

    // The root entry (the first of the directory) holds the mini stream.
    if (dirStart >= 0) {
        const int64_t at = physical(cfb.sectorStart(int64_t{dirStart}));
        rootStart = readI32(at + kCfbEntryStart);
        rootSize = static_cast<uint32_t>(readI32(at + kCfbEntrySize));
    }
    miniSectorCount =
        static_cast<int32_t>((uint64_t{rootSize} + kCfbMiniSectorSize - 1) / kCfbMiniSectorSize);
    miniStreamChain = followChain(rootStart);

    // The mini FAT: one value per mini sector, never more than its own chain holds.
    const std::vector<int32_t> miniFatChain = followChain(miniFatStart);
    const int64_t miniFatLength = std::min<int64_t>(
        miniSectorCount, static_cast<int64_t>(miniFatChain.size()) * cfb.fatEntriesPerSector());
    miniFat.reserve(static_cast<size_t>(miniFatLength));
    for (int64_t i = 0; i < miniFatLength; ++i) {
        const int64_t sector = miniFatChain[i / cfb.fatEntriesPerSector()];
        miniFat.push_back(
            readI32(physical(cfb.sectorStart(sector) + 4 * (i % cfb.fatEntriesPerSector()))));
    }

    directoryChain = followChain(dirStart);
    directoryEntryCount = static_cast<int32_t>(directoryChain.size()) * cfb.dirEntriesPerSector();
}

int32_t CCompoundFile::readI32(int64_t pos) const {
    if (pos < 0)
        return 0;
    return readI32LE(bytes, static_cast<size_t>(pos));
}

// FAT sector numbers: the first 109 from the header, the rest from the DIFAT chain. Only as
// many as the FAT needs to cover sectorLimit are read, and the chain stops when it leaves the
// file or comes back to a sector it has seen.
void CCompoundFile::readHeaderFatSectorList() {
    const int64_t needed =
        (int64_t{sectorLimit} + cfb.fatEntriesPerSector() - 1) / cfb.fatEntriesPerSector();
    const int64_t h = image.headerPos;
    for (int64_t i = 0; i < std::min<int64_t>(needed, kCfbHeaderDifatEntries); ++i)
        fatSectorList.push_back(image.readI32(h + kCfbHeaderDifat + 4 * i));
    int64_t d = difStart;
    while (static_cast<int64_t>(fatSectorList.size()) < needed && d >= 0 && d <= lastSector &&
           std::find(difatSectorList.begin(), difatSectorList.end(), d) == difatSectorList.end()) {
        difatSectorList.push_back(static_cast<int32_t>(d));
        const int64_t at = physical(cfb.sectorStart(d));
        for (int i = 0;
             i < cfb.difatEntriesPerSector() && static_cast<int64_t>(fatSectorList.size()) < needed;
             ++i)
            fatSectorList.push_back(readI32(at + 4 * i));
        d = readI32(at + 4 * cfb.difatEntriesPerSector());
    }
}

void CCompoundFile::readFat(bool checkValues) {
    fat.assign(static_cast<size_t>(sectorLimit), kCfbFreeSect);
    for (size_t i = 0; i < fatSectorList.size(); ++i) {
        const int64_t fs = fatSectorList[i];
        if (fs < 0)
            continue;  // no such FAT sector: its entries stay free
        const int64_t at = physical(cfb.sectorStart(fs));
        const bool lost = fatSectorLost(at);
        if (lost)
            findings.note(FindingGrade::Potential, docfinding::kFatSectorGuessed, fs);
        for (int j = 0; j < cfb.fatEntriesPerSector(); ++j) {
            const int64_t s = static_cast<int64_t>(i) * cfb.fatEntriesPerSector() + j;
            if (s >= sectorLimit)
                return;
            if (lost) {
                // Writers lay streams out mostly in order, so the next sector is the best
                // guess; entry sizes stop the reads where a stream ends.
                fat[static_cast<size_t>(s)] =
                    s + 1 < sectorLimit ? static_cast<int32_t>(s + 1) : kCfbEndOfChain;
                continue;
            }
            int32_t v = readI32(at + 4 * j);
            if (checkValues && (v >= sectorLimit || v < 1) && v != kCfbFreeSect &&
                v != kCfbEndOfChain && v != kCfbFatSect)
                v = kCfbFreeSect;
            // A rebuilt FAT of a truncated file still names the sectors that were cut off:
            // its chains end where the file ends instead of making the FAT invalid. Values
            // beyond what the FAT sectors could describe stay invalid.
            if (!checkValues && v > lastSector &&
                int64_t{v} < (int64_t{csectFat} + 1) * cfb.fatEntriesPerSector())
                v = kCfbEndOfChain;
            fat[static_cast<size_t>(s)] = v;
        }
    }
}

// A FAT sector cut off by truncation, or wiped to zeros (no FAT can point more than one
// sector at sector 0), tells nothing about the chains it covers.
bool CCompoundFile::fatSectorLost(int64_t at) const {
    if (at < 0 || !fits(bytes, static_cast<size_t>(at), static_cast<size_t>(cfb.sectorSize())))
        return true;
    for (int j = 0; j < cfb.fatEntriesPerSector(); ++j)
        if (readI32(at + 4 * j) != 0)
            return false;
    return true;
}

std::vector<int32_t> CCompoundFile::followChain(int64_t start) const {
    std::vector<int32_t> chain;
    std::vector<bool> seen(static_cast<size_t>(sectorLimit), false);
    for (int64_t s = start; s >= 0 && s < sectorLimit && !seen[static_cast<size_t>(s)];
         s = fat[static_cast<size_t>(s)]) {
        seen[static_cast<size_t>(s)] = true;
        chain.push_back(static_cast<int32_t>(s));
    }
    return chain;
}

int32_t CCompoundFile::nextSector(int64_t s) const {
    if (s < 0 || s >= static_cast<int64_t>(fat.size()))
        return kCfbFreeSect;
    return fat[static_cast<size_t>(s)];
}

int32_t CCompoundFile::nextMiniSector(int64_t s) const {
    if (s < 0 || s >= static_cast<int64_t>(miniFat.size()))
        return kCfbFreeSect;
    return miniFat[static_cast<size_t>(s)];
}

namespace {

bool validFatValue(int32_t v, int32_t sectorLimit) {
    return (v >= 0 && v < sectorLimit) || (v >= kCfbDifSect && v <= kCfbFreeSect);
}

}  // namespace

int CCompoundFile::CountInvalidFatValues() const {
    return static_cast<int>(std::count_if(
        fat.begin(), fat.end(), [this](int32_t v) { return !validFatValue(v, sectorLimit); }));
}

int CCompoundFile::RepairInvalidFatValues() {
    int repaired = 0;
    for (size_t s = 0; s < fat.size(); ++s) {
        if (validFatValue(fat[s], sectorLimit))
            continue;
        fat[s] = s + 1 < fat.size() ? static_cast<int32_t>(s + 1) : kCfbEndOfChain;
        findings.note(FindingGrade::Potential, docfinding::kFatValuesRepaired,
                      static_cast<int64_t>(s));
        ++repaired;
    }
    return repaired;
}

}  // namespace morvel
