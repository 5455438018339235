#include "docx/package_part_reader.h"

#include <zlib.h>

#include <limits>

#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;

// Where a part's data lies and how to decode it.
struct PartLocation {
    size_t dataOffset = 0;
    size_t compressedSize = 0;
    size_t size = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
};

bool nameAt(std::span<const uint8_t> buf, size_t off, size_t len, std::string_view name) {
    if (len != name.size() || !fits(buf, off, len))
        return false;
    for (size_t i = 0; i < len; ++i)
        if (buf[off + i] != static_cast<uint8_t>(name[i]))
            return false;
    return true;
}

// The data offset of the local header at `off`, when one is there.
std::optional<size_t> localDataOffset(std::span<const uint8_t> zip, size_t off) {
    if (!fits(zip, off, kLocalHeaderSize) || readU32LE(zip, off) != kLocalSig)
        return std::nullopt;
    size_t data = off + kLocalHeaderSize + readU16LE(zip, off + 26) + readU16LE(zip, off + 28);
    if (data > zip.size())
        return std::nullopt;
    return data;
}

std::optional<PartLocation> fromCentralDirectory(std::span<const uint8_t> zip,
                                                 std::string_view name) {
    if (zip.size() < kEndRecordSize)
        return std::nullopt;
    // The end record sits in the last 22 + 65535 bytes (its comment is at most 65535 bytes).
    size_t lowest = zip.size() > kEndRecordSize + 0xFFFF ? zip.size() - kEndRecordSize - 0xFFFF : 0;
    for (size_t end = zip.size() - kEndRecordSize + 1; end-- > lowest;) {
        if (readU32LE(zip, end) != kEndSig)
            continue;
        size_t count = readU16LE(zip, end + 10);
        size_t off = readU32LE(zip, end + 16);
        for (size_t i = 0; i < count && fits(zip, off, kCentralHeaderSize); ++i) {
            if (readU32LE(zip, off) != kCentralSig)
                break;
            size_t nameLen = readU16LE(zip, off + 28);
            size_t next = off + kCentralHeaderSize + nameLen + readU16LE(zip, off + 30) +
                          readU16LE(zip, off + 32);
            if (nameAt(zip, off + kCentralHeaderSize, nameLen, name)) {
                auto data = localDataOffset(zip, readU32LE(zip, off + 42));
                if (!data)
                    return std::nullopt;
                PartLocation loc;
                loc.dataOffset = *data;
                loc.method = readU16LE(zip, off + 10);
                loc.crc = readU32LE(zip, off + 16);
                loc.compressedSize = readU32LE(zip, off + 20);
                loc.size = readU32LE(zip, off + 24);
                return loc;
            }
            off = next;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<PartLocation> fromLocalHeaders(std::span<const uint8_t> zip, std::string_view name) {
    for (size_t off = 0; fits(zip, off, kLocalHeaderSize); ++off) {
        if (readU32LE(zip, off) != kLocalSig)
            continue;
        // Sizes after the data (flag bit 3) are not known here; such a part needs the directory.
        if (readU16LE(zip, off + 6) & 0x08)
            continue;
        size_t nameLen = readU16LE(zip, off + 26);
        if (!nameAt(zip, off + kLocalHeaderSize, nameLen, name))
            continue;
        auto data = localDataOffset(zip, off);
        if (!data)
            continue;
        PartLocation loc;
        loc.dataOffset = *data;
        loc.method = readU16LE(zip, off + 8);
        loc.crc = readU32LE(zip, off + 14);
        loc.compressedSize = readU32LE(zip, off + 18);
        loc.size = readU32LE(zip, off + 22);
        return loc;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> decode(std::span<const uint8_t> zip, const PartLocation& loc,
                                           size_t maxSize) {
    if (!fits(zip, loc.dataOffset, loc.compressedSize) || loc.size > maxSize)
        return std::nullopt;
    std::span<const uint8_t> in = zip.subspan(loc.dataOffset, loc.compressedSize);
    std::vector<uint8_t> out;
    if (loc.method == 0) {
        if (loc.compressedSize != loc.size)
            return std::nullopt;
        out.assign(in.begin(), in.end());
    } else if (loc.method == 8) {
        // Deflate expands at most about 1032 to 1: a larger claimed size is a lie.
        if (loc.size / 1032 > loc.compressedSize)
            return std::nullopt;
        out.resize(loc.size);
        z_stream zs{};
        if (inflateInit2(&zs, -15) != Z_OK)
            return std::nullopt;
        zs.next_in = const_cast<Bytef*>(in.data());
        zs.avail_in = static_cast<uInt>(in.size());
        zs.next_out = out.data();
        zs.avail_out = static_cast<uInt>(out.size());
        int rc = inflate(&zs, Z_FINISH);
        size_t produced = zs.total_out;
        inflateEnd(&zs);
        if (rc != Z_STREAM_END || produced != loc.size)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out.data(), static_cast<uInt>(out.size()));
    if (crc != loc.crc)
        return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::vector<uint8_t>> readPackagePart(std::span<const uint8_t> package,
                                                    std::string_view name, size_t maxSize) {
    if (package.size() > std::numeric_limits<uInt>::max())
        return std::nullopt;
    if (auto loc = fromCentralDirectory(package, name))
        if (auto part = decode(package, *loc, maxSize))
            return part;
    if (auto loc = fromLocalHeaders(package, name))
        return decode(package, *loc, maxSize);
    return std::nullopt;
}

}  // namespace morvel
