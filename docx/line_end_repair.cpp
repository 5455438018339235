#include "docx/line_end_repair.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "docx/crc_line_ends.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

using Bytes = std::span<const uint8_t>;

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr size_t kLocalFixed = 30;
constexpr size_t kCentralFixed = 46;
constexpr size_t kEndFixed = 22;
constexpr size_t kMaxComment = 0xFFFF;
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr int kRawDeflateWindow = -15;
// CR bytes one entry may get back, and the LFs tried for each of them: original CR LF pairs
// in compressed data are few (about one in 64 KiB).
constexpr size_t kMaxEntryInsertions = 64;
constexpr size_t kCandidatesPerStep = 256;
// Compressed bytes an exhaustive search may inflate for one entry (about a second's work).
constexpr uint64_t kMaxExhaustiveBytes = uint64_t{256} << 20;
// Output taken from the decoder at a time: small where it tells where a trial went wrong,
// large where only the checksum matters.
constexpr size_t kTrialChunk = 256;
constexpr size_t kCheckChunk = 16384;
// CR bytes the whole package may get back.
constexpr size_t kMaxInsertions = 4096;

struct CentralEntry {
    uint16_t method = 0;
    uint32_t crc = 0, compressedSize = 0, size = 0, localOffset = 0;
    std::string_view name;
};

// The end record: the last signature from which a whole record with its comment fits.
std::optional<size_t> findEnd(Bytes b) {
    if (b.size() < kEndFixed)
        return std::nullopt;
    const size_t lowest =
        b.size() > kEndFixed + kMaxComment ? b.size() - kEndFixed - kMaxComment : 0;
    for (size_t p = b.size() - kEndFixed + 1; p-- > lowest;)
        if (readU32LE(b, p) == kEndSignature && p + kEndFixed + readU16LE(b, p + 20) <= b.size())
            return p;
    return std::nullopt;
}

// The central records from `at`, `count` of them; their end in `end`.
std::optional<std::vector<CentralEntry>> readCentral(Bytes d, size_t at, size_t count, size_t limit,
                                                     size_t& end) {
    std::vector<CentralEntry> out;
    for (size_t i = 0; i < count; ++i) {
        if (!fits(d, at, kCentralFixed) || at + kCentralFixed > limit ||
            readU32LE(d, at) != kCentralSignature)
            return std::nullopt;
        CentralEntry e;
        e.method = readU16LE(d, at + 10);
        e.crc = readU32LE(d, at + 16);
        e.compressedSize = readU32LE(d, at + 20);
        e.size = readU32LE(d, at + 24);
        const size_t nameLength = readU16LE(d, at + 28);
        const size_t length =
            kCentralFixed + nameLength + readU16LE(d, at + 30) + readU16LE(d, at + 32);
        e.localOffset = readU32LE(d, at + 42);
        if (!fits(d, at, length) || at + length > limit || e.compressedSize == kZip64Marker ||
            e.localOffset == kZip64Marker)
            return std::nullopt;
        e.name = std::string_view(reinterpret_cast<const char*>(d.data() + at + kCentralFixed),
                                  nameLength);
        out.push_back(e);
        at += length;
    }
    end = at;
    return out;
}

bool localHeaderAt(Bytes d, size_t p, const CentralEntry& e) {
    if (!fits(d, p, kLocalFixed) || readU32LE(d, p) != kLocalSignature)
        return false;
    const size_t nameLength = readU16LE(d, p + 26);
    return nameLength == e.name.size() && fits(d, p + kLocalFixed, nameLength) &&
           std::memcmp(d.data() + p + kLocalFixed, e.name.data(), nameLength) == 0;
}

// How far the compressed bytes get: whether they give exactly the recorded size and CRC-32,
// and how many input bytes were used before inflation failed. A misplaced byte does not
// always make inflation fail, so for a part that starts as text (the XML parts) the first
// control byte in the output counts as the failure too.
struct Trial {
    bool verified = false;
    size_t reached = 0;
};

bool controlByte(uint8_t c) {
    return c < 0x20 && c != '\t' && c != kLineFeed && c != kCarriageReturn;
}

