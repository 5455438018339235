#include "platform/compound_file_writer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/cfb_constants.h"
#include "platform/file_io.h"
#include "platform/large_buffer.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

// The writer makes version 3 files; its unsigned forms of the shared layout values.
constexpr CfbGeometry kGeometry{kCfbShiftVersion3};
constexpr uint32_t kSectorSize = kGeometry.sectorSize();
constexpr uint32_t kMiniSectorSize = kCfbMiniSectorSize;
constexpr uint32_t kMiniStreamCutoff = kCfbMiniStreamCutoff;
constexpr uint32_t kEntriesPerFatSector = kGeometry.fatEntriesPerSector();
constexpr uint32_t kHeaderDifatEntries = kCfbHeaderDifatEntries;
constexpr uint32_t kDifatEntriesPerSector = kGeometry.difatEntriesPerSector();
constexpr uint32_t kDirEntrySize = kCfbDirEntrySize;
constexpr uint32_t kDirEntriesPerSector = kGeometry.dirEntriesPerSector();
constexpr uint16_t kMinorVersion = 0x003E;
constexpr uint16_t kMajorVersion = 3;

constexpr uint32_t kFreeSect = static_cast<uint32_t>(kCfbFreeSect);
constexpr uint32_t kEndOfChain = static_cast<uint32_t>(kCfbEndOfChain);
constexpr uint32_t kFatSect = static_cast<uint32_t>(kCfbFatSect);
constexpr uint32_t kDifSect = static_cast<uint32_t>(kCfbDifSect);
constexpr uint32_t kNoStream = static_cast<uint32_t>(kCfbNoStream);

constexpr uint8_t kTypeStorage = kCfbTypeStorage;
constexpr uint8_t kTypeStream = kCfbTypeStream;
constexpr uint8_t kTypeRoot = kCfbTypeRoot;
constexpr uint8_t kColorRed = 0;
constexpr uint8_t kColorBlack = 1;

char16_t upperUnit(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 0x20);
    return c;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upperUnit(a[i]) != upperUnit(b[i]))
            return false;
    return true;
}

// The order of siblings in a directory tree: shorter names first, then by upper-cased units.
bool nameBefore(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return a.size() < b.size();
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = upperUnit(a[i]), y = upperUnit(b[i]);
        if (x != y)
            return x < y;
    }
    return false;
}

std::u16string clipName(std::u16string_view name) {
    return std::u16string(name.substr(0, std::min(name.size(), kMaxCompoundNameLength)));
}

uint32_t ceilDiv(uint64_t a, uint64_t b) {
    return static_cast<uint32_t>((a + b - 1) / b);
}

struct DirEntry {
    std::u16string name;
    uint8_t type = 0;
    uint8_t color = kColorBlack;
    uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    ClassId clsid{};
    uint32_t start = kEndOfChain;
    uint32_t size = 0;
    CompoundStream* stream = nullptr;  // taken from only by serializeTakingStreams
};

class Serializer {
  public:
    explicit Serializer(const CompoundStorage& root) {
        entries_.push_back(DirEntry{});
        entries_[0].name = root.name();
        entries_[0].type = kTypeRoot;
        entries_[0].clsid = root.classId();
        addChildren(root, 0);
    }

    // The file; with `take`, made from the streams' own buffers, which are left empty.
    std::vector<uint8_t> run(bool take) {
        layOutMiniStream();
        layOutSectors();
        return emit(take);
    }

