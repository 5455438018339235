#include "docx/zip_save_and_store.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>

#include "docx/deflate_splice.h"
#include "docx/inflate_zip.h"
#include "docx/zip_save_and_store_runs.h"
#include "platform/large_buffer.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr uint16_t kVersionMadeBy = 45;
constexpr uint16_t kVersionDeflated = 20;
// Bits 1-2 of the flags give the deflate option; 0 is the normal level.
constexpr uint16_t kFlagsRewritten = 0x0000;
constexpr uint32_t kMaxEntries = 0xFFFF;
constexpr uint64_t kMaxArchiveSize = 0xFFFFFFFFu;
constexpr size_t kDeflateChunk = 1 << 16;
constexpr size_t kStagingSize = 1 << 18;

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

void append(std::vector<uint8_t>& out, ByteSpan bytes) {
    if (bytes.length != 0 && !bytes.absent())
        out.insert(out.end(), bytes.begin(), bytes.end());
}

// CRC-32 of count copies of byte, continuing crc.
uint32_t crcOfRepeated(uint32_t crc, uint8_t byte, uint64_t count) {
    std::vector<uint8_t> block(std::min<uint64_t>(count, kDeflateChunk), byte);
    for (uint64_t left = count; left != 0;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(left, block.size()));
        crc = InflateZip::Crc32Update(ByteSpan(block.data(), n), crc);
        left -= n;
    }
    return crc;
}

