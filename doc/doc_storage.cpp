#include "doc/doc_storage.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "doc/fib_layout.h"
#include "doc/raw_search.h"
#include "doc/word_version.h"
#include "platform/cfb_constants.h"
#include "platform/large_buffer.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr int32_t kNoLink = -1;

// Mini sectors for a short stream, else the file's sectors.
int32_t sectorSizeFor(int32_t type, int32_t size, const CfbGeometry& cfb) {
    return (size < kCfbMiniStreamCutoff && type != kCfbTypeRoot) ? kCfbMiniSectorSize
                                                                 : cfb.sectorSize();
}

// Maps directory positions (the links between entries) to indexes into the entries.
class DirectoryIndex {
  public:
    explicit DirectoryIndex(const std::vector<CStreamEntry>& entries) {
        int32_t highest = -1;
        for (const CStreamEntry& e : entries)
            highest = std::max(highest, e.dirIndex);
        byDir_.assign(static_cast<size_t>(highest + 1), -1);
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].dirIndex >= 0)
                byDir_[static_cast<size_t>(entries[i].dirIndex)] = static_cast<int32_t>(i);
    }
    // The entry a link names, or -1 when no entry was read at that position.
    int32_t operator()(int32_t link) const {
        return link >= 0 && static_cast<size_t>(link) < byDir_.size()
                   ? byDir_[static_cast<size_t>(link)]
                   : -1;
    }

  private:
    std::vector<int32_t> byDir_;
};

}  // namespace

CStreamEntry CDocStorage::entryAt(int64_t pos, int32_t dirIndex) const {
    std::span<const uint8_t> raw = file_.bytes.subspan(static_cast<size_t>(pos), kCfbDirEntrySize);
    CStreamEntry e;
    const uint16_t nameLength = readU16LE(raw, kCfbEntryNameLength);
    if (nameLength >= 1 && nameLength <= 64) {
        const int units = (nameLength + 1) / 2;
        for (int i = 0; i < units; ++i) {
            const uint8_t low = raw[2 * i];
            if (low == 0 && raw[2 * i + 1] == 0)
                break;
            e.rawName.push_back(low);
            e.rawName.push_back(raw[2 * i + 1]);
        }
        for (size_t i = 0; i < e.rawName.size() && e.rawName[i] != 0; i += 2)
            e.name.push_back(static_cast<char>(e.rawName[i]));
    }
    e.type = raw[kCfbEntryType];
    e.leftSibling = readI32LE(raw, kCfbEntryLeft);
    e.rightSibling = readI32LE(raw, kCfbEntryRight);
    e.child = readI32LE(raw, kCfbEntryChild);
    e.startSector = readI32LE(raw, kCfbEntryStart);
    e.size = readI32LE(raw, kCfbEntrySize);
    if (e.type == kCfbTypeRoot)
        std::memcpy(e.clsid.data(), raw.data() + kCfbEntryClsid, e.clsid.size());
    e.sectorSize = sectorSizeFor(e.type, e.size, file_.cfb);
    e.dirIndex = dirIndex;
    e.imagePos = pos;
    return e;
}

