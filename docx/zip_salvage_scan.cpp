#include "docx/zip_salvage_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "docx/inflate_zip.h"
#include "docx/zip_data_checker.h"
#include "docx/zip_records.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

// The inflate budget of one archive: a floor that lets any real package through, plus a
// multiple of the input (packages compress XML 20 to 50 times), plus twice what the entries
// that both maps agree on declare. Work is input used plus output made.
constexpr uint64_t kBudgetFloor = uint64_t{64} << 20;
constexpr uint64_t kBudgetPerInputByte = 64;
constexpr uint64_t kBudgetPerConfirmedByte = 2;
// Inflated XML kept from the check for the engine to read, beyond the input's own size.
constexpr uint64_t kKeepFloor = uint64_t{64} << 20;
constexpr uint64_t kMax32 = 0xFFFFFFFFu;

// Record signatures the walk recognises; only local headers, central directory headers and
// the end record lead to any action, the others are passed over.
constexpr std::array<uint32_t, 9> kKnownSignatures = {kLocalHeaderSignature,
                                                      0x08064B50,
                                                      kCentralHeaderSignature,
                                                      0x05054B50,
                                                      0x06064B50,
                                                      0x07064B50,
                                                      kEndRecordSignature,
                                                      kDescriptorSignature,
                                                      0x30304B50};

bool isKnownSignature(uint32_t sig) {
    return std::find(kKnownSignatures.begin(), kKnownSignatures.end(), sig) !=
           kKnownSignatures.end();
}

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