  private:
    // Gives the storage's children directory entries and links them as a balanced tree.
    void addChildren(const CompoundStorage& storage, uint32_t parent) {
        std::vector<const CompoundStorage::Child*> kids;
        for (const auto& c : storage.children())
            kids.push_back(&c);
        std::sort(kids.begin(), kids.end(),
                  [](auto* a, auto* b) { return nameBefore(a->name(), b->name()); });
        std::vector<uint32_t> ids;
        for (const auto* c : kids) {
            DirEntry e;
            e.name = c->name();
            if (c->stream) {
                e.type = kTypeStream;
                e.stream = c->stream.get();
                e.size = c->stream->size();
            } else {
                e.type = kTypeStorage;
                e.clsid = c->storage->classId();
                e.start = 0;
            }
            ids.push_back(static_cast<uint32_t>(entries_.size()));
            entries_.push_back(e);
        }
        if (!ids.empty()) {
            int maxDepth = 0;
            for (size_t n = ids.size(); n > 1; n /= 2)
                ++maxDepth;
            entries_[parent].child = link(ids, 0, ids.size(), 0, maxDepth);
        }
        for (size_t i = 0; i < kids.size(); ++i)
            if (kids[i]->storage)
                addChildren(*kids[i]->storage, ids[i]);
    }

    // Middle element as the root of [lo, hi): every level but the last is full, so colouring
    // the last level red and the rest black keeps the tree a valid red-black tree.
    uint32_t link(const std::vector<uint32_t>& ids, size_t lo, size_t hi, int depth, int maxDepth) {
        if (lo >= hi)
            return kNoStream;
        size_t mid = lo + (hi - lo) / 2;
        DirEntry& e = entries_[ids[mid]];
        e.color = (depth == maxDepth && depth > 0) ? kColorRed : kColorBlack;
        uint32_t l = link(ids, lo, mid, depth + 1, maxDepth);
        uint32_t r = link(ids, mid + 1, hi, depth + 1, maxDepth);
        entries_[ids[mid]].left = l;
        entries_[ids[mid]].right = r;
        return ids[mid];
    }

    void layOutMiniStream() {
        for (DirEntry& e : entries_) {
            if (e.type != kTypeStream || e.size == 0 || e.size >= kMiniStreamCutoff)
                continue;
            uint32_t count = ceilDiv(e.size, kMiniSectorSize);
            e.start = static_cast<uint32_t>(miniFat_.size());
            for (uint32_t i = 0; i < count; ++i)
                miniFat_.push_back(i + 1 < count ? e.start + i + 1 : kEndOfChain);
        }
    }

    void layOutSectors() {
        const uint32_t dirSectors = ceilDiv(entries_.size(), kSectorSize / kDirEntrySize);
        miniFatSectors_ = ceilDiv(miniFat_.size(), kEntriesPerFatSector);
        miniStreamSectors_ = ceilDiv(uint64_t{miniFat_.size()} * kMiniSectorSize, kSectorSize);
        uint64_t data = uint64_t{dirSectors} + miniFatSectors_ + miniStreamSectors_;
        for (const DirEntry& e : entries_)
            if (e.type == kTypeStream && e.size >= kMiniStreamCutoff)
                data += ceilDiv(e.size, kSectorSize);
        // The FAT must also cover its own sectors and those of the DIFAT.
        fatSectors_ = 0;
        difSectors_ = 0;
        for (;;) {
            uint32_t f = ceilDiv(data + fatSectors_ + difSectors_, kEntriesPerFatSector);
            uint32_t x = f > kHeaderDifatEntries
                             ? ceilDiv(f - kHeaderDifatEntries, kDifatEntriesPerSector)
                             : 0;
            if (f == fatSectors_ && x == difSectors_)
                break;
            fatSectors_ = f;
            difSectors_ = x;
        }
        totalSectors_ = static_cast<uint32_t>(data) + fatSectors_ + difSectors_;
        fat_.assign(uint64_t{fatSectors_} * kEntriesPerFatSector, kFreeSect);
        // Streams first and the tables last, as Word lays out its files: a plain chain then
        // starts at sector 0, which is what a salvage of a damaged copy looks for.
        uint32_t next = 0;
        for (DirEntry& e : entries_)
            if (e.type == kTypeStream && e.size >= kMiniStreamCutoff)
                e.start = chain(next, ceilDiv(e.size, kSectorSize));
        entries_[0].start = miniStreamSectors_ ? chain(next, miniStreamSectors_) : kEndOfChain;
        entries_[0].size = static_cast<uint32_t>(miniFat_.size() * kMiniSectorSize);
        miniFatStart_ = miniFatSectors_ ? chain(next, miniFatSectors_) : kEndOfChain;
        dirStart_ = chain(next, dirSectors);
        difFirst_ = next;
        for (uint32_t i = 0; i < difSectors_; ++i)
            fat_[next++] = kDifSect;
        fatFirst_ = next;
        for (uint32_t i = 0; i < fatSectors_; ++i)
            fat_[next++] = kFatSect;
    }