// Marks every entry reachable through the child link of a storage other than the root: the
// streams of an embedded object. They never stand in for the document's own streams, even
// when the whole tree cannot be walked (its top lost with the end of a cut-off file).
void CDocStorage::markNestedEntries() {
    const DirectoryIndex entryOf(entries);
    // Each entry is entered at most once per pass, so both passes end whatever the links.
    auto reach = [&](std::vector<int32_t> pending, bool intoStorages) {
        std::vector<bool> seen(entries.size(), false);
        while (!pending.empty()) {
            const int32_t i = pending.back();
            pending.pop_back();
            if (i < 0 || seen[static_cast<size_t>(i)])
                continue;
            seen[static_cast<size_t>(i)] = true;
            const CStreamEntry& e = entries[static_cast<size_t>(i)];
            // Links are followed only through entries that read as a stream or a storage: a
            // sector of other bytes read as directory entries links anything to anything.
            if (e.type != kCfbTypeStream && e.type != kCfbTypeStorage)
                continue;
            pending.push_back(entryOf(e.leftSibling));
            pending.push_back(entryOf(e.rightSibling));
            if (intoStorages)
                pending.push_back(entryOf(e.child));
        }
        return seen;
    };
    // The root's own children win over any other claim: a damaged directory chain can make
    // an object's links point at them.
    std::vector<int32_t> roots, storages;
    for (const CStreamEntry& e : entries) {
        if (e.type == kCfbTypeRoot)
            roots.push_back(entryOf(e.child));
        else if (e.type == kCfbTypeStorage)
            storages.push_back(entryOf(e.child));
    }
    const std::vector<bool> top = reach(roots, false);
    const std::vector<bool> inside = reach(storages, true);
    nestedPositions_.clear();
    nestedStarts_.clear();
    for (size_t i = 0; i < entries.size(); ++i) {
        CStreamEntry& e = entries[i];
        e.nested = inside[i] && !top[i];
        if (!e.nested)
            continue;
        nestedPositions_.push_back(e.imagePos);
        if (e.sectorSize != kCfbMiniSectorSize)
            nestedStarts_.push_back(e.startSector);
    }
    std::sort(nestedPositions_.begin(), nestedPositions_.end());
    std::sort(nestedStarts_.begin(), nestedStarts_.end());
}

bool CDocStorage::nestedAt(int64_t imagePos) const {
    return std::binary_search(nestedPositions_.begin(), nestedPositions_.end(), imagePos);
}

int CDocStorage::ReadDirectory() {
    entries.clear();
    for (int32_t i = 0; i < file_.directoryEntryCount; ++i) {
        const int32_t perSector = file_.cfb.dirEntriesPerSector();
        const int64_t sector = file_.directoryChain[static_cast<size_t>(i / perSector)];
        const int64_t pos = file_.physical(file_.cfb.sectorStart(sector) +
                                           int64_t{i % perSector} * kCfbDirEntrySize);
        if (pos < 0 || !fits(file_.bytes, static_cast<size_t>(pos), kCfbDirEntrySize))
            break;  // an entry outside the image ends the directory
        CStreamEntry e = entryAt(pos, i);
        if (!e.name.empty())
            entries.push_back(std::move(e));
    }
    markNestedEntries();
    for (int32_t i = 0; i < static_cast<int32_t>(entries.size()); ++i) {
        const CStreamEntry& e = entries[i];
        if (e.nested)
            continue;
        if (e.name == "WordDocument") {
            if (e.leftSibling > 0 || e.rightSibling > 0)
                wordDocumentIndex = i;
        } else if (e.name == "Data") {
            dataIndex = i;
        } else if (e.name == "0Table") {
            table0Index = i;
        } else if (e.name == "Root Entry") {
            rootEntryIndex = i;
        } else if (e.name == "1Table") {
            table1Index = i;
        } else if (e.name.size() > 1 && std::string_view(e.name).substr(1) == "CompObj") {
            compObjPresent = true;
        }
    }
    fillRolesByNearNames();
    return static_cast<int>(entries.size());
}

namespace {

constexpr std::string_view kRoleNames[] = {"WordDocument", "1Table", "0Table", "Data"};

// A name of the same length that differs from `want` in one character and is not itself
// another role's name: the role's entry with a flipped byte in its name.
bool nearlyNamed(std::string_view name, std::string_view want) {
    if (name.size() != want.size())
        return false;
    for (std::string_view role : kRoleNames)
        if (name == role)
            return false;
    size_t differ = 0;
    for (size_t i = 0; i < name.size(); ++i)
        differ += name[i] != want[i];
    return differ == 1;
}

}  // namespace

void CDocStorage::fillRolesByNearNames() {
    int32_t* roles[] = {&wordDocumentIndex, &table1Index, &table0Index, &dataIndex};
    for (size_t r = 0; r < std::size(roles); ++r) {
        if (*roles[r] >= 0)
            continue;
        for (int32_t i = 0; i < static_cast<int32_t>(entries.size()); ++i) {
            const CStreamEntry& e = entries[static_cast<size_t>(i)];
            if (e.nested || e.type != kCfbTypeStream || !nearlyNamed(e.name, kRoleNames[r]))
                continue;
            *roles[r] = i;
            ctx_.findings.note(FindingGrade::Potential, docfinding::kNameRepaired, e.dirIndex);
            break;
        }
    }
}