uint64_t saturatingMul(uint64_t a, uint64_t b) {
    return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

// Parts the engine reads and rewrites: their content is worth keeping from the check.
bool engineReads(ByteSpan name) {
    const std::string_view n = name.view();
    return n.ends_with(".xml") || n.ends_with(".rels");
}

bool methodSupported(uint16_t method) {
    return method == kMethodStored || method == kMethodDeflate;
}

// A local header as stored, ZIP64 sizes applied, before any check.
struct LocalHeader {
    size_t offset = 0;
    uint16_t versionNeeded = 0, flags = 0, method = 0, modTime = 0, modDate = 0;
    uint16_t nameLength = 0, extraLength = 0;
    uint32_t crc = 0;
    uint64_t compressed = 0, uncompressed = 0;
    size_t dataStart = 0;  // may lie past the end of the file
    ByteSpan name, extra;  // extra clipped to the file
    bool nameFits = false;
};

// What one record claims about an entry's data.
struct Claim {
    size_t dataStart = 0;
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t crc = 0;
    uint64_t compressed = 0;
    uint64_t uncompressed = 0;
    ByteSpan name;
    // Flag bit 3 with CRC and sizes zero: only the data's own end and its descriptor tell.
    bool deferred() const {
        return (flags & kFlagDataDescriptor) != 0 && crc == 0 && compressed == 0 &&
               uncompressed == 0;
    }
};

struct Verdict {
    bool ok = false;
    CrcState crc = CrcState::Unchecked;
    std::string_view reason;
    FindingGrade grade = FindingGrade::None;
    uint32_t trueCrc = 0;
    uint64_t compressed = 0, uncompressed = 0;
    uint32_t descriptorLength = 0;
    bool fromDescriptor = false;
    bool storedSizesFixed = false;
};

Verdict refused(std::string_view reason, FindingGrade grade, CrcState crc) {
    Verdict v;
    v.reason = reason;
    v.grade = grade;
    v.crc = crc;
    return v;
}

Verdict accepted(uint32_t crc, uint64_t compressed, uint64_t uncompressed) {
    Verdict v;
    v.ok = true;
    v.crc = CrcState::Ok;
    v.trueCrc = crc;
    v.compressed = compressed;
    v.uncompressed = uncompressed;
    return v;
}

class Scan {
  public:
    explicit Scan(std::span<const uint8_t> archive) : buf_(archive) {}
    ZipScanResult run();

  private:
    struct Sig {
        size_t at;
        uint32_t sig;
        uint32_t record;  // index into locals_ or centrals_
    };

    void collectSignatures();
    void correctCentralOffsets();
    LocalHeader readLocal(size_t p) const;
    std::vector<size_t> centralStarts(const CentralRecord& c) const;
    const LocalHeader* localAt(size_t offset) const;
    uint64_t inflateBudget() const;
    void registerCaps();

    Verdict verify(const Claim& c);
    Verdict verifyStored(const Claim& c);
    Verdict verifyDeflated(const Claim& c);
    Verdict storedByDescriptor(size_t dataStart);

    void examineLocal(const LocalHeader& h);
    void examineCentral(const CentralRecord& c);
    void dropNested();
    void chooseDamaged();
    void keepDamaged(DamagedEntry d);
    void note(ZipFinding f);
    void noteAcceptedData(size_t start, uint64_t length) {
        size_t& end = acceptedData_[start];
        end = std::max<size_t>(end, start + length);
    }

    std::span<const uint8_t> buf_;
    std::vector<Sig> sigs_;
    std::vector<LocalHeader> locals_;
    std::vector<CentralRecord> centrals_;
    std::vector<std::pair<size_t, size_t>> descriptors_;  // (data start it implies, position)
    std::optional<ZipDataChecker> checker_;
    std::unordered_map<size_t, Verdict> storedSearches_;  // data start -> descriptor search
    std::unordered_map<size_t, uint32_t> acceptedAt_;     // local offset -> entry index
    std::map<size_t, size_t> acceptedData_;               // accepted data: start -> end
    std::unordered_map<std::string_view, DamagedEntry> damaged_;
    ZipScanResult out_;
};

void Scan::note(ZipFinding f) {
    if (out_.findings.size() < kFindingLimit) {
        if (f.name.size() > kFindingNameLimit)
            f.name.resize(kFindingNameLimit);
        out_.findings.push_back(std::move(f));
    } else if (out_.findings.size() == kFindingLimit) {
        ZipFinding more;
        more.kind = ZipRecordKind::Archive;
        more.grade = FindingGrade::Unsure;
        more.message = zipfinding::kTooManyFindings;
        out_.findings.push_back(std::move(more));
    }
}

LocalHeader Scan::readLocal(size_t p) const {
    LocalHeader h;
    h.offset = p;
    h.versionNeeded = readU16LE(buf_, p + 4);
    h.flags = readU16LE(buf_, p + 6);
    h.method = readU16LE(buf_, p + 8);
    h.modTime = readU16LE(buf_, p + 10);
    h.modDate = readU16LE(buf_, p + 12);
    h.crc = readU32LE(buf_, p + 14);
    h.compressed = readU32LE(buf_, p + 18);
    h.uncompressed = readU32LE(buf_, p + 22);
    h.nameLength = readU16LE(buf_, p + 26);
    h.extraLength = readU16LE(buf_, p + 28);
    const size_t nameAt = p + kLocalHeaderSize;
    h.nameFits = fits(buf_, p, kLocalHeaderSize) && fits(buf_, nameAt, h.nameLength);
    if (h.nameFits) {
        h.name = ByteSpan(buf_.data() + nameAt, h.nameLength);
        const size_t extraAt = nameAt + h.nameLength;
        const size_t have = std::min<size_t>(h.extraLength, buf_.size() - extraAt);
        h.extra = ByteSpan(buf_.data() + extraAt, static_cast<uint32_t>(have));
        applyZip64Extra(h.extra, h.uncompressed, h.compressed, nullptr);
    }
    h.dataStart = nameAt + h.nameLength + h.extraLength;
    return h;
}

void Scan::collectSignatures() {
    const size_t size = buf_.size();
    for (size_t p = 0; p + 4 <= size; ++p) {
        // Every signature begins with "PK"; jump to the next candidate.
        const void* hit = std::memchr(buf_.data() + p, 'P', size - p);
        if (hit == nullptr)
            break;
        p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - buf_.data());
        const uint32_t sig = readU32LE(buf_, p);
        if (p + 4 > size || !isKnownSignature(sig))
            continue;
        Sig s{p, sig, 0};
        if (sig == kLocalHeaderSignature) {
            if (!fits(buf_, p, kLocalHeaderSize))
                continue;
            s.record = static_cast<uint32_t>(locals_.size());
            locals_.push_back(readLocal(p));
        } else if (sig == kCentralHeaderSignature) {
            CentralRecord c;
            if (!readCentralRecord(buf_, p, c))
                c.offset = p;  // unreadable, but still an extent to step over
            s.record = static_cast<uint32_t>(centrals_.size());
            centrals_.push_back(c);
        } else if (sig == kDescriptorSignature) {
            // The data start a descriptor here would close, for 32- and 64-bit sizes.
            const uint64_t c32 = readU32LE(buf_, p + 8), c64 = readU64LE(buf_, p + 8);
            if (c32 <= p)
                descriptors_.emplace_back(p - c32, p);
            if (c64 <= p && c64 != c32)
                descriptors_.emplace_back(p - c64, p);
        }
        sigs_.push_back(s);
    }
    std::sort(descriptors_.begin(), descriptors_.end());
}