    // Allocates `count` consecutive sectors from `next` as one chain; returns its first sector.
    uint32_t chain(uint32_t& next, uint32_t count) {
        uint32_t first = next;
        for (uint32_t i = 0; i < count; ++i, ++next)
            fat_[next] = i + 1 < count ? next + 1 : kEndOfChain;
        return first;
    }

    static uint64_t sectorPos(uint32_t s) { return uint64_t{s + 1} * kSectorSize; }

    // The largest stream kept in sectors of its own, or null when there is none.
    DirEntry* largestSectorStream() {
        DirEntry* largest = nullptr;
        for (DirEntry& e : entries_)
            if (e.type == kTypeStream && e.size >= kMiniStreamCutoff &&
                (!largest || e.size > largest->size))
                largest = &e;
        return largest;
    }

    // The whole file, zero-filled, with the bytes of `placed` (when given) already at its
    // place: its buffer becomes the file's, and its bytes move up past what comes before.
    std::vector<uint8_t> fileBuffer(DirEntry* placed) {
        const uint64_t total = sectorPos(totalSectors_);
        std::vector<uint8_t> out;
        if (!placed) {
            resizeLarge(out, total);
            return out;
        }
        out = placed->stream->takeBytes();
        const uint64_t at = sectorPos(placed->start);
        const size_t n = out.size();
        reserveLarge(out, total);  // no copy when the stream's writer made room for the file
        out.resize(total, 0);
        std::memmove(out.data() + at, out.data(), n);
        std::memset(out.data(), 0, std::min<uint64_t>(at, n));
        return out;
    }