// Deflates the segments onto the end of out through zlib's stream, with the CRC and the
// plain length; for a large part that holds long runs of one byte, which are written as
// blocks of their own between full flushes of the stream, so that a hostile part of GiBs of
// one byte costs no more than copying it. The segments are gathered into a staging buffer so
// zlib sees few large inputs, and output gathers in a fixed chunk.
bool deflateStreamWithRuns(std::vector<uint8_t>& out, const ByteSpan* segments,
                           uint32_t segmentCount, uint32_t& crc, uint64_t& plainLength) {
    z_stream s{};
    if (deflateInit2(&s, kLargeDeflateLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    std::vector<uint8_t> chunk(kDeflateChunk);
    std::vector<uint8_t> staged;
    staged.reserve(kStagingSize);
    s.next_out = chunk.data();
    s.avail_out = kDeflateChunk;
    crc = 0;
    plainLength = 0;
    bool ok = true;
    // Feeds one input to the stream with a flush mode: Z_NO_FLUSH, Z_FULL_FLUSH (all output
    // out, nothing before referred to again) or Z_FINISH (the stream ends).
    const auto feed = [&](ByteSpan in, int flush) {
        if (!in.absent())
            crc = InflateZip::Crc32Update(in, crc);
        plainLength += in.length;
        s.next_in = const_cast<Bytef*>(in.data);
        s.avail_in = in.length;
        bool more = false;
        do {
            const int rc = deflate(&s, flush);
            if (rc == Z_STREAM_ERROR)
                ok = false;
            const bool filled = s.avail_out == 0;
            if (filled || rc == Z_STREAM_END || flush == Z_FULL_FLUSH) {
                out.insert(out.end(), chunk.data(), chunk.data() + (kDeflateChunk - s.avail_out));
                s.next_out = chunk.data();
                s.avail_out = kDeflateChunk;
            }
            if (out.size() > kMaxArchiveSize)
                ok = false;
            more = s.avail_in != 0 || (flush == Z_FINISH && rc != Z_STREAM_END) ||
                   (flush == Z_FULL_FLUSH && filled);
        } while (ok && more);
    };
    const auto flushStaged = [&] {
        if (!staged.empty())
            feed(ByteSpan(staged.data(), static_cast<uint32_t>(staged.size())), Z_NO_FLUSH);
        staged.clear();
    };
    const auto stage = [&](ByteSpan seg) {
        if (seg.length == 0)
            return;
        if (staged.size() + seg.length > kStagingSize)
            flushStaged();
        if (seg.length >= kStagingSize)
            feed(seg, Z_NO_FLUSH);
        else
            staged.insert(staged.end(), seg.begin(), seg.end());
    };
    for (uint32_t i = 0; ok && i < segmentCount; ++i) {
        const ByteSpan seg = segments[i];
        if (seg.length == 0 || seg.absent())
            continue;
        uint32_t at = 0;
        for (std::optional<ByteRun> run; ok && (run = findLongRun(seg, at));) {
            stage(ByteSpan(seg.data + at, run->begin - at));
            flushStaged();
            feed(ByteSpan(), Z_FULL_FLUSH);
            const uint32_t length = run->end - run->begin;
            appendRunBlock(out, run->byte, length);
            crc = crcOfRepeated(crc, run->byte, length);
            plainLength += length;
            at = run->end;
        }
        if (ok)
            stage(ByteSpan(seg.data + at, seg.length - at));
    }
    if (ok)
        flushStaged();
    if (ok)
        feed(ByteSpan(), Z_FINISH);
    deflateEnd(&s);
    return ok;
}

// Whether a part of this many bytes is large: deflated at the faster level.
bool isLarge(uint64_t total) {
    return total > kLargeDeflateThreshold;
}

// Whether any segment holds a run of one byte long enough to be written as a block of its
// own.
bool holdsLongRun(const ByteSpan* segments, uint32_t segmentCount) {
    for (uint32_t i = 0; i < segmentCount; ++i)
        if (!segments[i].absent() && findLongRun(segments[i], 0))
            return true;
    return false;
}

// Frees a libdeflate compressor when it goes out of scope.
struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// Deflates content in one call onto the end of out. The compressed bytes are written in
// place: out grows by the compressor's bound and is trimmed to what they take, so nothing is
// copied and no second buffer is touched. The room comes from the archive's reservation.
bool deflateWhole(std::vector<uint8_t>& out, ByteSpan content, int level) {
    const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
        libdeflate_alloc_compressor(level));
    if (!compressor)
        return false;
    const size_t bound = libdeflate_deflate_compress_bound(compressor.get(), content.length);
    const size_t start = out.size();
    // Short of room, it grows by what this entry lacks and keeps what was planned for the rest.
    if (start + bound > out.capacity())
        reserveLarge(out, out.capacity() + bound);
    out.resize(start + bound);
    const size_t size =
        libdeflate_deflate_compress(compressor.get(), content.absent() ? nullptr : content.data,
                                    content.length, out.data() + start, bound);
    out.resize(start + size);
    return size != 0 && out.size() <= kMaxArchiveSize;
}

// Deflates the segments onto the end of out; the CRC and the plain length come back. A
// rewritten part arrives as very many small segments: they are gathered once into one
// buffer (a part of one segment is used where it lies) and deflated and checksummed whole,
// which is several times faster than zlib's stream. A part above kLargeDeflateThreshold is
// deflated at a faster level; one that also holds long runs of one byte goes through the
// stream that writes those runs as blocks of their own.
bool deflateSegments(std::vector<uint8_t>& out, const ByteSpan* segments, uint32_t segmentCount,
                     uint32_t& crc, uint64_t& plainLength) {
    uint64_t total = 0;
    uint32_t present = 0;
    for (uint32_t i = 0; i < segmentCount; ++i)
        if (!segments[i].absent() && segments[i].length != 0) {
            total += segments[i].length;
            ++present;
        }
    crc = 0;
    plainLength = 0;
    if (total > kMaxArchiveSize)
        return false;
    const bool large = isLarge(total);
    if (large && holdsLongRun(segments, segmentCount))
        return deflateStreamWithRuns(out, segments, segmentCount, crc, plainLength);
    std::unique_ptr<uint8_t[]> gathered;
    ByteSpan content;
    if (present == 1) {
        for (uint32_t i = 0; i < segmentCount; ++i)
            if (!segments[i].absent() && segments[i].length != 0)
                content = segments[i];
    } else if (present > 1) {
        gathered = std::make_unique_for_overwrite<uint8_t[]>(total);
        adviseHugePages(gathered.get(), total);
        size_t at = 0;
        for (uint32_t i = 0; i < segmentCount; ++i)
            if (!segments[i].absent() && segments[i].length != 0) {
                std::memcpy(gathered.get() + at, segments[i].data, segments[i].length);
                at += segments[i].length;
            }
        content = ByteSpan(gathered.get(), static_cast<uint32_t>(total));
    }
    if (content.length != 0)
        crc = InflateZip::Crc32Update(content, 0);
    plainLength = total;
    return deflateWhole(out, content, large ? kLargeDeflateLevel : kRewriteDeflateLevel);
}

// Sets the header fields of an entry whose new content was deflated.
void markDeflated(LocalEntry& entry, uint32_t crc, uint64_t compressed, uint64_t plain) {
    entry.signature = kLocalHeaderSignature;
    entry.versionNeeded = kVersionDeflated;
    entry.flags = kFlagsRewritten;
    entry.method = kMethodDeflate;
    entry.crc = crc;
    entry.compressedSize = static_cast<uint32_t>(compressed);
    entry.uncompressedSize = static_cast<uint32_t>(plain);
}

}  // namespace