// Bytes added before an archive (or cut from its front) move every local header away from
// the offset its central record gives. An end record whose central directory lies right
// before it tells by how much; a central record is moved by that much when its own offset
// does not reach a header of its name and the moved one does (or its own lies outside).
void Scan::correctCentralOffsets() {
    std::optional<int64_t> shift;
    for (const Sig& s : sigs_) {
        if (s.sig != kEndRecordSignature || !fits(buf_, s.at, kEndRecordSize))
            continue;
        const uint32_t cdSize = readU32LE(buf_, s.at + 12), cdOffset = readU32LE(buf_, s.at + 16);
        if (cdSize <= s.at && readU32LE(buf_, s.at - cdSize) == kCentralHeaderSignature)
            shift = static_cast<int64_t>(s.at - cdSize) - static_cast<int64_t>(cdOffset);
    }
    if (!shift || *shift == 0)
        return;
    auto namedHeaderAt = [&](uint64_t o, ByteSpan name) {
        return o < buf_.size() && fits(buf_, o + kLocalHeaderSize, name.length) &&
               std::memcmp(buf_.data() + o + kLocalHeaderSize, name.data, name.length) == 0;
    };
    for (CentralRecord& c : centrals_) {
        if (c.name.absent())
            continue;
        const uint64_t moved = c.localOffset + static_cast<uint64_t>(*shift);
        if (moved >= buf_.size() || namedHeaderAt(c.localOffset, c.name))
            continue;
        if (namedHeaderAt(moved, c.name) || c.localOffset >= buf_.size())
            c.localOffset = moved;
    }
}

const LocalHeader* Scan::localAt(size_t offset) const {
    auto it = std::lower_bound(locals_.begin(), locals_.end(), offset,
                               [](const LocalHeader& h, size_t o) { return h.offset < o; });
    return it != locals_.end() && it->offset == offset ? &*it : nullptr;
}

// Where a central record's data may begin: after the local header's own name and extra
// when that header still carries the same name; else after the central record's name and
// extra (or name alone) when the local header is damaged. A local header that survives
// with another name is another entry's, and gives nothing.
std::vector<size_t> Scan::centralStarts(const CentralRecord& c) const {
    std::vector<size_t> starts;
    const size_t o = c.localOffset;
    if (o > buf_.size())
        return starts;
    const size_t n = c.name.length;
    const bool signatureSurvives = readU32LE(buf_, o) == kLocalHeaderSignature;
    const bool nameSurvives = fits(buf_, o + kLocalHeaderSize, n) &&
                              std::memcmp(buf_.data() + o + kLocalHeaderSize, c.name.data, n) == 0;
    if (nameSurvives && readU16LE(buf_, o + 26) == n)
        starts.push_back(o + kLocalHeaderSize + n + readU16LE(buf_, o + 28));
    if (signatureSurvives && !nameSurvives)
        return starts;
    for (size_t s : {o + kLocalHeaderSize + n + c.extra.length, o + kLocalHeaderSize + n})
        if (std::find(starts.begin(), starts.end(), s) == starts.end())
            starts.push_back(s);
    return starts;
}