    std::vector<uint8_t> emit(bool take) {
        DirEntry* placed = take ? largestSectorStream() : nullptr;
        std::vector<uint8_t> out = fileBuffer(placed);
        std::span<uint8_t> buf(out);

        std::memcpy(out.data(), kCfbSignature, sizeof kCfbSignature);
        writeU16LE(buf, kCfbHeaderMinorVersion, kMinorVersion);
        writeU16LE(buf, kCfbHeaderMajorVersion, kMajorVersion);
        writeU16LE(buf, kCfbHeaderByteOrder, kCfbByteOrderMark);
        writeU16LE(buf, kCfbHeaderSectorShift, kCfbShiftVersion3);
        writeU16LE(buf, kCfbHeaderMiniSectorShift, kCfbMiniSectorShift);
        writeU32LE(buf, kCfbHeaderCsectFat, fatSectors_);
        writeU32LE(buf, kCfbHeaderDirStart, dirStart_);
        writeU32LE(buf, kCfbHeaderMiniStreamCutoff, kMiniStreamCutoff);
        writeU32LE(buf, kCfbHeaderMiniFatStart, miniFatStart_);
        writeU32LE(buf, kCfbHeaderCsectMiniFat, miniFatSectors_);
        writeU32LE(buf, kCfbHeaderDifStart, difSectors_ ? difFirst_ : kEndOfChain);
        writeU32LE(buf, kCfbHeaderCsectDif, difSectors_);
        for (uint32_t i = 0; i < kHeaderDifatEntries; ++i)
            writeU32LE(buf, kCfbHeaderDifat + 4 * i, i < fatSectors_ ? fatFirst_ + i : kFreeSect);

        // DIFAT sectors list FAT sectors 109 onwards.
        for (uint32_t d = 0; d < difSectors_; ++d) {
            uint64_t pos = sectorPos(difFirst_ + d);
            for (uint32_t i = 0; i < kDifatEntriesPerSector; ++i) {
                uint32_t fatIndex = kHeaderDifatEntries + d * kDifatEntriesPerSector + i;
                writeU32LE(buf, pos + 4 * i,
                           fatIndex < fatSectors_ ? fatFirst_ + fatIndex : kFreeSect);
            }
            writeU32LE(buf, pos + 4 * kDifatEntriesPerSector,
                       d + 1 < difSectors_ ? difFirst_ + d + 1 : kEndOfChain);
        }
        for (size_t i = 0; i < fat_.size(); ++i)
            writeU32LE(buf, sectorPos(fatFirst_) + 4 * i, fat_[i]);

        uint64_t dirPos = sectorPos(dirStart_);
        for (size_t i = 0; i < entries_.size(); ++i)
            emitEntry(buf, dirPos + i * kDirEntrySize, entries_[i]);
        // Unused entries of the last directory sector link nowhere.
        uint64_t dirEnd =
            dirPos + uint64_t{ceilDiv(entries_.size(), kDirEntriesPerSector)} * kSectorSize;
        for (uint64_t p = dirPos + entries_.size() * kDirEntrySize; p < dirEnd;
             p += kDirEntrySize) {
            writeU32LE(buf, p + kCfbEntryLeft, kNoStream);
            writeU32LE(buf, p + kCfbEntryRight, kNoStream);
            writeU32LE(buf, p + kCfbEntryChild, kNoStream);
        }

        if (miniFatSectors_) {
            uint64_t pos = sectorPos(miniFatStart_);
            for (size_t i = 0; i < miniFatSectors_ * size_t{kEntriesPerFatSector}; ++i)
                writeU32LE(buf, pos + 4 * i, i < miniFat_.size() ? miniFat_[i] : kFreeSect);
        }
        for (DirEntry& e : entries_) {
            if (e.type != kTypeStream || e.size == 0 || &e == placed)
                continue;
            const std::vector<uint8_t>& bytes = e.stream->bytes();
            uint64_t pos = e.size < kMiniStreamCutoff
                               ? sectorPos(entries_[0].start) + uint64_t{e.start} * kMiniSectorSize
                               : sectorPos(e.start);
            std::memcpy(out.data() + pos, bytes.data(), bytes.size());
            if (take)
                e.stream->takeBytes();  // copied: its memory goes back at once
        }
        return out;
    }

    static void emitEntry(std::span<uint8_t> buf, uint64_t pos, const DirEntry& e) {
        for (size_t i = 0; i < e.name.size(); ++i)
            writeU16LE(buf, pos + 2 * i, e.name[i]);
        writeU16LE(buf, pos + kCfbEntryNameLength, static_cast<uint16_t>((e.name.size() + 1) * 2));
        buf[pos + kCfbEntryType] = e.type;
        buf[pos + kCfbEntryColor] = e.color;
        writeU32LE(buf, pos + kCfbEntryLeft, e.left);
        writeU32LE(buf, pos + kCfbEntryRight, e.right);
        writeU32LE(buf, pos + kCfbEntryChild, e.child);
        std::memcpy(buf.data() + pos + kCfbEntryClsid, e.clsid.data(), e.clsid.size());
        writeU32LE(buf, pos + kCfbEntryStart, e.start);
        writeU32LE(buf, pos + kCfbEntrySize, e.size);
    }

    std::vector<DirEntry> entries_;
    std::vector<uint32_t> miniFat_;
    std::vector<uint32_t> fat_;
    uint32_t miniFatSectors_ = 0, miniStreamSectors_ = 0;
    uint32_t fatSectors_ = 0, difSectors_ = 0, totalSectors_ = 0;
    uint32_t fatFirst_ = 0, difFirst_ = 0;
    uint32_t dirStart_ = kEndOfChain, miniFatStart_ = kEndOfChain;
};

}  // namespace