Trial tryData(Bytes data, const CentralEntry& e, size_t chunk = kTrialChunk) {
    Trial t;
    if (e.method == kMethodStored) {
        const uLong crc = crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size()));
        t.verified = data.size() == e.size && crc == e.crc;
        t.reached = t.verified ? data.size() : 0;
        return t;
    }
    z_stream z{};
    if (inflateInit2(&z, kRawDeflateWindow) != Z_OK)
        return t;
    uint8_t out[kCheckChunk];
    chunk = std::min(chunk, sizeof out);
    uLong crc = crc32(0, nullptr, 0);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    int rc = Z_OK;
    bool text = true, first = true, garbled = false;
    while (rc == Z_OK) {
        z.next_out = out;
        z.avail_out = static_cast<uInt>(chunk);
        rc = inflate(&z, Z_NO_FLUSH);
        const size_t made = chunk - z.avail_out;
        crc = crc32(crc, out, static_cast<uInt>(made));
        bool control = false;
        for (size_t i = 0; i < made && !control; ++i)
            control = controlByte(out[i]);
        if (first && made > 0) {
            text = !control;
            first = false;
        } else if (text && control) {
            garbled = true;
            break;
        }
        if (rc == Z_BUF_ERROR || z.total_out > e.size)
            break;
    }
    t.reached = z.total_in;
    t.verified = !garbled && rc == Z_STREAM_END && z.total_out == e.size && crc == e.crc &&
                 z.total_in == data.size();
    inflateEnd(&z);
    return t;
}

// The bytes of span with a CR before each LF at the (sorted, span-relative) positions.
std::vector<uint8_t> withCrs(Bytes span, std::vector<size_t> at) {
    std::sort(at.begin(), at.end());
    return insertCrBefore(span, at);
}

// One CR at a time: the LFs nearest to where inflation goes wrong are tried, and the one that
// lets it get furthest is kept.
std::optional<std::vector<uint8_t>> greedySearch(Bytes span, const std::vector<size_t>& lfs,
                                                 size_t k, const CentralEntry& e) {
    std::vector<size_t> chosen;
    Trial base = tryData(withCrs(span, chosen), e);
    for (size_t step = 0; step < k; ++step) {
        // Where inflation failed, in the span's own positions.
        const size_t failedAt = base.reached > chosen.size() ? base.reached - chosen.size() : 0;
        std::vector<size_t> candidates;
        for (size_t i = lfs.size(); i-- > 0 && candidates.size() < kCandidatesPerStep;)
            if (lfs[i] <= failedAt + 1 &&
                std::find(chosen.begin(), chosen.end(), lfs[i]) == chosen.end())
                candidates.push_back(lfs[i]);
        std::optional<size_t> best;
        Trial bestTrial = base;
        for (size_t c : candidates) {
            std::vector<size_t> trialSet = chosen;
            trialSet.push_back(c);
            const Trial t = tryData(withCrs(span, trialSet), e);
            if (t.verified && step + 1 == k)
                return withCrs(span, trialSet);
            if (t.reached > bestTrial.reached) {
                bestTrial = t;
                best = c;
            }
        }
        if (!best)
            return std::nullopt;
        chosen.push_back(*best);
        base = bestTrial;
    }
    return std::nullopt;
}

// Every LF, or every pair of LFs, as long as the work stays bounded: a misplaced byte in
// Huffman-coded data often decodes on to the end without a fault, so nothing says where the
// lost CR was but the CRC-32 at the end.
std::optional<std::vector<uint8_t>> exhaustiveSearch(Bytes span, const std::vector<size_t>& lfs,
                                                     size_t k, const CentralEntry& e) {
    const uint64_t trials = k == 1   ? lfs.size()
                            : k == 2 ? uint64_t{lfs.size()} * (lfs.size() - 1) / 2
                                     : 0;
    if (trials == 0 || trials * (span.size() + 1) > kMaxExhaustiveBytes)
        return std::nullopt;
    for (size_t a = 0; a < lfs.size(); ++a) {
        if (k == 1) {
            std::vector<uint8_t> b = withCrs(span, {lfs[a]});
            if (tryData(b, e, kCheckChunk).verified)
                return b;
            continue;
        }
        for (size_t c = a + 1; c < lfs.size(); ++c) {
            std::vector<uint8_t> b = withCrs(span, {lfs[a], lfs[c]});
            if (tryData(b, e, kCheckChunk).verified)
                return b;
        }
    }
    return std::nullopt;
}

