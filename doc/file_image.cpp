#include "doc/file_image.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "doc/compound_file.h"
#include "doc/doc_storage.h"
#include "doc/raw_search.h"
#include "doc/word_version.h"
#include "platform/cfb_constants.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr char kRtfStart[5] = {'{', '\\', 'r', 't', 'f'};

bool plausibleChainValue(int32_t v, int32_t sectorCount) {
    return v == kCfbEndOfChain || v == kCfbFatSect || (v >= 1 && v <= sectorCount - 1);
}

}  // namespace

CFileImage::CFileImage(std::span<const uint8_t> image)
    : bytes(image.subspan(0, std::min<size_t>(image.size(), 0x7FFFFFFF))),
      size(static_cast<int32_t>(bytes.size())),
      sectorCount(size / cfb.sectorSize()) {}

void CFileImage::SetSectorShift(int32_t shift) {
    cfb.shift = shift;
    sectorCount = size / cfb.sectorSize();
}

void CFileImage::TakeSectorShiftFromHeader() {
    const int64_t at = int64_t{headerPos} + kCfbHeaderSectorShift;
    const uint16_t shift = at + 2 <= size ? readU16LE(bytes, static_cast<size_t>(at)) : 0;
    SetSectorShift(shift == kCfbShiftVersion4 ? kCfbShiftVersion4 : kCfbShiftVersion3);
}

// Floor division, so offsets before the first sector give negative numbers.
int64_t CFileImage::sectorOfLogical(int64_t logical) const {
    const int64_t sectorSize = cfb.sectorSize();
    int64_t q = logical / sectorSize;
    if (logical % sectorSize < 0)
        --q;
    return q - 1;
}

int32_t CFileImage::readI32(int64_t pos) const {
    if (pos < 0)
        return 0;
    return readI32LE(bytes, static_cast<size_t>(pos));
}

int64_t CFileImage::physical(int64_t logical) const {
    return salvaged_ ? logical - shift : logical + headerPos;
}

int CFileImage::ScanSignature() {
    const int64_t end = int64_t{size} - 8;  // positions below this are examined
    if (end > 0) {
        int rtf = 0;
        for (int i = 0; i < 5; ++i)
            rtf += bytes[i] == static_cast<uint8_t>(kRtfStart[i]);
        if (rtf > 3)
            return kScanFoundRtf;
    }
    auto matches = [&](int64_t pos) {
        int n = 0;
        for (int i = 0; i < 8; ++i)
            n += bytes[pos + i] == kCfbSignature[i];
        return n > 5;
    };
    // With at most two of the 8 bytes damaged, one of the first three byte pairs is intact,
    // so every candidate is a hit of one of three 2-byte searches; they advance together so
    // that candidates are tried in file order.
    int64_t next[3];
    auto advance = [&](int i, int64_t from) {
        std::span<const uint8_t> pair(kCfbSignature + 2 * i, 2);
        int64_t hit = findBytes(bytes, from + 2 * i, pair);
        next[i] = hit < 0 ? end : hit - 2 * i;
    };
    for (int i = 0; i < 3; ++i)
        advance(i, 0);
    for (;;) {
        int best = 0;
        for (int i = 1; i < 3; ++i)
            if (next[i] < next[best])
                best = i;
        int64_t pos = next[best];
        if (pos >= end)
            break;
        if (pos >= 0 && matches(pos)) {
            headerPos = static_cast<int32_t>(pos);
            return 0;
        }
        advance(best, pos + 1);
    }
    headerPos = static_cast<int32_t>(std::max<int64_t>(end, 0));
    return 0;
}

bool CFileImage::HeaderLooksSound() const {
    const int64_t csectFat = readI32(int64_t{headerPos} + kCfbHeaderCsectFat);
    const int64_t bound = std::max<int64_t>(sectorCount, csectFat * cfb.fatEntriesPerSector());
    const int64_t n = std::min<int64_t>(bound, 108);
    for (int64_t i = 0; i < n; ++i) {
        int32_t v = readI32(int64_t{headerPos} + kCfbHeaderDifat + 4 * i);
        if (v > bound || (v < 0 && v != kCfbFreeSect))
            return false;
    }
    return true;
}

