#include "docx/deflate_splice.h"

#include <zlib.h>

#include <cstring>
#include <memory>
#include <optional>

#include "docx/deflate_bit_writer.h"
#include "docx/deflate_format.h"
#include "docx/inflate_zip.h"
#include "docx/zlib_block_stop.h"

namespace morvel {

namespace {

using deflate::BitWriter;

// The copied blocks may refer this far back, so the bytes this far before the seam must be
// the same in the new content and in the original.
constexpr uint64_t kReach = deflate::kWindowSize;
// How far past the first usable offset the original's blocks are looked through for a
// boundary before the splice is given up; real blocks are far shorter.
constexpr uint64_t kBoundarySearchLimit = uint64_t{4} << 20;
// Largest content a ZIP entry without ZIP64 can describe.
constexpr uint64_t kMaxContent = 0xFFFFFFFFu;
constexpr size_t kChunk = size_t{1} << 16;
// zlib's raw deflate: no header or trailer, the full 32 KiB window.
constexpr int kRawWindowBits = -15;
constexpr int kMemLevel = 8;

bool present(ByteSpan s) {
    return !s.absent() && s.length != 0;
}

// The new content as the original's head replaced: content = head ++ plain[tailStart, end),
// where head is segments[0, split) and the first splitLength bytes of segments[split].
struct SharedTail {
    uint64_t contentLength = 0;
    uint64_t headLength = 0;
    uint64_t tailStart = 0;
    uint32_t split = 0;
    uint32_t splitLength = 0;
};

// Matches the segments against the end of plain, from the last backwards; a segment that
// lies where the matching bytes of plain lie is taken without comparing.
std::optional<SharedTail> findSharedTail(ByteSpan plain, const ByteSpan* segments, uint32_t count) {
    SharedTail t;
    for (uint32_t i = 0; i < count; ++i)
        if (present(segments[i]))
            t.contentLength += segments[i].length;
    if (t.contentLength > kMaxContent)
        return std::nullopt;
    uint64_t rest = plain.absent() ? 0 : plain.length;  // plain bytes not matched yet
    for (uint32_t i = count; i > 0;) {
        const ByteSpan s = segments[--i];
        if (!present(s))
            continue;
        if (s.length <= rest) {
            const uint8_t* at = plain.data + (rest - s.length);
            if (at == s.data || std::memcmp(at, s.data, s.length) == 0) {
                rest -= s.length;
                continue;
            }
        }
        uint32_t same = 0;
        while (same < s.length && same < rest &&
               s.data[s.length - 1 - same] == plain.data[rest - 1 - same])
            ++same;
        rest -= same;
        t.split = i;
        t.splitLength = s.length - same;
        break;
    }
    t.tailStart = rest;
    t.headLength = t.contentLength - ((plain.absent() ? 0 : plain.length) - rest);
    return t;
}

// A block boundary of a stream: the plain offset where the next block's output starts and
// the bit where its header starts.
struct Boundary {
    uint64_t plainOffset = 0;
    uint64_t bit = 0;
};

// Frees a zlib inflater when it goes out of scope.
struct InflaterGuard {
    z_stream* s;
    ~InflaterGuard() { inflateEnd(s); }
};

// The first boundary between two blocks of stream at or past plain offset from, found by
// inflating the stream's start with zlib stopping at each block's end (the output is
// thrown away). None when the stream ends, breaks or runs past limit first.
std::optional<Boundary> findBoundary(ByteSpan stream, uint64_t from, uint64_t limit) {
    z_stream s{};
    if (!present(stream) || inflateInit2(&s, kRawWindowBits) != Z_OK)
        return std::nullopt;
    const InflaterGuard guard{&s};
    std::vector<uint8_t> chunk(kChunk);
    s.next_in = const_cast<Bytef*>(stream.data);
    s.avail_in = stream.length;
    for (;;) {
        s.next_out = chunk.data();
        s.avail_out = static_cast<uInt>(chunk.size());
        if (inflate(&s, Z_BLOCK) != Z_OK)
            return std::nullopt;
        const std::optional<uint64_t> bit = nextBlockBit(s.data_type, s.total_in);
        if (bit && s.total_out >= from)
            return Boundary{s.total_out, *bit};
        if (s.total_out > limit)
            return std::nullopt;
    }
}

// Frees a zlib deflater when it goes out of scope.
struct DeflaterGuard {
    z_stream* s;
    ~DeflaterGuard() { deflateEnd(s); }
};

// The pieces the spliced stream's new blocks hold: the head, then plain[tailStart, upTo).
std::vector<ByteSpan> headPieces(const ByteSpan* segments, const SharedTail& tail, ByteSpan plain,
                                 uint64_t upTo) {
    std::vector<ByteSpan> pieces;
    for (uint32_t i = 0; i <= tail.split; ++i) {
        const ByteSpan seg = segments[i];
        const uint32_t length = i == tail.split ? tail.splitLength : seg.length;
        if (present(seg) && length != 0)
            pieces.emplace_back(seg.data, length);
    }
    pieces.emplace_back(plain.data + tail.tailStart, static_cast<uint32_t>(upTo - tail.tailStart));
    return pieces;
}

// Deflates the pieces onto out as non-final blocks that end on a byte boundary (a sync
// flush), so the original's blocks can follow.
bool deflateHead(std::vector<uint8_t>& out, const std::vector<ByteSpan>& pieces, int level) {
    z_stream s{};
    if (deflateInit2(&s, level, Z_DEFLATED, kRawWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    const DeflaterGuard guard{&s};
    std::vector<uint8_t> chunk(kChunk);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const int flush = i + 1 == pieces.size() ? Z_SYNC_FLUSH : Z_NO_FLUSH;
        s.next_in = const_cast<Bytef*>(pieces[i].data);
        s.avail_in = pieces[i].length;
        do {
            s.next_out = chunk.data();
            s.avail_out = static_cast<uInt>(chunk.size());
            if (::deflate(&s, flush) == Z_STREAM_ERROR)
                return false;
            out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - s.avail_out));
        } while (s.avail_in != 0 || s.avail_out == 0);
    }
    return true;
}

// Checks the new blocks of a spliced stream without inflating the copied ones: zlib must
// decode stream's bits before seamBit to exactly the pieces and stop there between two
// blocks, so the copied blocks start where the original's did, after the same window.
bool headDecodes(ByteSpan stream, uint64_t seamBit, const std::vector<ByteSpan>& pieces) {
    uint64_t expected = 0;
    for (const ByteSpan& p : pieces)
        expected += p.length;
    const uint64_t inputBytes = (seamBit + 7) / 8;
    z_stream s{};
    if (inputBytes > stream.length || inflateInit2(&s, kRawWindowBits) != Z_OK)
        return false;
    const InflaterGuard guard{&s};
    std::vector<uint8_t> decoded(expected + 1);
    s.next_in = const_cast<Bytef*>(stream.data);
    s.avail_in = static_cast<uInt>(inputBytes);
    s.next_out = decoded.data();
    s.avail_out = static_cast<uInt>(decoded.size());
    for (;;) {
        if (inflate(&s, Z_BLOCK) != Z_OK || s.total_out > expected)
            return false;
        const std::optional<uint64_t> bit = nextBlockBit(s.data_type, s.total_in);
        if (bit && *bit == seamBit && s.total_out == expected)
            break;
        if (bit && *bit >= seamBit)
            return false;
    }
    uint64_t at = 0;
    for (const ByteSpan& p : pieces) {
        if (std::memcmp(decoded.data() + at, p.data, p.length) != 0)
            return false;
        at += p.length;
    }
    return true;
}

// CRC-32 of the segments' content.
uint32_t crcOfSegments(const ByteSpan* segments, uint32_t count) {
    uint32_t crc = InflateZip::Crc32(ByteSpan());
    for (uint32_t i = 0; i < count; ++i)
        if (present(segments[i]))
            crc = InflateZip::Crc32Update(segments[i], crc);
    return crc;
}

// Whether bytes holds exactly the segments' content.
bool holdsContent(const uint8_t* bytes, const ByteSpan* segments, uint32_t count) {
    uint64_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!present(segments[i]))
            continue;
        if (std::memcmp(bytes + at, segments[i].data, segments[i].length) != 0)
            return false;
        at += segments[i].length;
    }
    return true;
}