std::u16string compoundName(std::string_view text) {
    std::u16string name;
    for (char c : text.substr(0, std::min(text.size(), kMaxCompoundNameLength)))
        name.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    return name;
}

// Bytes written past the end are appended rather than zero-filled first and then
// overwritten: each page of a large stream is then written once.
uint32_t CompoundStream::write(std::span<const uint8_t> data) {
    uint64_t end = uint64_t{pos_} + data.size();
    if (end > 0xFFFFFFFFull)
        return 0;
    if (pos_ > bytes_.size())
        bytes_.resize(pos_, 0);  // the gap a seek left
    const size_t over = std::min(data.size(), bytes_.size() - pos_);
    if (over > 0)
        std::memcpy(bytes_.data() + pos_, data.data(), over);
    bytes_.insert(bytes_.end(), data.begin() + static_cast<std::ptrdiff_t>(over), data.end());
    pos_ = static_cast<uint32_t>(end);
    return static_cast<uint32_t>(data.size());
}

uint32_t CompoundStream::writeZeros(uint32_t count) {
    uint64_t end = uint64_t{pos_} + count;
    if (end > 0xFFFFFFFFull)
        return 0;
    if (pos_ < bytes_.size())
        std::memset(bytes_.data() + pos_, 0, std::min<size_t>(count, bytes_.size() - pos_));
    if (end > bytes_.size())
        bytes_.resize(end, 0);
    pos_ = static_cast<uint32_t>(end);
    return count;
}