int CFileImage::RebuildFatSectorList() {
    salvaged_ = true;
    fatSectors.clear();
    // Every FAT sector holds the marker -3 for itself and the other FAT sectors.
    const std::vector<uint8_t> marker = int32Pattern({kCfbFatSect});
    std::vector<int64_t> markers;
    for (int64_t h = findBytes(bytes, 0, marker); h >= 0; h = findBytes(bytes, h + 1, marker))
        markers.push_back(h);

    // The first marker is the one whose neighbour looks like a FAT value. A marker in other
    // data can pass that test, so each candidate's result must also mark its own FAT sectors;
    // the first candidate that does wins. A free neighbour (-1) is allowed only when no
    // candidate passes otherwise, since writers leave free sectors right after the FAT.
    constexpr int kMostAttempts = 64;
    int attempts = 0;
    bool haveFallback = false;
    std::vector<int32_t> fallbackList;
    int32_t fallbackShift = 0;
    for (int pass = 0; pass < 2 && attempts < kMostAttempts; ++pass) {
        for (size_t i = 0; i < markers.size() && attempts < kMostAttempts; ++i) {
            const int64_t p = markers[i];
            const int32_t v =
                (p % cfb.sectorSize() > cfb.sectorSize() - 4) ? readI32(p - 4) : readI32(p + 4);
            const bool strict = plausibleChainValue(v, sectorCount);
            if (pass == 0 ? !strict : (strict || v != kCfbFreeSect))
                continue;
            ++attempts;
            shift = 0;
            std::vector<int32_t> list;
            if (!rebuildFrom(markers, i, list))
                continue;
            if (marksItself(list)) {
                fatSectors = std::move(list);
                return 0;
            }
            if (!haveFallback) {
                haveFallback = true;
                fallbackList = std::move(list);
                fallbackShift = shift;
            }
        }
    }
    if (!haveFallback)
        return -1;
    fatSectors = std::move(fallbackList);
    shift = fallbackShift;
    return 0;
}

// A one-sector FAT may sit in a displaced file. FAT sector s holds its marker at entry s, so
// each s gives a shift; the sector holding the marker, unshifted, is tried first, then every
// other s. The first that puts the root directory entry on a 128-byte boundary, in a sector
// the FAT marks in use, is taken; without one the sector holding the marker stands.
int64_t CFileImage::shiftedSingleFat(int64_t p, int64_t unshifted) {
    int32_t rootSize = 0;
    const int32_t r = FindDirectoryName(utf16Pattern("Root E"), rootSize);
    if (r < 0)
        return unshifted;
    for (int64_t i = -1; i < cfb.fatEntriesPerSector() && i <= sectorCount; ++i) {
        const int64_t s = i < 0 ? unshifted : i;
        const int64_t candidate = cfb.sectorStart(s) + 4 * s - p;
        if (i < 0 && p % cfb.sectorSize() != 4 * (s % cfb.fatEntriesPerSector()))
            continue;
        if ((r + candidate) % kCfbDirEntrySize != 0)
            continue;
        const int64_t fatStart = p - 4 * s;  // image position of entry 0
        const int64_t rootSector = sectorOfLogical(r + candidate);
        if (rootSector < 0 || rootSector >= cfb.fatEntriesPerSector())
            continue;
        const int32_t v = readI32(fatStart + 4 * rootSector);
        if (v == kCfbFreeSect || v == kCfbFatSect || v == kCfbDifSect)
            continue;
        shift = static_cast<int32_t>(candidate);
        return s;
    }
    return unshifted;
}

// True when the first FAT sector, and at least half of all, hold -3 at their own entries.
bool CFileImage::marksItself(const std::vector<int32_t>& list) const {
    size_t good = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const int64_t s = list[i];
        const size_t holder = static_cast<size_t>(s / cfb.fatEntriesPerSector());
        bool ok = holder < list.size() &&
                  readI32(physical(cfb.sectorStart(int64_t{list[holder]}) +
                                   4 * (s % cfb.fatEntriesPerSector()))) == kCfbFatSect;
        if (i == 0 && !ok)
            return false;
        good += ok;
    }
    return good * 2 >= list.size();
}

