#include "docx/zip_broken_extractor.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "docx/deflate_salvage.h"
#include "docx/inflate_zip.h"
#include "platform/file_io.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

// Record signatures the walk recognises; only local headers, central directory headers and
// the end record lead to any action, the others are passed over.
constexpr std::array<uint32_t, 9> kKnownSignatures = {kLocalHeaderSignature,
                                                      0x08064B50,
                                                      kCentralHeaderSignature,
                                                      0x05054B50,
                                                      0x06064B50,
                                                      0x07064B50,
                                                      kEndRecordSignature,
                                                      0x08074B50,
                                                      0x30304B50};

// A deflated entry whose header leaves CRC and sizes to a data descriptor.
bool isDeferred(const LocalEntry& e) {
    return e.method == kMethodDeflate && (e.flags & kFlagDataDescriptor) != 0 && e.crc == 0 &&
           e.compressedSize == 0 && e.uncompressedSize == 0;
}

bool isKnownSignature(uint32_t sig) {
    for (uint32_t s : kKnownSignatures)
        if (s == sig)
            return true;
    return false;
}

}  // namespace

void ZipBrokenExtractor::Reset() {
    std::vector<uint8_t>().swap(archive_);
    std::vector<LocalEntry>().swap(entries_);
    std::vector<LocalEntry>().swap(damaged_);
    std::vector<std::unique_ptr<uint8_t[]>>().swap(inflated_);
}

int ZipBrokenExtractor::OpenFile(const std::filesystem::path& path) {
    Reset();
    if (readWholeFile(path, archive_) != ReadStatus::Ok || archive_.empty()) {
        Reset();
        return 1;
    }
    SalvageScan();
    return 0;
}

int ZipBrokenExtractor::OpenMemory(const uint8_t* bytes, uint32_t length) {
    Reset();
    if (bytes == nullptr || length == 0)
        return 0;
    archive_.assign(bytes, bytes + length);
    SalvageScan();
    return 0;
}

uint32_t ZipBrokenExtractor::FindEntry(ByteSpan name) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].name.length == name.length &&
            (name.length == 0 || std::memcmp(entries_[i].name.data, name.data, name.length) == 0))
            return static_cast<uint32_t>(i);
    return kEntryNotFound;
}

// Fills e from the local header at p; false when the record does not lie wholly in the buffer.
bool ZipBrokenExtractor::readLocalEntry(uint32_t p, LocalEntry& e) const {
    std::span<const uint8_t> buf(archive_);
    if (!fits(buf, p, kLocalHeaderSize))
        return false;
    e.offset = p;
    e.header = archive_.data() + p;
    e.valid = 1;
    e.signature = readU32LE(buf, p);
    e.versionNeeded = readU16LE(buf, p + 4);
    e.flags = readU16LE(buf, p + 6);
    e.method = readU16LE(buf, p + 8);
    e.modTime = readU16LE(buf, p + 10);
    e.modDate = readU16LE(buf, p + 12);
    e.crc = readU32LE(buf, p + 14);
    e.compressedSize = readU32LE(buf, p + 18);
    e.uncompressedSize = readU32LE(buf, p + 22);
    e.nameLength = readU16LE(buf, p + 26);
    e.extraLength = readU16LE(buf, p + 28);
    const bool descriptor = (e.flags & kFlagDataDescriptor) != 0;
    uint64_t length = uint64_t{kLocalHeaderSize} + e.nameLength + e.extraLength + e.compressedSize +
                      (descriptor ? 12 : 0);
    if (length > archive_.size() - p)
        return false;
    e.recordLength = static_cast<uint32_t>(length);
    e.nameOffset = kLocalHeaderSize;
    e.extraOffset = kLocalHeaderSize + e.nameLength;
    e.dataOffset = e.extraOffset + e.extraLength;
    e.name = ByteSpan(e.header + e.nameOffset, e.nameLength);
    e.extra = ByteSpan(e.header + e.extraOffset, e.extraLength);
    e.data = ByteSpan(e.header + e.dataOffset, e.compressedSize);
    if (descriptor) {
        size_t d = size_t{p} + e.dataOffset + e.compressedSize;
        e.descriptorCrc32 = readU32LE(buf, d);
        e.descriptorCompressedSize = readU32LE(buf, d + 4);
        e.descriptorUncompressedSize = readU32LE(buf, d + 8);
    }
    return true;
}

