#include "docx/zip_records.h"

#include <algorithm>

#include "docx/local_entry.h"
#include "platform/le_reader.h"

namespace morvel {

bool readCentralRecord(std::span<const uint8_t> buf, size_t p, CentralRecord& c) {
    if (!fits(buf, p, kCentralHeaderSize))
        return false;
    const uint16_t nameLength = readU16LE(buf, p + 28);
    const uint16_t extraLength = readU16LE(buf, p + 30);
    const uint16_t commentLength = readU16LE(buf, p + 32);
    if (!fits(buf, p + kCentralHeaderSize, nameLength))
        return false;
    c.offset = p;
    c.length = kCentralHeaderSize + nameLength + extraLength + commentLength;
    c.versionNeeded = readU16LE(buf, p + 6);
    c.flags = readU16LE(buf, p + 8);
    c.method = readU16LE(buf, p + 10);
    c.modTime = readU16LE(buf, p + 12);
    c.modDate = readU16LE(buf, p + 14);
    c.crc = readU32LE(buf, p + 16);
    c.compressedSize = readU32LE(buf, p + 20);
    c.uncompressedSize = readU32LE(buf, p + 24);
    c.localOffset = readU32LE(buf, p + 42);
    c.name = ByteSpan(buf.data() + p + kCentralHeaderSize, nameLength);
    // An extra field cut off by the end of the file is read as far as it goes.
    const size_t extraAt = p + kCentralHeaderSize + nameLength;
    const size_t extraHave = std::min<size_t>(extraLength, buf.size() - extraAt);
    c.extra = ByteSpan(buf.data() + extraAt, static_cast<uint32_t>(extraHave));
    applyZip64Extra(c.extra, c.uncompressedSize, c.compressedSize, &c.localOffset);
    return true;
}

bool plausibleName(ByteSpan name) {
    if (name.length == 0 || name.length > kMaxPlausibleName || name.absent())
        return false;
    for (uint8_t b : name)
        if (b < 0x20 || b == 0x7F)
            return false;
    return true;
}

void applyZip64Extra(ByteSpan extra, uint64_t& uncompressed, uint64_t& compressed,
                     uint64_t* localOffset) {
    if (uncompressed != kZip64Marker && compressed != kZip64Marker &&
        (localOffset == nullptr || *localOffset != kZip64Marker))
        return;
    std::span<const uint8_t> x(extra.data, extra.length);
    for (size_t at = 0; fits(x, at, 4);) {
        const uint16_t tag = readU16LE(x, at);
        const uint16_t size = readU16LE(x, at + 2);
        if (tag == kZip64ExtraTag) {
            size_t v = at + 4;
            const size_t end = at + 4 + size;
            auto take = [&](uint64_t& field) {
                if (field == kZip64Marker && v + 8 <= end && fits(x, v, 8)) {
                    field = readU64LE(x, v);
                    v += 8;
                }
            };
            take(uncompressed);
            take(compressed);
            if (localOffset)
                take(*localOffset);
            return;
        }
        at += 4 + size;
    }
}

std::optional<DataDescriptor> matchDescriptor(std::span<const uint8_t> buf, size_t d, uint32_t crc,
                                              uint64_t compressed, uint64_t uncompressed) {
    for (uint32_t sig : {4u, 0u}) {
        if (sig && readU32LE(buf, d) != kDescriptorSignature)
            continue;
        const size_t v = d + sig;
        if (!fits(buf, v, 12) || readU32LE(buf, v) != crc)
            continue;
        if (readU32LE(buf, v + 4) == compressed && readU32LE(buf, v + 8) == uncompressed)
            return DataDescriptor{crc, compressed, uncompressed, sig + 12};
        if (fits(buf, v, 20) && readU64LE(buf, v + 4) == compressed &&
            readU64LE(buf, v + 12) == uncompressed)
            return DataDescriptor{crc, compressed, uncompressed, sig + 20};
    }
    return std::nullopt;
}

}  // namespace morvel
