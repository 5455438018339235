#include "docx/zip_save_and_store.h"

#include <span>

#include "docx/inflate_zip.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr uint16_t kVersionMadeBy = 45;
constexpr uint16_t kVersionStored = 20;
constexpr uint16_t kFlagsRewritten = 0x0006;
constexpr uint32_t kMaxEntries = 0xFFFF;

void putLocalHeader(std::span<uint8_t> h, const LocalEntry& e) {
    writeU32LE(h, 0, e.signature);
    writeU16LE(h, 4, e.versionNeeded);
    writeU16LE(h, 6, e.flags);
    writeU16LE(h, 8, e.method);
    writeU16LE(h, 10, e.modTime);
    writeU16LE(h, 12, e.modDate);
    writeU32LE(h, 14, e.crc);
    writeU32LE(h, 18, e.compressedSize);
    writeU32LE(h, 22, e.uncompressedSize);
    writeU16LE(h, 26, e.nameLength);
    writeU16LE(h, 28, e.extraLength);
}

}  // namespace

ZipSaveAndStore::~ZipSaveAndStore() {
    if (file_)
        std::fclose(file_);
}

int ZipSaveAndStore::OpenOutput(const std::filesystem::path& path) {
    file_ = std::fopen(path.c_str(), "wb");
    failed_ = file_ == nullptr;
    // Rewritten parts arrive as many small segments; a large buffer keeps writes few.
    if (file_)
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    written_ = 0;
    central_.clear();
    return 0;
}

void ZipSaveAndStore::write(ByteSpan bytes, uint64_t& count) {
    if (bytes.length == 0 || bytes.absent())
        return;
    size_t n = std::fwrite(bytes.data, 1, bytes.length, file_);
    if (n != bytes.length)
        failed_ = true;
    count += n;
}

void ZipSaveAndStore::AddEntry(LocalEntry entry, const ByteSpan* segments, uint32_t segmentCount,
                               bool rawCopy) {
    if (!file_ || segmentCount == 0 || segments == nullptr)
        return;
    if (rawCopy) {
        entry.extraLength = 0;
        entry.extra = ByteSpan();
    } else {
        uint32_t crc = InflateZip::Crc32(segments[0]);
        uint64_t length = segments[0].length;
        for (uint32_t i = 1; i < segmentCount; ++i) {
            crc = InflateZip::Crc32Update(segments[i], crc);
            length += segments[i].length;
        }
        if (length > 0xFFFFFFFFu)
            failed_ = true;
        entry.signature = kLocalHeaderSignature;
        entry.versionNeeded = kVersionStored;
        entry.flags = kFlagsRewritten;
        entry.method = 0;
        entry.crc = crc;
        entry.compressedSize = static_cast<uint32_t>(length);
        entry.uncompressedSize = static_cast<uint32_t>(length);
    }
    uint8_t header[kLocalHeaderSize] = {};
    putLocalHeader(header, entry);
    uint64_t count = 0;
    write(ByteSpan(header, kLocalHeaderSize), count);
    write(entry.name, count);
    write(entry.extra, count);
    for (uint32_t i = 0; i < segmentCount; ++i)
        write(segments[i], count);

    CentralRecord rec{};
    std::span<uint8_t> c(rec.header);
    writeU32LE(c, 0, kCentralHeaderSignature);
    writeU16LE(c, 4, kVersionMadeBy);
    writeU16LE(c, 6, entry.versionNeeded);
    writeU16LE(c, 8, entry.flags);
    writeU16LE(c, 10, entry.method);
    // Time and date stay 0 in the central directory.
    writeU32LE(c, 16, entry.crc);
    writeU32LE(c, 20, entry.compressedSize);
    writeU32LE(c, 24, entry.uncompressedSize);
    writeU16LE(c, 28, entry.nameLength);
    writeU32LE(c, 42, written_);
    rec.name = entry.name;
    central_.push_back(rec);
    // Offsets and counts past 32 and 16 bits cannot be written without ZIP64.
    if (written_ + count > 0xFFFFFFFFu || central_.size() > kMaxEntries)
        failed_ = true;
    written_ += static_cast<uint32_t>(count);
}

void ZipSaveAndStore::Finish() {
    if (!file_)
        return;
    uint64_t count = 0;
    for (const CentralRecord& rec : central_) {
        write(ByteSpan(rec.header, sizeof rec.header), count);
        write(rec.name, count);
    }
    uint8_t end[22] = {};
    std::span<uint8_t> e(end);
    writeU32LE(e, 0, kEndRecordSignature);
    writeU16LE(e, 8, static_cast<uint16_t>(central_.size()));
    writeU16LE(e, 10, static_cast<uint16_t>(central_.size()));
    writeU32LE(e, 12, static_cast<uint32_t>(count));
    writeU32LE(e, 16, written_);
    write(ByteSpan(end, sizeof end), count);
    if (written_ + count > 0xFFFFFFFFu)
        failed_ = true;
    written_ += static_cast<uint32_t>(count);
    if (std::fclose(file_) != 0)
        failed_ = true;
    file_ = nullptr;
}

}  // namespace morvel