void CompoundStream::reserve(uint64_t count) {
    if (count > 0xFFFFFFFFull)
        return;
    try {
        reserveLarge(bytes_, static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        // Only room ahead: without it the stream grows as it is written.
    } catch (const std::length_error&) {
    }
}

void CompoundStream::adopt(std::vector<uint8_t>&& buffer) {
    if (!bytes_.empty() || buffer.capacity() <= bytes_.capacity())
        return;
    bytes_.swap(buffer);
    bytes_.clear();
    pos_ = 0;
}

std::vector<uint8_t> CompoundStream::takeBytes() {
    std::vector<uint8_t> taken;
    taken.swap(bytes_);
    pos_ = 0;
    return taken;
}

uint32_t CompoundStream::writeU16(uint16_t v) {
    uint8_t b[2];
    writeU16LE(b, 0, v);
    return write(b);
}

uint32_t CompoundStream::writeU32(uint32_t v) {
    uint8_t b[4];
    writeU32LE(b, 0, v);
    return write(b);
}

bool CompoundStream::patch(uint32_t offset, std::span<const uint8_t> data) {
    if (!fits(bytes_, offset, data.size()))
        return false;
    if (!data.empty())
        std::memcpy(bytes_.data() + offset, data.data(), data.size());
    return true;
}

bool CompoundStream::patchU32(uint32_t offset, uint32_t v) {
    return writeU32LE(bytes_, offset, v);
}

CompoundStorage::Child* CompoundStorage::find(std::u16string_view name) {
    for (Child& c : children_)
        if (sameName(c.name(), name))
            return &c;
    return nullptr;
}

CompoundStream& CompoundStorage::createStream(std::u16string_view name) {
    std::u16string clipped = clipName(name);
    if (Child* c = find(clipped)) {
        if (c->stream) {
            c->stream->truncate();
            return *c->stream;
        }
        c->storage.reset();
        c->stream = std::make_unique<CompoundStream>(clipped);
        return *c->stream;
    }
    children_.push_back(Child{std::make_unique<CompoundStream>(clipped), nullptr});
    return *children_.back().stream;
}

CompoundStorage& CompoundStorage::createStorage(std::u16string_view name) {
    std::u16string clipped = clipName(name);
    if (Child* c = find(clipped)) {
        if (c->storage)
            return *c->storage;
        c->stream.reset();
        c->storage = std::make_unique<CompoundStorage>(clipped);
        return *c->storage;
    }
    children_.push_back(Child{nullptr, std::make_unique<CompoundStorage>(clipped)});
    return *children_.back().storage;
}

CompoundStream* CompoundStorage::findStream(std::u16string_view name) const {
    for (const Child& c : children_)
        if (c.stream && sameName(c.name(), name))
            return c.stream.get();
    return nullptr;
}

CompoundStorage* CompoundStorage::findStorage(std::u16string_view name) const {
    for (const Child& c : children_)
        if (c.storage && sameName(c.name(), name))
            return c.storage.get();
    return nullptr;
}

std::vector<uint8_t> CompoundFileWriter::serialize() const {
    return Serializer(root_).run(false);
}

std::vector<uint8_t> CompoundFileWriter::serializeTakingStreams() {
    return Serializer(root_).run(true);
}

namespace {

// Sectors of the streams under `storage` (a mini stream counted as one whole sector, of
// which `mini` keeps the count) and the directory entries they need.
void countTree(const CompoundStorage& storage, uint64_t& sectors, uint64_t& mini,
               uint64_t& entries) {
    for (const CompoundStorage::Child& c : storage.children()) {
        ++entries;
        if (c.stream) {
            sectors += ceilDiv(c.stream->size(), kSectorSize);
            mini += c.stream->size() < kMiniStreamCutoff ? 1 : 0;
        } else {
            countTree(*c.storage, sectors, mini, entries);
        }
    }
}

}  // namespace

uint64_t compoundFileSizeBound(const CompoundStorage& root, uint64_t moreBytes,
                               size_t moreStreams) {
    uint64_t sectors = ceilDiv(moreBytes, kSectorSize) + moreStreams, entries = 1 + moreStreams;
    // The streams added later may all be mini streams.
    uint64_t mini = moreStreams;
    countTree(root, sectors, mini, entries);
    // The mini stream's last sector; the mini FAT, one entry per 64 bytes of mini stream (a
    // mini stream is under 4096 bytes: 64 entries, half a sector); the directory; then the
    // FAT, which covers itself, and the DIFAT.
    sectors += 1 + ceilDiv(mini * (kMiniStreamCutoff / kMiniSectorSize), kEntriesPerFatSector) +
               ceilDiv(entries, kDirEntriesPerSector);
    const uint64_t fat = ceilDiv(sectors, kEntriesPerFatSector - 1) + 1;
    sectors += fat + ceilDiv(fat, kDifatEntriesPerSector);
    return (sectors + 1) * kSectorSize;
}

std::string CompoundFileWriter::save(const std::filesystem::path& path) const {
    std::vector<uint8_t> bytes = serialize();
    return writeFileAtomic(path, bytes, true);
}

std::vector<uint8_t> emptySummaryInformation() {
    std::vector<uint8_t> out;
    appendU16LE(out, 0xFFFE);        // byte order
    appendU16LE(out, 0);             // format version
    appendU32LE(out, 0x00020006);    // system: Win32, OS version 6.0
    out.resize(out.size() + 16, 0);  // class id: none
    appendU32LE(out, 1);             // one section
    // FMTID_SummaryInformation {F29F85E0-4FF9-1068-AB91-08002B27B3D9}
    const uint8_t fmtid[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                               0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
    out.insert(out.end(), fmtid, fmtid + 16);
    appendU32LE(out, 48);  // section offset
    // Section: size, one property (the code page, a 16-bit integer padded to 4 bytes).
    appendU32LE(out, 24);
    appendU32LE(out, 1);
    appendU32LE(out, 1);   // PID_CODEPAGE
    appendU32LE(out, 16);  // its offset inside the section
    appendU32LE(out, 2);   // VT_I2
    appendU16LE(out, 1252);
    appendU16LE(out, 0);
    return out;
}

}  // namespace morvel