int CDocStorage::WalkDirectoryTree() {
    if (walkDone_)
        return treeWalked ? 0 : -1;
    walkDone_ = true;
    treeWalked = false;
    traversal.clear();

    // Links are directory positions; map them to the named entries.
    const DirectoryIndex entryOf(entries);

    int32_t root = -1;
    for (int32_t i = 0; i < static_cast<int32_t>(entries.size()); ++i)
        if (entries[i].name == "Root Entry")
            root = i;
    if (root < 0)
        return -1;

    // Every entry is entered at most once, so the walk ends and the stack never holds more
    // entries than there are; a link to a missing or already visited entry fails the walk.
    std::vector<bool> visited(entries.size(), false);
    visited[static_cast<size_t>(root)] = true;
    struct Frame {
        int32_t entry;
        int32_t depth;
        int stage;
    };
    std::vector<Frame> stack;
    bool failed = false;
    auto enter = [&](int32_t link, int32_t depth) {
        if (link == kNoLink)
            return;
        const int32_t index = entryOf(link);
        if (index < 0 || visited[static_cast<size_t>(index)]) {
            failed = true;
            return;
        }
        visited[static_cast<size_t>(index)] = true;
        stack.push_back(Frame{index, depth, 0});
    };
    enter(entries[static_cast<size_t>(root)].child, 0);
    entries[static_cast<size_t>(root)].hasChildren = !stack.empty();
    while (!stack.empty() && !failed) {
        Frame& f = stack.back();
        CStreamEntry& e = entries[static_cast<size_t>(f.entry)];
        const int32_t depth = f.depth;
        switch (f.stage++) {
            case 0:  // left siblings come first
                enter(e.leftSibling, depth);
                break;
            case 1: {  // the entry itself, then what it holds
                e.depth = depth;
                traversal.push_back(WalkStep{f.entry, depth});
                const size_t before = stack.size();
                enter(e.child, depth + 1);
                e.hasChildren = stack.size() > before;
                break;
            }
            case 2:  // then the right siblings
                enter(e.rightSibling, depth);
                break;
            default:
                stack.pop_back();
        }
    }
    if (failed)
        return -1;
    treeWalked = true;
    chooseRolesByDepth();
    return 0;
}

// The top-level streams take the roles, so a stream of an embedded object never replaces
// them.
void CDocStorage::chooseRolesByDepth() {
    for (const WalkStep& step : traversal) {
        if (step.depth >= 1)
            continue;
        const std::string& name = entries[static_cast<size_t>(step.entry)].name;
        if (name == "WordDocument")
            wordDocumentIndex = step.entry;
        else if (name == "0Table")
            table0Index = step.entry;
        else if (name == "1Table")
            table1Index = step.entry;
        else if (name == "Data")
            dataIndex = step.entry;
    }
}

