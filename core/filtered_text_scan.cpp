#include "core/filtered_text_scan.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "core/text_block.h"
#include "core/text_bytes.h"
#include "core/text_run_finder.h"
#include "platform/large_buffer.h"

namespace morvel {

namespace {

using namespace text_bytes;
using namespace text_block;

// Normalises the bytes of the collected runs, sixteen file bytes at a time. A block with no
// line end gives its printable bytes, which leaves out the bytes a run steps over (the zero
// high bytes of UTF-16LE text) and the control bytes that are dropped anyway; a line end waits
// for the next run byte, byte by byte, to know whether it is a CR before LF or the last byte.
// With Write false it only counts the output bytes; with Write true out must hold that count
// plus kBlock bytes.
template <bool Write, typename Compress>
[[gnu::always_inline]] inline size_t normaliseRuns(std::span<const uint8_t> in,
                                                   const std::vector<TextRun>& runs,
                                                   size_t threshold, uint8_t* out) {
    const uint8_t* data = in.data();
    const size_t size = in.size();
    size_t n = 0;
    uint8_t pending = 0;  // a line end not yet written
    for (const TextRun& r : runs) {
        if (r.length <= threshold)
            continue;
        size_t k = r.begin;
        const size_t end = r.end;
        while (k < end) {
            if (pending == 0 && k + kBlock <= size) {
                // Whole blocks of printable bytes (8-bit text) are copied as they are.
                BlockClasses b = classify(data + k);
                while (b.keep == 0xFFFFu && k + kBlock <= end) {
                    if constexpr (Write)
                        std::memcpy(out + n, data + k, kBlock);
                    n += kBlock;
                    k += kBlock;
                    if (k + kBlock > size)
                        break;
                    b = classify(data + k);
                }
                if (k >= end || k + kBlock > size)
                    continue;
                const size_t left = end - k;
                const unsigned inRun = left >= kBlock ? 0xFFFFu : (1u << left) - 1u;
                const unsigned keep = b.keep & inRun;
                const unsigned ends = b.lineEnds & inRun;
                if (ends == 0) {
                    if constexpr (Write)
                        Compress::write(out + n, data + k, keep);
                    n += static_cast<size_t>(std::popcount(keep));
                    k += std::min(left, kBlock);
                    continue;
                }
                const unsigned first = static_cast<unsigned>(std::countr_zero(ends));
                const unsigned before = keep & ((1u << first) - 1u);
                if constexpr (Write)
                    Compress::write(out + n, data + k, before);
                n += static_cast<size_t>(std::popcount(before));
                pending = data[k + first];
                k += first + 1;
                continue;
            }
            const uint8_t c = data[k++];
            if (!isRunByte(c))
                continue;
            if (pending != 0) {
                const uint8_t was = pending;
                pending = 0;
                if constexpr (Write) {
                    out[n] = CR;
                    out[n + 1] = LF;
                }
                n += 2;
                if (was == CR && c == LF)
                    continue;
            }
            if (c >= 0x20) {
                if constexpr (Write)
                    out[n] = c;
                ++n;
            } else if (isLineEnd(c)) {
                pending = c;
            }
        }
    }
    // A line end still pending is the last byte: dropped.
    return n;
}

template <typename Compress>
[[gnu::always_inline]] inline std::vector<uint8_t> buildWith(std::span<const uint8_t> in) {
    const BodyTextRuns runs = FindBodyTextRuns(in);
    const size_t n = normaliseRuns<false, Compress>(in, runs.candidates, runs.threshold, nullptr);
    std::vector<uint8_t> out;
    resizeLarge(out, n + kBlock);
    normaliseRuns<true, Compress>(in, runs.candidates, runs.threshold, out.data());
    out.resize(n + 1);
    out[n] = 0;
    return out;
}

std::vector<uint8_t> buildPortable(std::span<const uint8_t> in) {
    return buildWith<PortableCompress>(in);
}

#ifdef MORVEL_TEXT_BLOCK_SSSE3
[[gnu::target("ssse3,popcnt")]] std::vector<uint8_t> buildSsse3(std::span<const uint8_t> in) {
    return buildWith<Ssse3Compress>(in);
}
#endif

}  // namespace

std::vector<uint8_t> BuildFilteredText(std::span<const uint8_t> image) {
    return BuildFilteredText(image, rawScanPathAvailable(RawScanPath::Ssse3)
                                        ? RawScanPath::Ssse3
                                        : RawScanPath::Portable);
}

std::vector<uint8_t> BuildFilteredText(std::span<const uint8_t> image, RawScanPath path) {
    if (!rawScanPathAvailable(path))
        throw std::invalid_argument("text scan path not available on this processor");
#ifdef MORVEL_TEXT_BLOCK_SSSE3
    if (path == RawScanPath::Ssse3)
        return buildSsse3(image);
#endif
    return buildPortable(image);
}

}  // namespace morvel
