#pragma once

// Sixteen-byte blocks of the raw and the filtered text: which bytes of a block are printable or
// line ends, and how the kept bytes of a block are packed together. Shared by both scans so
// that they classify bytes the same way.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__SSE2__)
#include <tmmintrin.h>
#define MORVEL_TEXT_BLOCK_SSSE3 1
#endif

#include "core/text_bytes.h"

namespace morvel::text_block {

// A block is written with at most this many bytes past the text written so far.
inline constexpr size_t kBlock = 16;

// Bit k of `keep` is set when byte k of the block is printable, of `lineEnds` when it is CR, LF
// or form feed.
struct BlockClasses {
    unsigned keep;
    unsigned lineEnds;
};

[[gnu::always_inline]] inline BlockClasses classify(const uint8_t* p) {
    using namespace text_bytes;
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

#ifdef MORVEL_TEXT_BLOCK_SSSE3
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
inline constexpr std::array<uint64_t, 256> kCompressTable = makeCompressTable();

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
#endif

}  // namespace morvel::text_block
