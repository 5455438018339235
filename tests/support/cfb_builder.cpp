#include "tests/support/cfb_builder.h"

#include <stdexcept>

#include "platform/le_reader.h"

namespace morvel::test {

namespace {

constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFatMark = 0xFFFFFFFD;
constexpr uint32_t kDifatMark = 0xFFFFFFFC;
constexpr size_t kSmallSector = 512;
constexpr size_t kLargeSector = 4096;
constexpr size_t kEntry = 128;

// The bytes of a sector chain of a version 3 file, cut to `size` when given.
std::vector<uint8_t> chainBytes(const std::vector<uint8_t>& file, const std::vector<uint32_t>& fat,
                                uint32_t start, size_t size = SIZE_MAX) {
    std::vector<uint8_t> out;
    for (uint32_t s = start, steps = 0; s < fat.size() && out.size() < size; s = fat[s]) {
        if (++steps > fat.size())
            throw std::runtime_error("relayCompoundFile: a chain runs in a circle");
        const size_t at = (size_t{s} + 1) * kSmallSector;
        out.insert(out.end(), file.begin() + at, file.begin() + at + kSmallSector);
    }
    if (size != SIZE_MAX)
        out.resize(size);
    return out;
}

}  // namespace

std::vector<uint8_t> buildCompoundFile(const std::vector<CfbStream>& streams,
                                       const ClassId& rootClass) {
    CompoundFileWriter writer;
    writer.root().setClass(rootClass);
    for (const CfbStream& s : streams) {
        CompoundStorage* storage = &writer.root();
        std::string rest = s.path;
        for (size_t slash; (slash = rest.find('/')) != std::string::npos;) {
            storage = &storage->createStorage(std::string_view(rest).substr(0, slash));
            rest.erase(0, slash + 1);
        }
        storage->createStream(std::string_view(rest)).write(s.bytes);
    }
    return writer.serialize();
}

std::vector<uint8_t> relayCompoundFile(const std::vector<uint8_t>& v3, size_t sectorSize,
                                       const std::vector<uint8_t>& extraEntries) {
    if (sectorSize != kSmallSector && sectorSize != kLargeSector)
        throw std::invalid_argument("relayCompoundFile: 512 or 4096-byte sectors");
    const uint32_t perFat = static_cast<uint32_t>(sectorSize / 4);
    const uint32_t perDifat = perFat - 1;
    const CfbLayout in = layoutOf(v3);
    std::vector<uint32_t> fat;
    for (uint32_t fs : in.fatSectors)
        for (size_t j = 0; j < kSmallSector / 4; ++j)
            fat.push_back(readU32LE(v3, (size_t{fs} + 1) * kSmallSector + 4 * j));
    std::vector<uint8_t> dir = chainBytes(v3, fat, in.dirStart);
    const std::vector<uint8_t> miniFat = chainBytes(v3, fat, in.miniFatStart);

    // The new layout, sector by sector: the large streams, the mini stream, the mini FAT and
    // the directory, each in one contiguous run, then the DIFAT and the FAT.
    std::vector<std::vector<uint8_t>> runs;
    std::vector<size_t> runEntry;  // the directory entry whose start a run sets; SIZE_MAX none
    const size_t entries = dir.size() / kEntry;
    for (size_t i = 0; i < entries; ++i) {
        const size_t e = i * kEntry;
        const uint8_t type = dir[e + 66];
        const uint32_t start = readU32LE(dir, e + 116);
        const uint32_t size = readU32LE(dir, e + 120);
        if ((type == 2 && size >= 4096) || (type == 5 && size > 0)) {
            runs.push_back(chainBytes(v3, fat, start, size));
            runEntry.push_back(i);
        }
    }
    runs.push_back(miniFat);
    runEntry.push_back(SIZE_MAX);
    const size_t miniFatRun = runs.size() - 1;
    // Unused entries fill the last directory sector: no name, no links.
    dir.insert(dir.end(), extraEntries.begin(), extraEntries.end());
    while (dir.size() % sectorSize != 0) {
        const size_t e = dir.size();
        dir.resize(e + kEntry, 0);
        writeU32LE(dir, e + 68, kFree);
        writeU32LE(dir, e + 72, kFree);
        writeU32LE(dir, e + 76, kFree);
    }
    auto sectorsOf = [&](size_t bytes) { return (bytes + sectorSize - 1) / sectorSize; };
    std::vector<uint32_t> runStart;
    uint32_t next = 0;
    for (const auto& r : runs) {
        runStart.push_back(r.empty() ? kEnd : next);
        next += static_cast<uint32_t>(sectorsOf(r.size()));
    }
    const uint32_t dirStart = next;
    const uint32_t dirSectors = static_cast<uint32_t>(dir.size() / sectorSize);
    next += dirSectors;
    // Enough FAT and DIFAT sectors to cover them all, themselves included.
    uint32_t fatCount = 1, difCount = 0;
    for (;;) {
        difCount = fatCount > 109 ? (fatCount - 109 + perDifat - 1) / perDifat : 0;
        if (size_t{fatCount} * perFat >= size_t{next} + difCount + fatCount)
            break;
        ++fatCount;
    }
    const uint32_t difStart = next;
    const uint32_t fatStart = next + difCount;
    const uint32_t total = fatStart + fatCount;

    std::vector<uint32_t> newFat(size_t{fatCount} * perFat, kFree);
    auto chain = [&](uint32_t start, uint32_t count) {
        for (uint32_t k = 0; k < count; ++k)
            newFat[start + k] = k + 1 < count ? start + k + 1 : kEnd;
    };
    for (size_t r = 0; r < runs.size(); ++r)
        if (!runs[r].empty())
            chain(runStart[r], static_cast<uint32_t>(sectorsOf(runs[r].size())));
    chain(dirStart, dirSectors);
    for (uint32_t k = 0; k < difCount; ++k)
        newFat[difStart + k] = kDifatMark;
    for (uint32_t k = 0; k < fatCount; ++k)
        newFat[fatStart + k] = kFatMark;

    for (size_t r = 0; r < runs.size(); ++r)
        if (runEntry[r] != SIZE_MAX)
            writeU32LE(dir, runEntry[r] * kEntry + 116, runStart[r]);

    std::vector<uint8_t> out((size_t{total} + 1) * sectorSize, 0);
    std::copy(v3.begin(), v3.begin() + 76, out.begin());  // signature, class, byte order
    const bool large = sectorSize == kLargeSector;
    writeU16LE(out, 24, 0x003E);
    writeU16LE(out, 26, large ? 4 : 3);
    writeU16LE(out, 30, large ? 12 : 9);
    writeU32LE(out, 40, large ? dirSectors : 0);  // version 3 files leave it 0
    writeU32LE(out, 44, fatCount);
    writeU32LE(out, 48, dirStart);
    writeU32LE(out, 60, miniFat.empty() ? kEnd : runStart[miniFatRun]);
    writeU32LE(out, 64, static_cast<uint32_t>(sectorsOf(miniFat.size())));
    writeU32LE(out, 68, difCount ? difStart : kEnd);
    writeU32LE(out, 72, difCount);
    auto sectorAt = [&](uint32_t s) { return (size_t{s} + 1) * sectorSize; };
    for (uint32_t i = 0; i < 109; ++i)
        writeU32LE(out, 76 + 4 * i, i < fatCount ? fatStart + i : kFree);
    for (uint32_t k = 0; k < difCount; ++k) {
        const size_t at = sectorAt(difStart + k);
        for (uint32_t j = 0; j < perDifat; ++j) {
            const uint32_t i = 109 + k * perDifat + j;
            writeU32LE(out, at + 4 * j, i < fatCount ? fatStart + i : kFree);
        }
        writeU32LE(out, at + 4 * perDifat, k + 1 < difCount ? difStart + k + 1 : kEnd);
    }
    for (size_t r = 0; r < runs.size(); ++r)
        if (!runs[r].empty())
            std::copy(runs[r].begin(), runs[r].end(), out.begin() + sectorAt(runStart[r]));
    std::copy(dir.begin(), dir.end(), out.begin() + sectorAt(dirStart));
    for (size_t i = 0; i < newFat.size(); ++i)
        writeU32LE(out, sectorAt(fatStart + static_cast<uint32_t>(i / perFat)) + 4 * (i % perFat),
                   newFat[i]);
    return out;
}

std::vector<uint8_t> toVersion4(const std::vector<uint8_t>& version3) {
    return relayCompoundFile(version3, kLargeSector);
}

std::vector<uint8_t> fillerBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        // Letters only: never an FD FF FF FF marker, a signature or a UTF-16 name.
        out[i] = static_cast<uint8_t>('a' + (x >> 16) % 26);
    }
    return out;
}

CfbLayout layoutOf(const std::vector<uint8_t>& file) {
    CfbLayout l;
    l.csectFat = readU32LE(file, 44);
    l.dirStart = readU32LE(file, 48);
    l.miniFatStart = readU32LE(file, 60);
    for (uint32_t i = 0; i < l.csectFat && i < 109; ++i)
        l.fatSectors.push_back(readU32LE(file, 76 + 4 * i));
    return l;
}

}  // namespace morvel::test