uint64_t Scan::inflateBudget() const {
    // Entries both maps agree on, each counted by its compressed extent: a real package's
    // entries lie side by side, so extents that overlap one already counted (headers
    // sharing one stream) add nothing.
    std::vector<std::pair<size_t, const CentralRecord*>> confirmed;
    for (const CentralRecord& c : centrals_) {
        const LocalHeader* h = localAt(c.localOffset);
        if (c.method == kMethodDeflate && h && h->nameFits && h->name.view() == c.name.view() &&
            h->crc == c.crc)
            confirmed.emplace_back(h->dataStart, &c);
    }
    std::sort(confirmed.begin(), confirmed.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    uint64_t declared = 0;
    size_t reach = 0;
    for (const auto& [start, c] : confirmed) {
        if (start < reach)
            continue;
        reach = start + c->compressedSize;
        declared = saturatingAdd(
            declared,
            std::min(c->uncompressedSize, maxInflatedSize(static_cast<uint32_t>(
                                              std::min<uint64_t>(c->compressedSize, kMax32)))));
    }
    return saturatingAdd(
        saturatingAdd(kBudgetFloor, saturatingMul(buf_.size(), kBudgetPerInputByte)),
        saturatingMul(declared, kBudgetPerConfirmedByte));
}

// Every claim on a deflate stream raises the cap its one inflate runs to, so that the
// largest declared size decides and the stream is never inflated twice.
void Scan::registerCaps() {
    for (const LocalHeader& h : locals_)
        if (h.method == kMethodDeflate && h.nameFits)
            checker_->raiseCap(h.dataStart, (h.flags & kFlagDataDescriptor) != 0
                                                ? ZipDataChecker::kUnbounded
                                                : h.uncompressed);
    for (const CentralRecord& c : centrals_)
        if (c.method == kMethodDeflate && !c.name.absent())
            for (size_t s : centralStarts(c))
                checker_->raiseCap(s, c.uncompressedSize);
}

Verdict Scan::verify(const Claim& c) {
    if (c.dataStart > buf_.size())
        return refused(zipfinding::kCutOff, FindingGrade::Incorrect, CrcState::Unchecked);
    if (!c.deferred() && (c.compressed > kMax32 || c.uncompressed > kMax32))
        return refused(zipfinding::kOverSized, FindingGrade::Incorrect, CrcState::Unchecked);
    Verdict v = c.method == kMethodStored ? verifyStored(c) : verifyDeflated(c);
    // A header with a descriptor may declare a compressed size its stream does not use;
    // whatever vouched for the content, the entry's data must lie in the file.
    if (v.ok && v.compressed > buf_.size() - c.dataStart)
        v = refused(zipfinding::kCutOff, FindingGrade::Incorrect, CrcState::Unchecked);
    return v;
}

Verdict Scan::verifyStored(const Claim& c) {
    const size_t avail = buf_.size() - c.dataStart;
    const bool descriptor = (c.flags & kFlagDataDescriptor) != 0;
    if (c.deferred())
        return storedByDescriptor(c.dataStart);
    // Stored bytes are their own size: when the two sizes disagree, whichever one the CRC
    // holds over is the true one.
    bool anyFits = false;
    for (uint64_t length : {c.compressed, c.uncompressed}) {
        if (length > avail)
            continue;
        anyFits = true;
        const uint32_t crc = checker_->crcOf(c.dataStart, c.dataStart + length);
        const auto d = descriptor ? matchDescriptor(buf_, c.dataStart + length, crc, length, length)
                                  : std::nullopt;
        if (crc == c.crc || d) {
            Verdict v = accepted(crc, length, length);
            v.storedSizesFixed = c.compressed != c.uncompressed;
            v.descriptorLength = d ? d->length : 0;
            v.fromDescriptor = d && crc != c.crc;
            return v;
        }
        if (c.compressed == c.uncompressed)
            break;
    }
    if (descriptor)
        if (Verdict v = storedByDescriptor(c.dataStart); v.ok)
            return v;
    return anyFits ? refused(zipfinding::kCrcMismatch, FindingGrade::Incorrect, CrcState::Failed)
                   : refused(zipfinding::kCutOff, FindingGrade::Incorrect, CrcState::Unchecked);
}

// Stored data whose size only a descriptor tells: each descriptor that would close a run of
// data starting here is tried, once per start whatever number of headers share it.
Verdict Scan::storedByDescriptor(size_t dataStart) {
    if (auto known = storedSearches_.find(dataStart); known != storedSearches_.end())
        return known->second;
    Verdict found = refused(zipfinding::kNoDescriptor, FindingGrade::Unsure, CrcState::Unchecked);
    auto it = std::lower_bound(descriptors_.begin(), descriptors_.end(),
                               std::make_pair(dataStart, size_t{0}));
    for (; it != descriptors_.end() && it->first == dataStart; ++it) {
        const size_t length = it->second - dataStart;
        const uint32_t crc = checker_->crcOf(dataStart, it->second);
        if (auto d = matchDescriptor(buf_, it->second, crc, length, length)) {
            found = accepted(crc, length, length);
            found.descriptorLength = d->length;
            found.fromDescriptor = true;
            break;
        }
    }
    storedSearches_.emplace(dataStart, found);
    return found;
}

Verdict Scan::verifyDeflated(const Claim& c) {
    const size_t avail = buf_.size() - c.dataStart;
    const bool descriptor = (c.flags & kFlagDataDescriptor) != 0;
    if (!c.deferred()) {
        if (c.compressed == 0)
            return c.uncompressed == 0 && c.crc == 0
                       ? accepted(0, 0, 0)
                       : refused(zipfinding::kNoData, FindingGrade::Incorrect, CrcState::Failed);
        if (!descriptor && c.compressed > avail)
            return refused(zipfinding::kCutOff, FindingGrade::Incorrect, CrcState::Unchecked);
        if (!descriptor && c.uncompressed > maxInflatedSize(static_cast<uint32_t>(c.compressed)))
            return refused(zipfinding::kImpossibleSize, FindingGrade::Incorrect,
                           CrcState::Unchecked);
    }
    const InflateZip::StreamRun& run = checker_->inflateAt(c.dataStart, engineReads(c.name));
    switch (run.stop) {
        case InflateZip::RunStop::OutOfWork:
            return refused(zipfinding::kOutOfBudget, FindingGrade::Potential, CrcState::Unchecked);
        case InflateZip::RunStop::Broken:
            return refused(zipfinding::kStreamBroken, FindingGrade::Incorrect, CrcState::Failed);
        case InflateZip::RunStop::Capped:
            return refused(zipfinding::kTooLarge, FindingGrade::Incorrect, CrcState::Failed);
        case InflateZip::RunStop::Ended:
            break;
    }
    if (!c.deferred() && run.consumed <= c.compressed && run.produced == c.uncompressed &&
        run.crc == c.crc) {
        Verdict v = accepted(c.crc, c.compressed, c.uncompressed);
        if (descriptor)
            if (auto d = matchDescriptor(buf_, c.dataStart + c.compressed, c.crc, c.compressed,
                                         c.uncompressed))
                v.descriptorLength = d->length;
        return v;
    }
    if (descriptor && run.consumed <= avail && run.produced <= kMax32)
        if (auto d = matchDescriptor(buf_, c.dataStart + run.consumed, run.crc, run.consumed,
                                     run.produced)) {
            Verdict v = accepted(run.crc, run.consumed, run.produced);
            v.descriptorLength = d->length;
            v.fromDescriptor = true;
            return v;
        }
    return refused(
        descriptor && c.deferred() ? zipfinding::kNoDescriptor : zipfinding::kCrcMismatch,
        FindingGrade::Incorrect, CrcState::Failed);
}

// Fills the header fields the writer puts out, with the checked values.
LocalEntry makeEntry(std::span<const uint8_t> buf, size_t offset, size_t dataStart,
                     const Verdict& v) {
    LocalEntry e;
    e.offset = static_cast<uint32_t>(offset);
    e.header = fits(buf, offset, kLocalHeaderSize) ? buf.data() + offset : nullptr;
    e.valid = 1;
    e.signature = kLocalHeaderSignature;
    e.crc = v.trueCrc;
    e.compressedSize = static_cast<uint32_t>(v.compressed);
    e.uncompressedSize = static_cast<uint32_t>(v.uncompressed);
    e.dataOffset = static_cast<uint32_t>(dataStart - offset);
    e.data = ByteSpan(buf.data() + dataStart, e.compressedSize);
    e.recordLength = static_cast<uint32_t>(
        std::min<uint64_t>(e.dataOffset + v.compressed + v.descriptorLength, kMax32));
    return e;
}

ZipFinding findingOf(ZipRecordKind kind, size_t offset, ByteSpan name, uint16_t method,
                     uint64_t compressed, uint64_t uncompressed) {
    ZipFinding f;
    f.kind = kind;
    f.offset = offset;
    f.name.assign(name.view().substr(0, kFindingNameLimit));
    f.method = method;
    f.compressedSize = compressed;
    f.uncompressedSize = uncompressed;
    return f;
}

// A damaged entry's data, clipped to the file: its declared compressed length, or the
// rest of the file when that is unknown.
DamagedEntry damagedOf(std::span<const uint8_t> buf, LocalEntry e, size_t dataStart,
                       const Claim& c) {
    DamagedEntry d;
    const size_t start = std::min(dataStart, buf.size());
    const uint64_t want = c.deferred() ? buf.size() - start : c.compressed;
    const auto length = static_cast<uint32_t>(std::min<uint64_t>(want, buf.size() - start));
    e.data = ByteSpan(buf.data() + start, length);
    e.compressedSize = static_cast<uint32_t>(std::min<uint64_t>(c.compressed, kMax32));
    e.uncompressedSize = static_cast<uint32_t>(std::min<uint64_t>(c.uncompressed, kMax32));
    d.entry = e;
    d.declaredSize = c.uncompressed;
    d.declaredCrc = c.crc;
    d.declaredTrusted =
        !c.deferred() && c.uncompressed <= kMax32 && c.compressed <= kMax32 &&
        (c.method == kMethodStored
             ? c.uncompressed == c.compressed
             : c.uncompressed <= maxInflatedSize(static_cast<uint32_t>(c.compressed)));
    return d;
}

void Scan::keepDamaged(DamagedEntry d) {
    auto [it, added] = damaged_.try_emplace(d.entry.name.view(), d);
    if (added)
        return;
    // The most complete candidate wins, and a central record's extent over a local one's.
    const DamagedEntry& old = it->second;
    if (std::make_pair(d.fromCentral, d.entry.data.length) >
        std::make_pair(old.fromCentral, old.entry.data.length))
        it->second = d;
}

void Scan::examineLocal(const LocalHeader& h) {
    ZipFinding f = findingOf(ZipRecordKind::LocalHeader, h.offset, h.name, h.method, h.compressed,
                             h.uncompressed);
    if (!h.nameFits || !plausibleName(h.name)) {
        f.grade = FindingGrade::Unsure;
        f.message = zipfinding::kImplausibleName;
        note(std::move(f));
        return;
    }
    if (!methodSupported(h.method) || (h.flags & kFlagEncrypted) != 0) {
        f.grade = FindingGrade::Potential;
        f.message =
            methodSupported(h.method) ? zipfinding::kEncrypted : zipfinding::kUnsupportedMethod;
        note(std::move(f));
        return;
    }
    Claim c{h.dataStart, h.method, h.flags, h.crc, h.compressed, h.uncompressed, h.name};
    const Verdict v = verify(c);
    LocalEntry e = makeEntry(buf_, h.offset, h.dataStart, v);
    e.versionNeeded = h.versionNeeded;
    e.flags = static_cast<uint16_t>(h.flags & ~kFlagDataDescriptor);
    e.method = h.method;
    e.modTime = h.modTime;
    e.modDate = h.modDate;
    e.nameLength = h.nameLength;
    e.extraLength = static_cast<uint16_t>(h.extra.length);
    e.name = h.name;
    e.extra = h.extra;
    e.nameOffset = kLocalHeaderSize;
    e.extraOffset = kLocalHeaderSize + h.nameLength;
    if (!v.ok) {
        f.crc = v.crc;
        f.grade = v.grade;
        f.message = v.reason;
        note(std::move(f));
        keepDamaged(damagedOf(buf_, e, h.dataStart, c));
        return;
    }
    if ((h.flags & kFlagDataDescriptor) != 0) {
        e.descriptorCrc32 = e.crc;
        e.descriptorCompressedSize = e.compressedSize;
        e.descriptorUncompressedSize = e.uncompressedSize;
    }
    acceptedAt_.emplace(h.offset, static_cast<uint32_t>(out_.entries.size()));
    noteAcceptedData(h.dataStart, v.compressed);
    out_.entries.push_back(e);
    f.crc = CrcState::Ok;
    f.accepted = true;
    f.compressedSize = v.compressed;
    f.uncompressedSize = v.uncompressed;
    f.message = v.storedSizesFixed ? zipfinding::kStoredSizesDisagree
                : v.fromDescriptor ? zipfinding::kDescriptorResolved
                                   : zipfinding::kAccepted;
    f.grade = v.storedSizesFixed ? FindingGrade::Potential : FindingGrade::None;
    note(std::move(f));
}

void Scan::examineCentral(const CentralRecord& c) {
    ZipFinding f = findingOf(ZipRecordKind::CentralHeader, c.offset, c.name, c.method,
                             c.compressedSize, c.uncompressedSize);
    f.source = EntrySource::Central;
    if (!plausibleName(c.name)) {
        f.grade = FindingGrade::Unsure;
        f.message = zipfinding::kImplausibleName;
        note(std::move(f));
        return;
    }
    if (!methodSupported(c.method) || (c.flags & kFlagEncrypted) != 0) {
        f.grade = FindingGrade::Potential;
        f.message =
            methodSupported(c.method) ? zipfinding::kEncrypted : zipfinding::kUnsupportedMethod;
        note(std::move(f));
        return;
    }
    if (c.localOffset >= buf_.size()) {
        f.grade = FindingGrade::Incorrect;
        f.message = zipfinding::kCentralOutside;
        note(std::move(f));
        return;
    }
    // A header inside an accepted entry's data belongs to what that entry holds (or overlaps
    // it on purpose): checking it would cost an inflate for an entry that is dropped anyway.
    if (auto inside = acceptedData_.upper_bound(c.localOffset);
        inside != acceptedData_.begin() && c.localOffset < std::prev(inside)->second &&
        c.localOffset >= std::prev(inside)->first) {
        f.grade = FindingGrade::Unsure;
        f.message = zipfinding::kNested;
        note(std::move(f));
        return;
    }
    if (auto found = acceptedAt_.find(c.localOffset); found != acceptedAt_.end()) {
        LocalEntry& e = out_.entries[found->second];
        if (e.name.view() != c.name.view()) {
            f.grade = FindingGrade::Unsure;
            f.message = zipfinding::kCentralForeign;
        } else {
            if (e.source == EntrySource::Local)
                e.source = EntrySource::Both;
            const bool agrees = e.crc == c.crc && e.compressedSize == c.compressedSize &&
                                e.uncompressedSize == c.uncompressedSize;
            f.crc = agrees ? CrcState::Ok : CrcState::Unchecked;
            f.grade = agrees ? FindingGrade::None : FindingGrade::Potential;
            f.message = agrees ? zipfinding::kCentralConfirms : zipfinding::kCentralDisagrees;
            f.accepted = true;
            f.source = e.source;
        }
        note(std::move(f));
        return;
    }
    const std::vector<size_t> starts = centralStarts(c);
    if (starts.empty()) {
        f.grade = FindingGrade::Unsure;
        f.message = zipfinding::kCentralForeign;
        note(std::move(f));
        return;
    }
    // The central record knows the true sizes, so a descriptor never has to supply them.
    Claim claim{0, c.method, c.flags, c.crc, c.compressedSize, c.uncompressedSize, c.name};
    if (claim.deferred())
        claim.flags = static_cast<uint16_t>(claim.flags & ~kFlagDataDescriptor);
    Verdict v;
    size_t start = starts.front();
    for (size_t s : starts) {
        claim.dataStart = s;
        v = verify(claim);
        if (v.ok) {
            start = s;
            break;
        }
    }
    LocalEntry e = makeEntry(buf_, c.localOffset, start, v);
    e.versionNeeded = c.versionNeeded;
    e.flags = static_cast<uint16_t>(c.flags & ~kFlagDataDescriptor);
    e.method = c.method;
    e.modTime = c.modTime;
    e.modDate = c.modDate;
    e.nameLength = static_cast<uint16_t>(c.name.length);
    e.name = c.name;
    e.nameOffset = kLocalHeaderSize;
    e.extraOffset = kLocalHeaderSize + c.name.length;
    e.source = EntrySource::Central;
    if (!v.ok) {
        f.crc = v.crc;
        f.grade = v.grade;
        f.message = v.reason;
        note(std::move(f));
        claim.dataStart = start;
        DamagedEntry d = damagedOf(buf_, e, start, claim);
        d.fromCentral = true;
        keepDamaged(d);
        return;
    }
    acceptedAt_.emplace(c.localOffset, static_cast<uint32_t>(out_.entries.size()));
    noteAcceptedData(start, v.compressed);
    out_.entries.push_back(e);
    f.crc = CrcState::Ok;
    f.accepted = true;
    f.grade = FindingGrade::Potential;
    f.message = zipfinding::kFromCentral;
    note(std::move(f));
}

// An entry found through a central record may hold, in its data, entries the walk took
// from a nested archive; those are its bytes, not entries of this package.
void Scan::dropNested() {
    std::vector<LocalEntry>& all = out_.entries;
    std::vector<uint32_t> order(all.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    auto dataStart = [&](const LocalEntry& e) { return size_t{e.offset} + e.dataOffset; };
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return dataStart(all[a]) < dataStart(all[b]); });
    std::vector<bool> nested(all.size(), false);
    size_t reach = 0;
    for (uint32_t i : order) {
        const size_t s = dataStart(all[i]);
        if (s < reach) {
            nested[i] = true;
            ZipFinding f = findingOf(ZipRecordKind::LocalHeader, all[i].offset, all[i].name,
                                     all[i].method, all[i].compressedSize, all[i].uncompressedSize);
            f.grade = FindingGrade::Unsure;
            f.message = zipfinding::kNested;
            note(std::move(f));
            continue;
        }
        reach = std::max(reach, s + all[i].compressedSize);
    }
    std::vector<LocalEntry> kept;
    kept.reserve(all.size());
    for (uint32_t i = 0; i < all.size(); ++i)
        if (!nested[i])
            kept.push_back(all[i]);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const LocalEntry& a, const LocalEntry& b) { return a.offset < b.offset; });
    all = std::move(kept);
}