size_t ZipSaveAndStore::EntryRoom(size_t nameLength, uint64_t plainLength) {
    return kLocalHeaderSize + nameLength + libdeflate_deflate_compress_bound(nullptr, plainLength);
}

void ZipSaveAndStore::Reserve(size_t bytes) {
    reserveLarge(bytes_, bytes);
}

void ZipSaveAndStore::OpenMemory() {
    std::vector<uint8_t>().swap(bytes_);
    central_.clear();
    path_.clear();
    open_ = true;
    failed_ = false;
    spliced_ = 0;
}

int ZipSaveAndStore::OpenOutput(const std::filesystem::path& path) {
    OpenMemory();
    path_ = path;
    return 0;
}

bool ZipSaveAndStore::DeflateEntry(LocalEntry& entry, const ByteSpan* segments,
                                   uint32_t segmentCount, std::vector<uint8_t>& data) {
    data.clear();
    uint32_t crc = 0;
    uint64_t plain = 0;
    if (segments == nullptr || !deflateSegments(data, segments, segmentCount, crc, plain) ||
        plain > kMaxArchiveSize)
        return false;
    markDeflated(entry, crc, data.size(), plain);
    entry.data = ByteSpan(data.data(), static_cast<uint32_t>(data.size()));
    return true;
}

void ZipSaveAndStore::AddEntry(LocalEntry entry, const ByteSpan* segments, uint32_t segmentCount,
                               bool rawCopy, const DeflateOriginal* original) {
    if (!open_ || failed_ || segmentCount == 0 || segments == nullptr)
        return;
    const size_t start = bytes_.size();
    entry.extraLength = 0;
    entry.extra = ByteSpan();
    // The header is written first and patched once the content's CRC and sizes are known.
    bytes_.resize(start + kLocalHeaderSize);
    append(bytes_, entry.name);
    if (rawCopy) {
        append(bytes_, segments[0]);
    } else {
        const size_t dataStart = bytes_.size();
        uint32_t crc = 0;
        uint64_t plain = 0;
        bool done = false;
        if (original != nullptr) {
            const SpliceResult r =
                spliceDeflate(*original, segments, segmentCount, kRewriteDeflateLevel, bytes_);
            done = r.outcome == SpliceOutcome::Spliced || r.outcome == SpliceOutcome::Copied;
            if (done) {
                crc = r.crc;
                plain = r.plainLength;
                ++spliced_;
            }
        }
        if ((!done && !deflateSegments(bytes_, segments, segmentCount, crc, plain)) ||
            plain > kMaxArchiveSize) {
            failed_ = true;
            return;
        }
        markDeflated(entry, crc, bytes_.size() - dataStart, plain);
    }
    putLocalHeader(std::span<uint8_t>(bytes_).subspan(start, kLocalHeaderSize), entry);

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
    writeU32LE(c, 42, static_cast<uint32_t>(start));
    rec.name = std::string(entry.name.view());
    central_.push_back(std::move(rec));
    // Offsets and counts past 32 and 16 bits cannot be written without ZIP64.
    if (bytes_.size() > kMaxArchiveSize || central_.size() > kMaxEntries)
        failed_ = true;
}

void ZipSaveAndStore::Finish() {
    if (!open_)
        return;
    open_ = false;
    const size_t cdStart = bytes_.size();
    for (const CentralRecord& rec : central_) {
        append(bytes_, ByteSpan(rec.header, sizeof rec.header));
        append(bytes_, spanOf(rec.name));
    }
    const size_t cdLength = bytes_.size() - cdStart;
    appendU32LE(bytes_, kEndRecordSignature);
    appendU32LE(bytes_, 0);
    appendU16LE(bytes_, static_cast<uint16_t>(central_.size()));
    appendU16LE(bytes_, static_cast<uint16_t>(central_.size()));
    appendU32LE(bytes_, static_cast<uint32_t>(cdLength));
    appendU32LE(bytes_, static_cast<uint32_t>(cdStart));
    appendU16LE(bytes_, 0);
    if (bytes_.size() > kMaxArchiveSize)
        failed_ = true;
    if (!path_.empty() && !failed_ && !writeArchiveFile(path_, bytes_))
        failed_ = true;
}

bool writeArchiveFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && whole;
}

}  // namespace morvel