void CDocStorage::FallbackStreamSearch(const CFileImage& image) {
    // The first hit of the name that reads as a stream entry becomes the entry.
    auto make = [&](std::string_view prefix, const char* name) -> int32_t {
        const std::vector<uint8_t> pattern = utf16Pattern(prefix);
        for (int64_t w = findBytes(image.bytes, 1, pattern); w >= 0;
             w = findBytes(image.bytes, w + 1, pattern)) {
            if (readU8(image.bytes, static_cast<size_t>(w) + kCfbEntryType) != kCfbTypeStream ||
                nestedAt(w))
                continue;
            CStreamEntry e;
            e.name = name;
            e.rawName = utf16Pattern(name);
            e.type = kCfbTypeStream;
            e.startSector = image.readI32(w + kCfbEntryStart);
            e.size = image.readI32(w + kCfbEntrySize);
            e.sectorSize = sectorSizeFor(e.type, e.size, file_.cfb);
            e.imagePos = w;
            entries.push_back(std::move(e));
            return static_cast<int32_t>(entries.size()) - 1;
        }
        return -1;
    };
    if (wordDocumentIndex < 0)
        wordDocumentIndex = make("Wor", "WordDocument");
    if (table0Index < 0 && table1Index < 0) {
        table1Index = make("1Ta", "1Table");
        if (table1Index >= 0)
            tableIndex = table1Index;
        else if ((table0Index = make("0Ta", "0Table")) >= 0)
            tableIndex = table0Index;
    }
    if (dataIndex < 0)
        dataIndex = make("Dat", "Data");
    // With the directory entries gone too (a wiped directory, or one cut off with the end of
    // the file), the streams are found by what they hold.
    if (wordDocumentIndex < 0)
        wordDocumentIndex = findWordDocumentByFib();
    if (table0Index < 0 && table1Index < 0 && wordDocumentIndex >= 0)
        findTableByClx(entries[static_cast<size_t>(wordDocumentIndex)]);
}

namespace {

constexpr uint16_t kFibIdent = 0xA5EC;
constexpr uint16_t kWhichTableFlag = 0x0200;
constexpr uint8_t kClxPrc = 0x01;
constexpr uint8_t kClxPcdt = 0x02;
constexpr int32_t kPcdSize = 8;
constexpr int32_t kMostPairs = 200;
constexpr int64_t kMostChainSteps = int64_t{1} << 25;

// An entry for a stream found by its content. A stream shorter than the cutoff lives in the
// mini stream, so `mini` decides both the sector size and which side of the cutoff the
// size falls.
CStreamEntry rescuedEntry(const char* name, int32_t start, int64_t size, const CfbGeometry& cfb,
                          bool mini = false) {
    CStreamEntry e;
    e.name = name;
    e.rawName = utf16Pattern(name);
    e.type = kCfbTypeStream;
    e.startSector = start;
    e.size =
        static_cast<int32_t>(mini ? std::clamp<int64_t>(size, 1, kCfbMiniStreamCutoff - 1)
                                  : std::clamp<int64_t>(size, kCfbMiniStreamCutoff, 0x7FFFFFFF));
    e.sectorSize = mini ? kCfbMiniSectorSize : cfb.sectorSize();
    return e;
}

// Whether `clx` is a whole piece table of lcb bytes: property blocks, then the piece
// descriptors whose length fills the rest exactly.
bool wholeClx(std::span<const uint8_t> clx) {
    size_t at = 0;
    while (at < clx.size() && clx[at] == kClxPrc)
        at += 3 + static_cast<size_t>(std::max<int16_t>(readI16LE(clx, at + 1), 0));
    if (at + 5 > clx.size() || clx[at] != kClxPcdt)
        return false;
    const uint32_t lcb = readU32LE(clx, at + 1);
    return lcb == clx.size() - at - 5 && lcb >= 4 + 4 + kPcdSize && (lcb - 4) % (4 + kPcdSize) == 0;
}

}  // namespace

// A Word 97 FIB at the start of a sector begins the WordDocument stream; its cbMac (or the
// end of the text, when larger) gives the stream's length.
int32_t CDocStorage::findWordDocumentByFib() {
    for (int64_t s = 0; s < file_.sectorLimit; ++s) {
        const int64_t pos = file_.physical(file_.cfb.sectorStart(s));
        if (pos < 0)
            continue;
        if (!fits(file_.bytes, static_cast<size_t>(pos), 32))
            break;
        const std::span<const uint8_t> head = file_.bytes.subspan(static_cast<size_t>(pos), 32);
        if (readU16LE(head, 0) != kFibIdent || versionFromFib(head) != kWordVersion97)
            continue;
        // The document of an embedded object is not the one being recovered.
        if (std::binary_search(nestedStarts_.begin(), nestedStarts_.end(), s))
            continue;
        const int64_t cbMac = static_cast<uint32_t>(file_.readI32(pos + fib::kCbMac));
        const int64_t fcMac = static_cast<uint32_t>(file_.readI32(pos + fib::kFcMac));
        entries.push_back(rescuedEntry("WordDocument", static_cast<int32_t>(s),
                                       std::min<int64_t>(std::max(cbMac, fcMac), file_.size),
                                       file_.cfb));
        return static_cast<int32_t>(entries.size()) - 1;
    }
    return -1;
}