// Rebuilds the FAT sector list taking markers[first] as the first FAT sector's marker.
CFileImage::FatStart CFileImage::findFatStart(int64_t p, int64_t run) {
    // The start of the FAT: entry k of a plain chain holds k + 1, k + 2, k + 3. Hits beyond
    // p + 512 * run can never be accepted, so the searches stop there.
    FatStart start;
    bool tookSector = false;
    const int64_t limit = std::min<int64_t>(size, p + cfb.sectorSize() * run + 12);
    for (start.k = 0; start.k < 10; ++start.k) {
        const int k = start.k;
        const std::vector<uint8_t> pattern = int32Pattern({k + 1, k + 2, k + 3});
        const int window = cfb.fatEntriesPerSector() - 4 * k;
        for (int64_t h = findBytes(bytes.first(limit), 1, pattern); h >= 0;
             h = findBytes(bytes.first(limit), h + 1, pattern)) {
            bool ok = true;
            for (int j = 0; j < window && ok; ++j)
                ok = plausibleChainValue(readI32(h + 4 * j), sectorCount);
            if (!ok)
                continue;
            if (cfb.sectorSize() * run < p - h) {
                // The FAT begins well before the first marker: in the sector holding h.
                if (h >= cfb.sectorSize()) {
                    start.firstFat = sectorOfLogical(h + shift);
                    tookSector = true;
                }
                start.q = h;
                break;
            }
            if (std::llabs(p - h) < cfb.sectorSize() * run) {
                start.q = h;
                break;
            }
        }
        if (start.q >= 0)
            break;
    }
    if (start.q >= 0 && !tookSector) {
        // The first marker is the first FAT sector's own entry; the shift follows.
        start.firstFat = start.k + (p - start.q) / 4;
        shift = static_cast<int32_t>(cfb.sectorStart(start.firstFat) - (start.q - 4 * start.k));
    } else if (start.q < 0) {
        // No chain start found: take the sector that holds the first marker, unshifted.
        start.firstFat = sectorOfLogical(p + shift);
    }
    return start;
}

std::vector<int64_t> CFileImage::numberFatSectors(std::span<const int64_t> markers, int64_t run,
                                                  const FatStart& start) const {
    // Number the markers by their entry index: 128 times the FAT-order position of the FAT
    // sector that holds them plus their offset inside it. The markers of the first block are
    // counted from the FAT start (the FAT sectors there lie one after another); a marker in a
    // sector not yet known counts when it would be that sector's own entry. FAT sectors are
    // taken in ascending order, and the set grows until it no longer changes.
    std::vector<int64_t> seed{start.firstFat};
    if (start.q >= 0)
        for (int64_t i = 0; i < run; ++i) {
            const int64_t number = start.k + (markers[i] - start.q) / 4;
            if (number > start.firstFat && number <= sectorCount)
                seed.push_back(number);
        }
    std::sort(seed.begin(), seed.end());
    seed.erase(std::unique(seed.begin(), seed.end()), seed.end());
    std::vector<int64_t> known = seed;
    for (int round = 0; round < 64; ++round) {
        std::vector<int64_t> found = seed;
        for (int64_t m : markers) {
            const int64_t logical = m + shift;
            if (logical < cfb.sectorSize() || logical % 4 != 0)
                continue;
            const int64_t s = sectorOfLogical(logical);
            auto it = std::lower_bound(known.begin(), known.end(), s);
            const int64_t number =
                cfb.fatEntriesPerSector() * (it - known.begin()) + (logical % cfb.sectorSize()) / 4;
            const bool inKnown = it != known.end() && *it == s;
            if (!inKnown && number != s)
                continue;
            // Numbers beyond the file are dropped.
            if (number > start.firstFat && number <= sectorCount)
                found.push_back(number);
        }
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        if (found == known)
            break;
        known = std::move(found);
    }
    return known;
}

void CFileImage::dropStrayFirstNumber(std::vector<int64_t>& known) const {
    // Two numbers inside one block of 128: the FAT must mark the second as a FAT sector,
    // else the first number is taken for a stray hit. The entry lies in the FAT sector at
    // position second / 128, which need not be the first one.
    if (known.size() < 2 || known[1] - known[0] >= cfb.fatEntriesPerSector() ||
        known[0] / cfb.fatEntriesPerSector() != known[1] / cfb.fatEntriesPerSector())
        return;
    const size_t holder = static_cast<size_t>(known[1] / cfb.fatEntriesPerSector());
    if (holder >= known.size())
        return;
    const int64_t at =
        physical(cfb.sectorStart(known[holder]) + 4 * (known[1] % cfb.fatEntriesPerSector()));
    if (readI32(at) != kCfbFatSect)
        known.erase(known.begin());
}

