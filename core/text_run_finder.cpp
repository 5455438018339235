#include "core/text_run_finder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/text_bytes.h"

namespace morvel {

namespace {

using text_bytes::CR;
using text_bytes::isRunByte;

// Highest threshold of the filtered text and the lowest one still tried.
constexpr size_t kFirstThreshold = 3959;
constexpr size_t kLastThreshold = 3;
// A run longer than this needs no CR at its end to count as body text.
constexpr size_t kLongRun = 1000;

constexpr size_t kBlock = 64;

// Bit k stands for byte k of a 64-byte block.
struct BlockClasses {
    uint64_t other;  // not a run byte
    uint64_t cr;
};

BlockClasses classify(const uint8_t* p) {
    uint64_t run = 0;
    uint64_t cr = 0;
#ifdef __SSE2__
    for (unsigned part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
        // Signed compares: 0x01-0x7E are the bytes above 0 and below 0x7F.
        const __m128i inRun = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_setzero_si128()),
                                            _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F)));
        const __m128i isCr = _mm_cmpeq_epi8(v, _mm_set1_epi8(CR));
        run |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(inRun))} << (16 * part);
        cr |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(isCr))} << (16 * part);
    }
#else
    for (unsigned k = 0; k < kBlock; ++k) {
        run |= uint64_t{isRunByte(p[k])} << k;
        cr |= uint64_t{p[k] == CR} << k;
    }
#endif
    return {~run, cr};
}

// Bits [from, to) of a 64-bit mask, from <= to <= 64.
uint64_t bitsBetween(uint64_t mask, unsigned from, unsigned to) {
    if (from >= kBlock)
        return 0;
    const uint64_t upTo = to >= kBlock ? ~uint64_t{0} : (uint64_t{1} << to) - 1;
    return mask & upTo & ~((uint64_t{1} << from) - 1);
}

// Walks the image keeping the runs that may be collected. A run ends at a terminator: a non-run
// byte followed by another one. The last byte of the file is never a terminator, so the run still
// open there is never collected.
class RunFinder {
  public:
    explicit RunFinder(std::span<const uint8_t> in) : in_(in) {}

    [[gnu::always_inline]] BodyTextRuns find() {
        const size_t size = in_.size();
        std::array<uint8_t, kBlock> tail{};
        for (size_t base = 0; base < size; base += kBlock) {
            const uint8_t* p = in_.data() + base;
            if (size - base < kBlock) {
                // Pad with run bytes: they neither end a run nor make the last byte a terminator.
                tail.fill('a');
                std::memcpy(tail.data(), p, size - base);
                p = tail.data();
            }
            const BlockClasses b = classify(p);
            const uint64_t nextIsOther =
                base + kBlock < size && !isRunByte(in_[base + kBlock]) ? 1 : 0;
            uint64_t terminators = b.other & ((b.other >> 1) | (nextIsOther << 63));
            const uint64_t runBytes = ~b.other;
            // A run kept for its CR ends near the CR. Its last bytes reach back into the block
            // before only when it ends at the block's first terminator, which is always checked.
            const bool crInBlock = b.cr != 0;

            if (terminators == 0) {
                carried_ += static_cast<size_t>(std::popcount(runBytes));
                continue;
            }
            if (!crInBlock) {
                // The first terminator ends the run that began before this block: only it can be
                // long, or end in a CR of the block before. The runs between this block's
                // terminators are shorter than 64 bytes and have no CR, so they are all dropped.
                const unsigned first = static_cast<unsigned>(std::countr_zero(terminators));
                endRun(base + first, bitsBetween(runBytes, 0, first));
                const unsigned last = 63u - static_cast<unsigned>(std::countl_zero(terminators));
                carried_ = static_cast<size_t>(std::popcount(bitsBetween(runBytes, last + 1, 64)));
                runStart_ = base + last + 1;
                continue;
            }
            unsigned from = 0;
            while (terminators != 0) {
                const unsigned t = static_cast<unsigned>(std::countr_zero(terminators));
                terminators &= terminators - 1;
                endRun(base + t, bitsBetween(runBytes, from, t));
                from = t + 1;
            }
            carried_ = static_cast<size_t>(std::popcount(bitsBetween(runBytes, from, 64)));
        }
        // The rescans would stop at T = min(3959, longest - 1).
        const size_t threshold = longest_ > kLastThreshold ? std::min(kFirstThreshold, longest_ - 1)
                                                           : std::numeric_limits<size_t>::max();
        return {std::move(kept_), threshold};
    }

  private:
    // The run that ends at terminator t has carried_ run bytes before this block and
    // `inBlock` (a mask) in it.
    [[gnu::always_inline]] void endRun(size_t t, uint64_t inBlock) {
        const size_t length = carried_ + static_cast<size_t>(std::popcount(inBlock));
        if (length > kLastThreshold && length > floor_ &&
            (length > kLongRun || endsLikeParagraph(t))) {
            kept_.push_back({runStart_, t, length});
            longest_ = std::max(longest_, length);
            floor_ = std::min(kFirstThreshold, longest_ - 1);
        }
        carried_ = 0;
        runStart_ = t + 1;
    }

    // For a run of at least two bytes ending at terminator t: its last byte is at t - 1 (a
    // non-run byte there would itself have been a terminator) and the one before at t - 2, or at
    // t - 3 when t - 2 was stepped over.
    bool endsLikeParagraph(size_t t) const {
        if (in_[t - 1] == CR)
            return true;
        const uint8_t beforeLast = isRunByte(in_[t - 2]) ? in_[t - 2] : in_[t - 3];
        return beforeLast == CR;
    }

    std::span<const uint8_t> in_;
    std::vector<TextRun> kept_;
    size_t runStart_ = 0;  // first byte after the last terminator
    size_t carried_ = 0;   // run bytes of the open run before the current block
    size_t longest_ = 0;   // longest kept run
    size_t floor_ = 0;     // runs no longer than this can never be collected any more
};

}  // namespace

// The run bytes of each block are counted with a population count; processors that have the
// instruction get a copy of the scan that uses it instead of a library call.
#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::target_clones("popcnt", "default")]]
#endif
BodyTextRuns
FindBodyTextRuns(std::span<const uint8_t> image) {
    return RunFinder(image).find();
}

}  // namespace morvel