// The table stream is the chain that holds, where the FIB says, a piece table of exactly the
// length the FIB gives. Its length is the end of the farthest table the FIB points at.
void CDocStorage::findTableByClx(const CStreamEntry& word) {
    std::vector<uint8_t> fibBytes(fib::kPairsStart + 8 * kMostPairs, 0);
    const int64_t got = ReadAvailable(word, fibBytes, 0);
    if (got < fib::kClx + 8)
        return;
    const uint32_t fcClx = readU32LE(fibBytes, fib::kClx);
    const uint32_t lcbClx = readU32LE(fibBytes, fib::kClx + 4);
    if (lcbClx < 5 || int64_t{fcClx} + lcbClx > file_.size)
        return;
    int64_t end = int64_t{fcClx} + lcbClx;
    const int64_t pairs = std::min<int64_t>(readU16LE(fibBytes, fib::kPairCount), kMostPairs);
    for (int64_t i = 0; i < pairs && fib::kPairsStart + 8 * i + 8 <= got; ++i) {
        const int64_t fc = readU32LE(fibBytes, fib::kPairsStart + 8 * i);
        const int64_t lcb = readU32LE(fibBytes, fib::kPairsStart + 8 * i + 4);
        if (lcb > 0 && fc + lcb <= file_.size)
            end = std::max(end, fc + lcb);
    }
    // Piece tables begin with a property block or the descriptors: only those starts are read
    // in full.
    std::vector<uint8_t> clx(lcbClx);
    const bool table1 = readU16LE(fibBytes, fib::kFlags) & kWhichTableFlag;
    // A table shorter than the cutoff sits in the mini stream; its end is only a guess, so
    // the other kind of sector is tried next. Each try walks the chain up to the piece table;
    // the number of tries is bounded so that a large file cannot make the search quadratic.
    const bool miniFirst = end < kCfbMiniStreamCutoff;
    for (bool mini : {miniFirst, !miniFirst}) {
        const int64_t sectorSize = mini ? kCfbMiniSectorSize : file_.cfb.sectorSize();
        const int64_t count = mini ? static_cast<int64_t>(file_.miniFat.size()) : file_.sectorLimit;
        const int64_t stepsPerTry = fcClx / sectorSize + 1;
        const int64_t tries = std::min<int64_t>(count, kMostChainSteps / stepsPerTry);
        for (int64_t t = 0; t < tries; ++t) {
            if (!mini && t == word.startSector)
                continue;
            CStreamEntry candidate = rescuedEntry(table1 ? "1Table" : "0Table",
                                                  static_cast<int32_t>(t), end, file_.cfb, mini);
            uint8_t first = 0;
            if (ReadAvailable(candidate, std::span<uint8_t>(&first, 1), fcClx) != 1 ||
                (first != kClxPrc && first != kClxPcdt))
                continue;
            if (ReadAvailable(candidate, clx, fcClx) != lcbClx || !wholeClx(clx))
                continue;
            entries.push_back(std::move(candidate));
            const int32_t index = static_cast<int32_t>(entries.size()) - 1;
            (table1 ? table1Index : table0Index) = index;
            tableIndex = index;
            return;
        }
    }
}