// Inflates the stream built at out[start, end) and checks that it gives exactly the
// content; the stream is cut where it ends (bytes after the original's end are not kept).
std::optional<uint32_t> checkStream(std::vector<uint8_t>& out, size_t start,
                                    const ByteSpan* segments, uint32_t count,
                                    uint64_t contentLength) {
    if (out.size() - start > kMaxContent)
        return std::nullopt;
    const auto plain = std::make_unique_for_overwrite<uint8_t[]>(contentLength + 1);
    InflateZip::StreamRun run;
    const ByteSpan stream(out.data() + start, static_cast<uint32_t>(out.size() - start));
    if (!InflateZip().InflateWhole(stream, plain.get(), contentLength, run) ||
        run.produced != contentLength || !holdsContent(plain.get(), segments, count))
        return std::nullopt;
    out.resize(start + run.consumed);
    return run.crc;
}

SpliceResult failed(std::vector<uint8_t>& out, size_t start, SpliceOutcome outcome) {
    out.resize(start);
    return {outcome, 0, 0};
}

}  // namespace

SpliceResult spliceDeflate(const DeflateOriginal& original, const ByteSpan* segments,
                           uint32_t segmentCount, int headLevel, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    const ByteSpan plain = original.plain;
    const ByteSpan stream = original.stream;
    if (segments == nullptr || !present(plain) || !present(stream))
        return {SpliceOutcome::NoSharedTail, 0, 0};
    const std::optional<SharedTail> tail = findSharedTail(plain, segments, segmentCount);
    if (!tail || tail->contentLength == 0)
        return {SpliceOutcome::NoSharedTail, 0, 0};
    SpliceOutcome outcome = SpliceOutcome::Spliced;
    uint64_t seamBit = 0;
    std::vector<ByteSpan> pieces;
    if (tail->headLength == 0 && tail->tailStart == 0) {
        // The content is the original's: its stream serves as it is.
        out.insert(out.end(), stream.begin(), stream.end());
        outcome = SpliceOutcome::Copied;
    } else {
        if (tail->headLength * 2 > tail->contentLength)
            return {SpliceOutcome::NotWorthIt, 0, 0};
        const uint64_t from = tail->tailStart + kReach;
        if (from >= plain.length)
            return {SpliceOutcome::NoBoundary, 0, 0};
        const std::optional<Boundary> seam =
            findBoundary(stream, from, from + kBoundarySearchLimit);
        if (!seam || seam->plainOffset > plain.length || seam->bit / 8 > stream.length)
            return {SpliceOutcome::NoBoundary, 0, 0};
        if ((tail->headLength + seam->plainOffset - tail->tailStart) * 2 > tail->contentLength)
            return {SpliceOutcome::NotWorthIt, 0, 0};
        pieces = headPieces(segments, *tail, plain, seam->plainOffset);
        if (!deflateHead(out, pieces, headLevel))
            return failed(out, start, SpliceOutcome::Failed);
        // Empty blocks bring the head to the bit where the original's next block starts; the
        // byte at the seam takes its low bits from the head and the rest from the original.
        const uint32_t bit = static_cast<uint32_t>(seam->bit % 8);
        const size_t seamByte = static_cast<size_t>(seam->bit / 8);
        BitWriter w(out);
        deflate::putEmptyBlocksToBit(w, bit);
        if (w.pendingCount() != bit)
            return failed(out, start, SpliceOutcome::Failed);
        seamBit = uint64_t{out.size() - start} * 8 + bit;
        size_t copyFrom = seamByte;
        if (bit != 0) {
            if (seamByte >= stream.length)
                return failed(out, start, SpliceOutcome::Failed);
            const uint8_t low = static_cast<uint8_t>((1u << bit) - 1);
            out.push_back(
                static_cast<uint8_t>((w.pendingBits() & low) | (stream.data[seamByte] & ~low)));
            ++copyFrom;
        }
        out.insert(out.end(), stream.data + copyFrom, stream.end());
    }
    if (original.plainChecked) {
        // The copied blocks decode as they did in the original, which the caller checked;
        // only the new blocks before them need checking.
        if (out.size() - start > kMaxContent ||
            (outcome == SpliceOutcome::Spliced &&
             !headDecodes(ByteSpan(out.data() + start, static_cast<uint32_t>(out.size() - start)),
                          seamBit, pieces)))
            return failed(out, start, SpliceOutcome::Failed);
        return {outcome, crcOfSegments(segments, segmentCount), tail->contentLength};
    }
    const std::optional<uint32_t> crc =
        checkStream(out, start, segments, segmentCount, tail->contentLength);
    if (!crc)
        return failed(out, start, SpliceOutcome::Failed);
    return {outcome, *crc, tail->contentLength};
}

}  // namespace morvel