bool CFileImage::rebuildFrom(const std::vector<int64_t>& allMarkers, size_t first,
                             std::vector<int32_t>& list) {
    const int64_t p = allMarkers[first];
    const std::span<const int64_t> markers(allMarkers.data() + first, allMarkers.size() - first);

    // One marker: a FAT of one sector, the one holding it.
    if (markers.size() == 1) {
        int64_t s = sectorOfLogical(p + shift);
        if (s < 0 || s > sectorCount)
            return false;
        s = shiftedSingleFat(p, s);
        list.push_back(static_cast<int32_t>(s));
        return true;
    }

    // Length of the first block of adjacent markers.
    int64_t run = 1;
    while (run < static_cast<int64_t>(markers.size()) && markers[run] - markers[run - 1] <= 4)
        ++run;

    const FatStart start = findFatStart(p, run);
    if (start.firstFat < 0 || start.firstFat > sectorCount)
        return false;
    std::vector<int64_t> known = numberFatSectors(markers, run, start);
    dropStrayFirstNumber(known);
    for (int64_t s : known)
        list.push_back(static_cast<int32_t>(s));
    return !list.empty();
}

int32_t CFileImage::fatValueOf(int64_t s) const {
    if (s < 0 || s / cfb.fatEntriesPerSector() >= static_cast<int64_t>(fatSectors.size()))
        return 0;
    const int64_t fs = fatSectors[static_cast<size_t>(s / cfb.fatEntriesPerSector())];
    return readI32(physical(cfb.sectorStart(fs) + 4 * (s % cfb.fatEntriesPerSector())));
}

int32_t CFileImage::FindDirectoryName(std::span<const uint8_t> pattern, int32_t& sizeOut,
                                      int64_t from) const {
    for (int64_t w = findBytes(bytes, from, pattern); w >= 0;
         w = findBytes(bytes, w + 1, pattern)) {
        int32_t sz = readI32(w + kCfbEntrySize);
        int32_t start = readI32(w + kCfbEntryStart);
        if (sz >= 1 || (start < 0 && sz == 0)) {
            sizeOut = sz;
            return static_cast<int32_t>(w);
        }
    }
    sizeOut = 0;
    return -1;
}

void CFileImage::LocateDirectoryAndMiniFat() {
    salvaged_ = true;
    // A root entry in a sector the FAT marks free is a stale copy; the live one wins.
    int32_t rootSize = 0;
    const std::vector<uint8_t> rootName = utf16Pattern("Root E");
    rootEntryPos = FindDirectoryName(rootName, rootSize);
    for (int32_t w = rootEntryPos, sz = rootSize; w >= 0;
         w = FindDirectoryName(rootName, sz, int64_t{w} + 1)) {
        if (fatValueOf(sectorOfLogical(int64_t{w} + shift)) != kCfbFreeSect) {
            rootEntryPos = w;
            rootSize = sz;
            break;
        }
    }
    dirStart = kNotFound;
    int64_t miniCount = 0;
    if (rootEntryPos >= 0) {
        dirStart = static_cast<int32_t>(sectorOfLogical(int64_t{rootEntryPos} + shift));
        miniCount = static_cast<uint32_t>(rootSize) / kCfbMiniSectorSize;
    }
    // The mini FAT begins at a sector start with a short chain: (1, end), (end, 2) or (1, 2).
    miniFatStart = kNotFound;
    const std::initializer_list<int32_t> starts[3] = {
        {1, kCfbEndOfChain}, {kCfbEndOfChain, 2}, {1, 2}};
    for (const auto& values : starts) {
        const std::vector<uint8_t> pattern = int32Pattern(values);
        for (int64_t m = findBytes(bytes, 100, pattern); m >= 0;
             m = findBytes(bytes, m + 1, pattern)) {
            int64_t logical = m + shift;
            if (logical % cfb.sectorSize() != 0)
                continue;
            int64_t s = sectorOfLogical(logical);
            if (std::find(fatSectors.begin(), fatSectors.end(), s) != fatSectors.end())
                continue;
            int32_t seventh = readI32(m + 24);
            if (seventh != kCfbEndOfChain && seventh != kCfbFreeSect &&
                !(seventh >= 2 && seventh <= miniCount))
                continue;
            miniFatStart = static_cast<int32_t>(s);
            return;
        }
    }
}