void Scan::chooseDamaged() {
    std::unordered_map<std::string_view, bool> intact;
    std::vector<std::pair<size_t, size_t>> extents;  // accepted entries' data
    for (const LocalEntry& e : out_.entries) {
        intact.emplace(e.name.view(), true);
        const size_t s = size_t{e.offset} + e.dataOffset;
        extents.emplace_back(s, s + e.compressedSize);
    }
    std::sort(extents.begin(), extents.end());
    auto insideIntact = [&](size_t at) {
        auto it = std::upper_bound(extents.begin(), extents.end(), std::make_pair(at, SIZE_MAX));
        return it != extents.begin() && at < std::prev(it)->second;
    };
    for (auto& [name, d] : damaged_)
        if (!intact.count(name) && !insideIntact(d.entry.offset))
            out_.damaged.push_back(d);
    std::sort(out_.damaged.begin(), out_.damaged.end(),
              [](const DamagedEntry& a, const DamagedEntry& b) {
                  return a.entry.offset < b.entry.offset;
              });
    for (const DamagedEntry& d : out_.damaged) {
        ZipFinding f = findingOf(
            d.fromCentral ? ZipRecordKind::CentralHeader : ZipRecordKind::LocalHeader,
            d.entry.offset, d.entry.name, d.entry.method, d.entry.data.length, d.declaredSize);
        f.source = d.fromCentral ? EntrySource::Central : EntrySource::Local;
        f.crc = CrcState::Failed;
        f.grade = FindingGrade::Potential;
        f.message = zipfinding::kDamagedKept;
        note(std::move(f));
    }
}