// Puts `k` CRs back into one entry's bytes so that they give its recorded size and CRC-32:
// for stored data the CRC-32 alone finds the LFs; compressed data is searched.
std::optional<std::vector<uint8_t>> restoreData(Bytes span, size_t k, const CentralEntry& e) {
    if (k == 0) {
        if (tryData(span, e).verified)
            return std::vector<uint8_t>(span.begin(), span.end());
        return std::nullopt;
    }
    if (k > kMaxEntryInsertions)
        return std::nullopt;
    const std::vector<size_t> lfs = lineFeedsIn(span, 0, span.size());
    if (lfs.size() < k)
        return std::nullopt;
    if (e.method == kMethodStored) {
        if (span.size() + k == e.size)
            if (std::optional<std::vector<size_t>> at = findLostCrs(span, lfs, k, e.crc))
                return withCrs(span, *at);
        return std::nullopt;
    }
    if (e.method != kMethodDeflated)
        return std::nullopt;
    if (std::optional<std::vector<uint8_t>> found = greedySearch(span, lfs, k, e))
        return found;
    return exhaustiveSearch(span, lfs, k, e);
}

// Picks `k` LFs of d in [from, to) to put a CR before, the last ones first; nothing says which.
bool guessCrs(Bytes d, size_t from, size_t to, size_t k, std::vector<size_t>& out) {
    if (k == 0)
        return true;
    const std::vector<size_t> lfs = lineFeedsIn(d, from, to);
    if (lfs.size() < k)
        return false;
    out.insert(out.end(), lfs.end() - static_cast<std::ptrdiff_t>(k), lfs.end());
    return true;
}

void append(std::vector<uint8_t>& out, Bytes d, size_t from, size_t to) {
    to = std::min(to, d.size());
    if (from < to)
        out.insert(out.end(), d.begin() + from, d.begin() + to);
}

}  // namespace