// A deflated entry written as a stream carries CRC 0 and sizes 0 in its local header and the
// real values in a data descriptor after the data. The deflate stream ends by itself, so its
// end is found by inflating it; the entry is taken only when the descriptor there (with or
// without its signature) agrees on CRC and both sizes. The entry then reads as an ordinary
// one with those values and no descriptor.
bool ZipBrokenExtractor::resolveDeferredSizes(LocalEntry& e) const {
    std::span<const uint8_t> buf(archive_);
    const size_t dataStart = size_t{e.offset} + e.dataOffset;
    ByteSpan rest(archive_.data() + dataStart, static_cast<uint32_t>(archive_.size() - dataStart));
    uint32_t consumed = 0, crc = 0;
    uint64_t produced = 0;
    if (!InflateZip().MeasureStream(rest, consumed, produced, crc) || produced > 0xFFFFFFFFu)
        return false;
    size_t d = dataStart + consumed;
    uint32_t descriptorLength = 12;
    if (readU32LE(buf, d) == kDescriptorSignature && readU32LE(buf, d + 4) == crc) {
        d += 4;
        descriptorLength = 16;
    }
    if (!fits(buf, d, 12) || readU32LE(buf, d) != crc || readU32LE(buf, d + 4) != consumed ||
        readU32LE(buf, d + 8) != static_cast<uint32_t>(produced))
        return false;
    e.flags &= static_cast<uint16_t>(~kFlagDataDescriptor);
    e.crc = crc;
    e.compressedSize = consumed;
    e.uncompressedSize = static_cast<uint32_t>(produced);
    e.data = ByteSpan(e.data.data, consumed);
    e.descriptorCrc32 = crc;
    e.descriptorCompressedSize = consumed;
    e.descriptorUncompressedSize = static_cast<uint32_t>(produced);
    e.recordLength = e.dataOffset + consumed + descriptorLength;
    return true;
}

void ZipBrokenExtractor::SalvageScan() {
    std::span<const uint8_t> buf(archive_);
    const size_t size = archive_.size();
    size_t lastEnd = 0;  // end of the last accepted record: signatures inside it are ignored
    InflateZip inflater;
    size_t p = 0;
    while (size >= 4 && p + 4 <= size) {
        if (p < lastEnd) {
            p = lastEnd;
            continue;
        }
        // Every signature begins with "PK"; jump to the next candidate.
        const void* hit = std::memchr(archive_.data() + p, 'P', size - p);
        if (hit == nullptr)
            break;
        p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - archive_.data());
        if (p + 4 > size)
            break;
        const uint32_t sig = readU32LE(buf, p);
        if (!isKnownSignature(sig)) {
            ++p;
            continue;
        }
        if (sig == kCentralHeaderSignature) {
            if (size - p >= 46)
                lastEnd = p + 46 + readU16LE(buf, p + 28) + readU16LE(buf, p + 30) +
                          readU16LE(buf, p + 32);
        } else if (sig == kEndRecordSignature) {
            if (size - p >= 22)
                lastEnd = p + 22 + readU16LE(buf, p + 20);
        } else if (sig == kLocalHeaderSignature) {
            LocalEntry e;
            if (readLocalEntry(static_cast<uint32_t>(p), e)) {
                std::optional<uint32_t> check;
                if (isDeferred(e)) {
                    // Only the descriptor can vouch for such an entry; one whose data is cut
                    // short or damaged is dropped rather than taken as empty.
                    if (resolveDeferredSizes(e))
                        check = e.crc;
                } else if (e.method == kMethodDeflate) {
                    // A declared size the data cannot produce is never allocated or accepted.
                    if (e.uncompressedSize <= maxInflatedSize(e.compressedSize))
                        check = inflater.CheckValue(e.data, e.uncompressedSize);
                } else {
                    check = InflateZip::Crc32(e.data);
                }
                if (check && *check == e.crc) {
                    entries_.push_back(e);
                    lastEnd = p + e.recordLength;
                }
            }
        }
        ++p;
    }
}

ByteSpan ZipBrokenExtractor::GetEntryData(uint32_t index) {
    if (index >= entries_.size())
        return {};
    const LocalEntry& e = entries_[index];
    if (e.method != kMethodDeflate)
        return e.data;
    if (e.uncompressedSize > maxInflatedSize(e.compressedSize))
        return {};
    // Left uninitialised: Inflate writes or zeroes every byte before anything reads it.
    inflated_.push_back(
        std::make_unique_for_overwrite<uint8_t[]>(std::max<uint32_t>(e.uncompressedSize, 1)));
    uint8_t* out = inflated_.back().get();
    uint32_t crc = 0;
    if (InflateZip().Inflate(e.data, out, e.uncompressedSize, crc) != 0)
        std::memset(out, 0, e.uncompressedSize);
    if (crc != e.crc)
        return {};
    return ByteSpan(out, e.uncompressedSize);
}

void ZipBrokenExtractor::ReleaseEntryData(uint32_t) {
    // Inflated buffers live until Reset for now.
}

uint32_t ZipBrokenExtractor::FindDamaged(ByteSpan name) const {
    for (size_t i = 0; i < damaged_.size(); ++i)
        if (damaged_[i].name.view() == name.view())
            return static_cast<uint32_t>(i);
    return kEntryNotFound;
}

ZipBrokenExtractor::DecodedPart ZipBrokenExtractor::DecodeDamaged(uint32_t index) const {
    DecodedPart part;
    if (index >= damaged_.size())
        return part;
    const LocalEntry& e = damaged_[index];
    part.declaredSize = e.uncompressedSize;
    if (e.method == kMethodDeflate)
        part.bytes = inflateDamaged(e.data, e.uncompressedSize).bytes;
    else
        part.bytes.assign(e.data.begin(), e.data.end());
    part.state = part.bytes.size() >= e.uncompressedSize ? PartState::Repaired : PartState::Partial;
    return part;
}

}  // namespace morvel