ZipScanResult Scan::run() {
    collectSignatures();
    correctCentralOffsets();
    const uint64_t keep = saturatingAdd(kKeepFloor, buf_.size());
    checker_.emplace(buf_, inflateBudget(), keep);
    registerCaps();
    // The walk: a signature inside the last accepted record (its data, typically) or
    // inside a central or end record's extent is never examined.
    size_t lastEnd = 0;
    std::vector<uint32_t> liveCentrals;
    for (const Sig& s : sigs_) {
        if (s.at < lastEnd)
            continue;
        const size_t left = buf_.size() - s.at;
        if (s.sig == kCentralHeaderSignature) {
            if (left >= kCentralHeaderSize) {
                lastEnd = s.at + kCentralHeaderSize + readU16LE(buf_, s.at + 28) +
                          readU16LE(buf_, s.at + 30) + readU16LE(buf_, s.at + 32);
                if (!centrals_[s.record].name.absent())
                    liveCentrals.push_back(s.record);
            }
        } else if (s.sig == kEndRecordSignature) {
            if (left >= kEndRecordSize) {
                lastEnd = s.at + kEndRecordSize + readU16LE(buf_, s.at + 20);
                ZipFinding f;
                f.kind = ZipRecordKind::EndRecord;
                f.offset = s.at;
                f.message = zipfinding::kEndRecord;
                note(std::move(f));
            }
        } else if (s.sig == kLocalHeaderSignature) {
            const size_t before = out_.entries.size();
            examineLocal(locals_[s.record]);
            if (out_.entries.size() != before)
                lastEnd = s.at + out_.entries.back().recordLength;
        }
    }
    for (uint32_t c : liveCentrals)
        examineCentral(centrals_[c]);
    dropNested();
    chooseDamaged();
    for (const LocalEntry& e : out_.entries) {
        InflatedBytes kept;
        if (e.method == kMethodDeflate)
            kept = checker_->takeKept(size_t{e.offset} + e.dataOffset);
        // What was kept is the one inflate of the stream whose CRC accepted the entry.
        const bool held = e.method == kMethodDeflate && kept.size() == e.uncompressedSize;
        out_.held.push_back(held);
        out_.inflated.push_back(held ? std::move(kept) : InflatedBytes());
    }
    out_.inflateBudgetExhausted = checker_->budgetExhausted();
    if (out_.entries.empty()) {
        ZipFinding f;
        f.kind = ZipRecordKind::Archive;
        f.grade = FindingGrade::Fatal;
        f.message = zipfinding::kNoEntries;
        note(std::move(f));
    }
    if (out_.inflateBudgetExhausted) {
        ZipFinding f;
        f.kind = ZipRecordKind::Archive;
        f.grade = FindingGrade::Potential;
        f.message = zipfinding::kOutOfBudget;
        note(std::move(f));
    }
    return std::move(out_);
}

}  // namespace

ZipScanResult scanDamagedZip(std::span<const uint8_t> archive) {
    return Scan(archive).run();
}

}  // namespace morvel