LineEndRepair undoPackageLineEnds(std::span<const uint8_t> file) {
    LineEndRepair none;
    if (readU32LE(file, 0) != kLocalSignature)
        return none;
    const LineEndConversion conversion = possibleConversionOf(file);
    if (conversion == LineEndConversion::None)
        return none;
    // A package whose central directory ends where its end record begins has its offsets
    // right: it is left alone.
    if (const std::optional<size_t> end = findEnd(file)) {
        const uint64_t declared = uint64_t{readU32LE(file, *end + 16)} + readU32LE(file, *end + 12);
        if (declared == *end)
            return none;
    }
    const std::vector<uint8_t> dBytes = conversion == LineEndConversion::LfToCrLf
                                            ? dropCrBeforeLf(file)
                                            : std::vector<uint8_t>(file.begin(), file.end());
    const Bytes d(dBytes);
    const std::optional<size_t> endAt = findEnd(d);
    if (!endAt)
        return none;
    const size_t count = readU16LE(d, *endAt + 10);
    const uint32_t cdSize = readU32LE(d, *endAt + 12);
    const uint32_t cdOffset = readU32LE(d, *endAt + 16);
    const uint64_t cdEnd = uint64_t{cdOffset} + cdSize;
    if (count == 0 || cdOffset == kZip64Marker || cdEnd < *endAt || cdEnd - *endAt > kMaxInsertions)
        return none;
    const size_t budget = static_cast<size_t>(cdEnd - *endAt);

    // The central directory: most CRs come before it, so its start is tried from there.
    std::optional<std::vector<CentralEntry>> entries;
    size_t cdAt = 0;
    bool exact = true;
    for (size_t j = std::min<size_t>(budget, cdOffset) + 1; j-- > 0 && !entries;) {
        size_t cdStop = 0;
        entries = readCentral(d, cdOffset - j, count, *endAt, cdStop);
        if (entries) {
            cdAt = cdOffset - j;
            exact = cdStop == *endAt;
        }
    }
    if (!entries)
        return none;
    std::vector<CentralEntry> sorted = *entries;
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [](const CentralEntry& a, const CentralEntry& b) { return a.localOffset < b.localOffset; });
    if (sorted.back().localOffset >= cdOffset)
        return none;

    std::vector<uint8_t> out;
    out.reserve(size_t{cdOffset} + (d.size() - cdAt));
    std::vector<size_t> guessed;  // CRs put back where no check could tell
    size_t shown = 0, copiedTo = 0, before = 0;
    // Where each local record starts in d: at its offset less the CRs put back before it.
    const auto locate = [&](const CentralEntry& e, size_t minBefore) -> std::optional<size_t> {
        for (size_t j = minBefore; j <= budget && j <= e.localOffset; ++j)
            if (localHeaderAt(d, e.localOffset - j, e))
                return e.localOffset - j;
        return std::nullopt;
    };
    std::optional<size_t> here = locate(sorted.front(), 0);
    if (!here)
        return none;
    // Bytes ahead of the first record keep their length in the original.
    before = sorted.front().localOffset - *here;
    if (!guessCrs(d, 0, *here, before, guessed))
        return none;
    exact &= before == 0;
    {
        std::vector<size_t> at = guessed;
        const std::vector<uint8_t> head = insertCrBefore(d.first(*here), at);
        out.insert(out.end(), head.begin(), head.end());
    }
    copiedTo = *here;
    for (size_t i = 0; i < sorted.size(); ++i) {
        const CentralEntry& e = sorted[i];
        const size_t headerAt = copiedTo;
        const size_t headerLength =
            kLocalFixed + readU16LE(d, headerAt + 26) + readU16LE(d, headerAt + 28);
        const size_t dataAt = headerAt + headerLength;
        const uint64_t nextOffset = i + 1 < sorted.size() ? sorted[i + 1].localOffset : cdOffset;
        const uint64_t dataEndO = uint64_t{e.localOffset} + headerLength + e.compressedSize;
        std::optional<size_t> next =
            i + 1 < sorted.size() ? locate(sorted[i + 1], before) : std::optional<size_t>(cdAt);
        if (!next || *next < dataAt || dataEndO > nextOffset) {
            // The record cannot be measured: the rest goes on as received, for the salvage.
            exact = false;
            append(out, d, copiedTo, cdAt);
            copiedTo = cdAt;
            break;
        }
        const size_t trail = static_cast<size_t>(nextOffset - dataEndO);
        const size_t span = *next - dataAt;  // data and trail as received
        append(out, d, headerAt, dataAt);
        if (span < trail || e.compressedSize < span - trail) {
            exact = false;
            append(out, d, dataAt, *next);
        } else {
            const size_t dataLength = span - trail;
            const size_t k = e.compressedSize - dataLength;
            const Bytes data = d.subspan(dataAt, dataLength);
            std::optional<std::vector<uint8_t>> restored = restoreData(data, k, e);
            if (restored) {
                // Proof of the conversion: an entry that checks only with CRs put back, or
                // only without some of those received (each received LF had lost its CR).
                const size_t received = conversion == LineEndConversion::LfToCrLf
                                            ? lineFeedsIn(data, 0, data.size()).size()
                                            : 0;
                shown += received != k;
                out.insert(out.end(), restored->begin(), restored->end());
            } else {
                exact = false;
                std::vector<size_t> at;
                if (!guessCrs(data, 0, data.size(), k, at))
                    at.clear();
                const std::vector<uint8_t> b = insertCrBefore(data, at);
                out.insert(out.end(), b.begin(), b.end());
            }
            append(out, d, dataAt + dataLength, *next);
        }
        before = i + 1 < sorted.size() ? sorted[i + 1].localOffset - *next : before;
        copiedTo = *next;
    }
    append(out, d, cdAt, d.size());
    if (shown == 0)
        return none;
    LineEndRepair r;
    r.conversion = conversion;
    r.exact = exact && out.size() == d.size() + budget;
    if (out.size() < file.size())
        r.crsRemoved = file.size() - out.size();
    else
        r.crsInserted = out.size() - file.size();
    r.bytes = std::move(out);
    return r;
}

}  // namespace morvel
