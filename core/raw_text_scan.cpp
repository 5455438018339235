#include "core/raw_text_scan.h"

#include <array>
#include <bit>
#include <stdexcept>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__SSE2__)
#include <tmmintrin.h>
#define MORVEL_RAW_SCAN_SSSE3 1
#endif

#include "core/text_bytes.h"
#include "platform/large_buffer.h"

namespace morvel {

namespace {

using namespace text_bytes;

// A block of 16 bytes is written with at most this many bytes past the text written so far.
constexpr size_t kBlock = 16;

// Bit k of `keep` is set when byte k of the block is printable, of `lineEnds` when it is CR, LF
// or form feed.
struct BlockClasses {
    unsigned keep;
    unsigned lineEnds;
};

[[gnu::always_inline]] inline BlockClasses classify(const uint8_t* p) {
#ifdef __SSE2__
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed compares: bytes 0x80-0xFF are negative and so never printable.
    const __m128i printable = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F)),
                                            _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F)));
    const __m128i ends = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(CR)), _mm_cmpeq_epi8(v, _mm_set1_epi8(LF))),
        _mm_cmpeq_epi8(v, _mm_set1_epi8(FF)));
    return {static_cast<unsigned>(_mm_movemask_epi8(printable)),
            static_cast<unsigned>(_mm_movemask_epi8(ends))};
#else
    BlockClasses b{0, 0};
    for (unsigned k = 0; k < kBlock; ++k) {
        b.keep |= static_cast<unsigned>(isPrintable(p[k])) << k;
        b.lineEnds |= static_cast<unsigned>(isLineEnd(p[k])) << k;
    }
    return b;
#endif
}

// Writes the bytes of the block whose bits are set in `keep`, in order, and returns how many.
// May write up to 16 bytes at out whatever the count.
struct PortableCompress {
    [[gnu::always_inline]] static size_t write(uint8_t* out, const uint8_t* p, unsigned keep) {
        size_t n = 0;
        for (unsigned k = 0; k < kBlock; ++k) {
            out[n] = p[k];
            n += (keep >> k) & 1u;
        }
        return n;
    }
};

// The raw text rules over the whole image. With Write false it only counts the output bytes;
// with Write true out must hold that count plus kBlock bytes.
template <bool Write, typename Compress>
[[gnu::always_inline]] inline size_t rawTextScan(std::span<const uint8_t> in, uint8_t* out) {
    const uint8_t* data = in.data();
    const size_t size = in.size();
    size_t n = 0;
    size_t i = 0;
    while (i < size) {
        // Whole blocks while the last byte, which has a rule of its own, lies beyond them.
        if (i + kBlock < size) {
            const BlockClasses b = classify(data + i);
            if (b.lineEnds == 0) {
                if constexpr (Write)
                    Compress::write(out + n, data + i, b.keep);
                n += static_cast<size_t>(std::popcount(b.keep));
                i += kBlock;
                continue;
            }
            // Printable bytes up to the first line end, then the line end itself.
            const unsigned first = static_cast<unsigned>(std::countr_zero(b.lineEnds));
            const unsigned before = b.keep & ((1u << first) - 1u);
            if constexpr (Write)
                Compress::write(out + n, data + i, before);
            n += static_cast<size_t>(std::popcount(before));
            i += first;
        }
        const uint8_t c = data[i];
        if (isPrintable(c)) {
            if constexpr (Write)
                out[n] = c;
            ++n;
            ++i;
        } else if (i + 1 < size && isLineEnd(c)) {
            if constexpr (Write) {
                out[n] = CR;
                out[n + 1] = LF;
            }
            n += 2;
            i += (c == CR && data[i + 1] == LF) ? 2 : 1;
        } else {
            ++i;
        }
    }
    return n;
}

template <typename Compress>
[[gnu::always_inline]] inline std::vector<uint8_t> buildWith(std::span<const uint8_t> in) {
    const size_t n = rawTextScan<false, Compress>(in, nullptr);
    std::vector<uint8_t> out;
    resizeLarge(out, n + kBlock);
    rawTextScan<true, Compress>(in, out.data());
    out.resize(n + 1);
    out[n] = 0;
    return out;
}

std::vector<uint8_t> buildPortable(std::span<const uint8_t> in) {
    return buildWith<PortableCompress>(in);
}

#ifdef MORVEL_RAW_SCAN_SSSE3
// For each 8-bit mask, the positions of its set bits in order, padded with 0x80 (which makes
// the byte shuffle write zero).
constexpr std::array<uint64_t, 256> makeCompressTable() {
    std::array<uint64_t, 256> table{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        uint64_t entry = 0;
        unsigned k = 0;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (mask & (1u << bit))
                entry |= static_cast<uint64_t>(bit) << (8 * k++);
        for (; k < 8; ++k)
            entry |= uint64_t{0x80} << (8 * k);
        table[mask] = entry;
    }
    return table;
}
constexpr std::array<uint64_t, 256> kCompressTable = makeCompressTable();

// Packs each half of the block with one byte shuffle, then stores the halves one after the
// other: two 8-byte stores instead of sixteen single ones.
struct Ssse3Compress {
    [[gnu::target("ssse3,popcnt")]] static size_t write(uint8_t* out, const uint8_t* p,
                                                        unsigned keep) {
        const unsigned lo = keep & 0xFFu;
        const unsigned hi = keep >> 8;
        const uint64_t hiIndexes = kCompressTable[hi] + 0x0808080808080808ull;
        const __m128i shuffle = _mm_set_epi64x(static_cast<long long>(hiIndexes),
                                               static_cast<long long>(kCompressTable[lo]));
        const __m128i packed =
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), shuffle);
        const size_t loCount = static_cast<size_t>(std::popcount(lo));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + loCount), _mm_srli_si128(packed, 8));
        return loCount + static_cast<size_t>(std::popcount(hi));
    }
};

[[gnu::target("ssse3,popcnt")]] std::vector<uint8_t> buildSsse3(std::span<const uint8_t> in) {
    return buildWith<Ssse3Compress>(in);
}
#endif

}  // namespace

bool rawScanPathAvailable(RawScanPath path) {
    switch (path) {
        case RawScanPath::Portable:
            return true;
        case RawScanPath::Ssse3:
#ifdef MORVEL_RAW_SCAN_SSSE3
            return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
#else
            return false;
#endif
    }
    return false;
}

std::vector<uint8_t> BuildRawText(std::span<const uint8_t> image) {
    return BuildRawText(image, rawScanPathAvailable(RawScanPath::Ssse3) ? RawScanPath::Ssse3
                                                                        : RawScanPath::Portable);
}

std::vector<uint8_t> BuildRawText(std::span<const uint8_t> image, RawScanPath path) {
    if (!rawScanPathAvailable(path))
        throw std::invalid_argument("raw text scan path not available on this processor");
#ifdef MORVEL_RAW_SCAN_SSSE3
    if (path == RawScanPath::Ssse3)
        return buildSsse3(image);
#endif
    return buildPortable(image);
}

}  // namespace morvel