bool CFileImage::RebuildChecksOut() const {
    if (fatSectors.empty() || !marksItself(fatSectors) || rootEntryPos < 0 || dirStart < 0)
        return false;
    const int32_t v = fatValueOf(dirStart);
    return v == kCfbEndOfChain || (v >= 1 && v <= sectorCount);
}

bool CFileImage::HasStreamEntry(std::string_view name) const {
    const std::vector<uint8_t> pattern = utf16Pattern(name);
    const int64_t nameLength = 2 * (static_cast<int64_t>(name.size()) + 1);  // with its NUL
    int32_t size = 0;
    for (int32_t w = FindDirectoryName(pattern, size); w >= 0;
         w = FindDirectoryName(pattern, size, int64_t{w} + 1)) {
        if (!fits(bytes, static_cast<size_t>(w), kCfbDirEntrySize))
            continue;
        if (readU16LE(bytes, static_cast<size_t>(w) + kCfbEntryNameLength) == nameLength &&
            bytes[static_cast<size_t>(w) + kCfbEntryType] == kCfbTypeStream)
            return true;
    }
    return false;
}

int CFileImage::ClassifyFormatVersion() const {
    DocContext scratch;
    std::optional<CCompoundFile> view;
    std::optional<CDocStorage> storage;
    return ClassifyFormatVersion([&]() -> const CDocStorage* {
        view.emplace(*this, scratch);
        if (scratch.statusCode != kStatusOk)
            return nullptr;
        storage.emplace(*view, scratch);
        storage->ReadDirectory();
        storage->WalkDirectoryTree();
        return &*storage;
    });
}

int CFileImage::ClassifyFormatVersion(
    const std::function<const CDocStorage*()>& walkedStorage) const {
    int32_t wordSize = 0;
    int32_t w = FindDirectoryName(utf16Pattern("WordD"), wordSize);
    if (w < 0) {
        // Without a WordDocument entry (a file cut before its directory, say) the word "Book"
        // in the text must not turn a Word document into a spreadsheet.
        if (HasStreamEntry("Book"))
            return kVersionBook;
        if (HasStreamEntry("Workbook"))
            return kVersionWorkbook;
        return kVersionUnknown;
    }
    // The FIB of the top-level WordDocument stream, read through the directory. An embedded
    // object's WordDocument may come first in the file, and a short stream's mini sectors
    // need not be contiguous, so the raw entry alone can point at the wrong bytes.
    if (const CDocStorage* storage = walkedStorage()) {
        uint8_t fib[32] = {};
        if (const CStreamEntry* e = storage->wordDocument())
            if (storage->ReadAvailable(*e, fib, 0) == sizeof fib)
                return versionFromNFib(readU16LE(fib, 2), readU16LE(fib, 20), fib[5]);
    }
    // Otherwise the entry found by name, its stream taken as contiguous.
    const int64_t start = readI32(int64_t{w} + kCfbEntryStart);
    int64_t logical;
    if (wordSize < kCfbMiniStreamCutoff) {
        // A short stream sits in the mini stream, taken as contiguous from the root's start.
        int64_t dir = salvaged_ ? dirStart : readI32(int64_t{headerPos} + kCfbHeaderDirStart);
        int64_t rootStart = readI32(physical(cfb.sectorStart(dir) + kCfbEntryStart));
        logical = cfb.sectorStart(rootStart) + start * kCfbMiniSectorSize;
    } else {
        logical = cfb.sectorStart(start);
    }
    const int64_t pos = physical(logical);
    if (pos < 0 || !fits(bytes, static_cast<size_t>(pos), 32))
        return kVersionUnknown;
    return versionFromNFib(readU16LE(bytes, pos + 2), readU16LE(bytes, pos + 20),
                           readU8(bytes, pos + 5));
}

}  // namespace morvel