bool CDocStorage::readChain(const CStreamEntry& entry, std::span<uint8_t> dest, int64_t offset,
                            int64_t& copied, int64_t* guesses) const {
    copied = 0;
    const bool mini = entry.sectorSize == kCfbMiniSectorSize;
    const int64_t sectorSize = mini ? kCfbMiniSectorSize : file_.cfb.sectorSize();
    // A chain never holds more sectors than its table has entries; more steps mean a circle.
    const int64_t maxSteps =
        static_cast<int64_t>(mini ? file_.miniFat.size() : file_.fat.size()) + 1;
    int64_t remaining = static_cast<int64_t>(dest.size());
    int64_t s = entry.startSector;
    std::vector<bool> visited;
    if (guesses)
        visited.assign(static_cast<size_t>(maxSteps), false);
    for (int64_t steps = 0; remaining > 0; ++steps) {
        if (s < 0 || steps > maxSteps)
            return true;
        if (offset >= sectorSize) {
            offset -= sectorSize;
        } else {
            const int64_t length = std::min(sectorSize - offset, remaining);
            int64_t logical;
            if (mini) {
                const int64_t perSector = file_.cfb.miniSectorsPerSector();
                const int64_t block = s / perSector;
                if (block >= static_cast<int64_t>(file_.miniStreamChain.size()))
                    return false;
                logical = file_.cfb.sectorStart(file_.miniStreamChain[static_cast<size_t>(block)]) +
                          (s % perSector) * kCfbMiniSectorSize + offset;
            } else {
                logical = file_.cfb.sectorStart(s) + offset;
            }
            const int64_t pos = file_.physical(logical);
            if (pos < 0)
                return false;
            if (!fits(file_.bytes, static_cast<size_t>(pos), static_cast<size_t>(length))) {
                // A file cut inside a sector still holds that sector's first bytes.
                const int64_t held = static_cast<int64_t>(file_.bytes.size()) - pos;
                if (guesses && held > 0) {
                    std::memcpy(dest.data() + copied, file_.bytes.data() + pos,
                                static_cast<size_t>(held));
                    copied += held;
                }
                return false;
            }
            std::memcpy(dest.data() + copied, file_.bytes.data() + pos,
                        static_cast<size_t>(length));
            copied += length;
            remaining -= length;
            offset = 0;
        }
        int64_t next = mini ? file_.nextMiniSector(s) : file_.nextSector(s);
        if (guesses && remaining > 0) {
            if (s < maxSteps - 1)
                visited[static_cast<size_t>(s)] = true;
            const auto usable = [&](int64_t t) {
                return t >= 0 && t < maxSteps - 1 && !visited[static_cast<size_t>(t)];
            };
            if (!usable(next) && usable(s + 1)) {
                next = s + 1;
                ++*guesses;
            }
        }
        s = next;
    }
    return true;
}

bool CDocStorage::ReadStream(const CStreamEntry& entry, std::span<uint8_t> dest, int32_t count,
                             int32_t offset) const {
    if (count < 0 || offset < 0)
        return false;
    const int64_t bytes = int64_t{count} * (ctx_.textIs16Bit ? 2 : 1);
    if (bytes > static_cast<int64_t>(dest.size()))
        return false;
    int64_t copied = 0;
    return readChain(entry, dest.first(static_cast<size_t>(bytes)), offset, copied);
}

std::vector<uint8_t> CDocStorage::ReadWholeStream(const CStreamEntry& entry, size_t room) const {
    const bool mini = entry.sectorSize == kCfbMiniSectorSize;
    // Never more than the chain table could describe, whatever the entry claims.
    const int64_t most =
        (static_cast<int64_t>(mini ? file_.miniFat.size() : file_.fat.size()) + 1) *
        (mini ? kCfbMiniSectorSize : file_.cfb.sectorSize());
    const int64_t want = std::clamp<int64_t>(entry.size, 0, most);
    std::vector<uint8_t> out;
    reserveLarge(out, std::max(static_cast<size_t>(want), room));
    out.resize(static_cast<size_t>(want));
    int64_t copied = 0;
    int64_t guesses = 0;
    // The table is never empty here unless the stream has no sectors to read at all.
    const bool canGuess = entry.startSector >= 0 && want > 0;
    readChain(entry, out, 0, copied, canGuess ? &guesses : nullptr);
    if (guesses > 0)
        ctx_.findings.note(FindingGrade::Potential, docfinding::kChainGuessed, entry.startSector);
    if (copied < want)
        ctx_.findings.note(FindingGrade::Incorrect, docfinding::kStreamCutShort, copied);
    out.resize(static_cast<size_t>(copied));
    return out;
}

}  // namespace morvel
