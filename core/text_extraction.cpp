#include "core/text_extraction.h"

#include <algorithm>
#include <cstring>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <span>
#include <vector>

#include "platform/large_buffer.h"

namespace morvel {

namespace {

constexpr uint8_t CR = 0x0D;
constexpr uint8_t LF = 0x0A;
constexpr uint8_t FF = 0x0C;

// Highest threshold of the filtered text and the lowest one still tried.
constexpr uint32_t kFirstThreshold = 3959;
constexpr uint32_t kLastThreshold = 3;
// A run longer than this needs no CR at its end to count as body text.
constexpr uint32_t kLongRun = 1000;

constexpr bool isPrintable(uint8_t c) {
    return c >= 0x20 && c <= 0x7E;
}
// Bytes that extend a run of the filtered text: every 7-bit byte but NUL and DEL.
constexpr bool isRunByte(uint8_t c) {
    return c >= 0x01 && c <= 0x7E;
}

// Length of the stretch at p (at most n bytes) whose bytes all lie in [lo, hi] (lo >= 0x01,
// hi <= 0x7E). Sixteen bytes at a time where SSE2 is there: this is the inner loop of both
// extractions, so it decides their speed.
template <uint8_t Lo, uint8_t Hi>
size_t stretchWithin(const uint8_t* p, size_t n) {
    size_t k = 0;
#ifdef __SSE2__
    const __m128i below = _mm_set1_epi8(static_cast<char>(Lo - 1));
    const __m128i above = _mm_set1_epi8(static_cast<char>(Hi + 1));
    for (; k + 16 <= n; k += 16) {
        // Signed compares: bytes 0x80-0xFF are negative, so they fail "greater than Lo - 1".
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        __m128i in = _mm_and_si128(_mm_cmpgt_epi8(v, below), _mm_cmplt_epi8(v, above));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(in));
        if (mask != 0xFFFF)
            return k + static_cast<size_t>(__builtin_ctz(~mask));
    }
#endif
    while (k < n && p[k] >= Lo && p[k] <= Hi)
        ++k;
    return k;
}

size_t printableStretch(const uint8_t* p, size_t n) {
    return stretchWithin<0x20, 0x7E>(p, n);
}
size_t runStretch(const uint8_t* p, size_t n) {
    return stretchWithin<0x01, 0x7E>(p, n);
}

// Copies a stretch of text; short ones (most of a binary file's) without a library call.
inline void copyStretch(uint8_t* out, const uint8_t* in, size_t len) {
    if (len <= 16) {
        for (size_t k = 0; k < len; ++k)
            out[k] = in[k];
    } else {
        std::memcpy(out, in, len);
    }
}

// The five cancellation points of a step: each looks at the stop event and otherwise moves the
// progress bar on by one. Returns false when the run was cancelled.
bool passCancellationPoints(DocumentRecord& record, const RecoveryEnvironment& env) {
    for (int k = 0; k < 5; ++k) {
        if (record.stopEvent && record.stopEvent->isSet())
            return false;
        if (env.progress)
            env.progress->stepIt();
    }
    return true;
}

// Ends a step whose result is already stored: a cancelled run keeps the text but fails.
void finishStep(DocumentRecord& record, const RecoveryEnvironment& env) {
    if (passCancellationPoints(record, env))
        record.resultsReady = 1;
    else
        record.success = 0;
}

std::span<const uint8_t> imageOf(const DocumentRecord& record) {
    if (!record.fileData)
        return {};
    return std::span<const uint8_t>(record.fileData->data(),
                                    std::min<size_t>(record.fileSize, record.fileData->size()));
}

// A run kept by the filtered pass: the file bytes [begin, end) hold its `length` run bytes; the
// other bytes in that range are single non-run bytes the run stepped over.
struct Run {
    size_t begin;
    size_t end;
    size_t length;
};

// Turns the concatenated run bytes into the filtered text: CR LF stays, a lone CR, LF or form
// feed becomes CR LF, other control bytes and a control byte at the very end are dropped.
// A line-end byte waits for the next byte to know whether it is the last one or a CR before LF.
// With Write false it only counts, so the output can be allocated at its exact size.
template <bool Write>
class Normaliser {
  public:
    explicit Normaliser(uint8_t* out) : out_(out) {}

    void push(uint8_t c) {
        if (pending_) {
            const uint8_t was = pending_;
            pending_ = 0;
            emit(CR);
            emit(LF);
            if (was == CR && c == LF)
                return;
        }
        if (c >= 0x20) {
            emit(c);
        } else if (c == CR || c == LF || c == FF) {
            pending_ = c;
        }
    }
    // A stretch of printable bytes, copied in one go.
    void pushPrintable(const uint8_t* p, size_t len) {
        if (len == 0)
            return;
        push(p[0]);
        if constexpr (Write)
            copyStretch(out_ + n_, p + 1, len - 1);
        n_ += len - 1;
    }
    // A line-end byte still pending at the end is the last byte: dropped.
    size_t size() const { return n_; }

  private:
    void emit(uint8_t c) {
        if constexpr (Write)
            out_[n_] = c;
        ++n_;
    }

    uint8_t* out_;
    size_t n_ = 0;
    uint8_t pending_ = 0;
};

template <bool Write>
size_t normaliseRuns(std::span<const uint8_t> in, const std::vector<Run>& runs, size_t threshold,
                     uint8_t* out) {
    Normaliser<Write> norm(out);
    for (const Run& r : runs) {
        if (r.length <= threshold)
            continue;
        size_t k = r.begin;
        while (k < r.end) {
            size_t stretch = k + printableStretch(in.data() + k, r.end - k);
            norm.pushPrintable(in.data() + k, stretch - k);
            if (stretch == r.end)
                break;
            if (isRunByte(in[stretch]))
                norm.push(in[stretch]);
            k = stretch + 1;
        }
    }
    return norm.size();
}

// The raw text rules over the whole image; with Write false it only counts the output bytes.
template <bool Write>
size_t rawTextScan(std::span<const uint8_t> in, uint8_t* out) {
    const size_t size = in.size();
    size_t n = 0;
    size_t i = 0;
    while (i < size) {
        uint8_t c = in[i];
        if (isPrintable(c)) {
            size_t stretch = i + 1 + printableStretch(in.data() + i + 1, size - i - 1);
            if constexpr (Write)
                copyStretch(out + n, in.data() + i, stretch - i);
            n += stretch - i;
            i = stretch;
        } else if (i + 1 >= size) {
            ++i;
        } else if (c == CR || c == LF || c == FF) {
            if constexpr (Write) {
                out[n] = CR;
                out[n + 1] = LF;
            }
            n += 2;
            i += (c == CR && in[i + 1] == LF) ? 2 : 1;
        } else {
            ++i;
        }
    }
    return n;
}

}  // namespace

void ExtractRawText(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        if (env.progress) {
            env.progress->setRange(0, 10);
            env.progress->setStep(1);
        }
        std::span<const uint8_t> in = imageOf(record);
        // One scan into a work buffer sized for the worst case (every byte a lone CR); only the
        // pages written are ever touched. The result keeps an exact-size copy.
        std::unique_ptr<uint8_t[]> work = allocateWorkBuffer(2 * in.size() + 1);
        const size_t n = rawTextScan<true>(in, work.get());
        std::vector<uint8_t> out;
        resizeLarge(out, n + 1);
        std::memcpy(out.data(), work.get(), n);
        work.reset();
        out[n] = 0;
        record.rawText = std::move(out);
        record.rawTextLength = static_cast<uint32_t>(n + 1);

        finishStep(record, env);
    } catch (...) {
        record.success = 0;
    }
}

void ExtractFilteredText(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        std::span<const uint8_t> in = imageOf(record);
        const size_t size = in.size();

        // One pass finds the runs and remembers those that may qualify; their bytes are read
        // again from the image only when the text is written.
        std::vector<Run> kept;
        size_t runBegin = 0;
        size_t runLength = 0;
        uint8_t last = 0, beforeLast = 0;  // the run's last two bytes
        size_t longest = 0;                // longest qualifying run so far
        size_t floor = 0;  // runs no longer than this can never be collected any more

        for (size_t i = 0; i < size; ++i) {
            const uint8_t c = in[i];
            if (isRunByte(c)) {
                const size_t len = 1 + runStretch(in.data() + i + 1, size - i - 1);
                if (runLength == 0)
                    runBegin = i;
                beforeLast = len >= 2 ? in[i + len - 2] : last;
                last = in[i + len - 1];
                runLength += len;
                i += len - 1;
                continue;
            }
            // A single non-run byte between run bytes is stepped over (joins UTF-16LE text);
            // so is one at the very end of the file.
            if (i + 1 >= size || isRunByte(in[i + 1]))
                continue;

            const bool endsLikeParagraph =
                (runLength >= 1 && last == CR) || (runLength >= 2 && beforeLast == CR);
            if (runLength > kLastThreshold && runLength > floor &&
                (runLength > kLongRun || endsLikeParagraph)) {
                kept.push_back({runBegin, i, runLength});
                longest = std::max(longest, runLength);
                floor = std::min<size_t>(kFirstThreshold, longest - 1);
            }
            runLength = 0;
            last = beforeLast = 0;
        }
        // A run still open at the end of the data is never collected.

        // Rescanning with thresholds 3959, 3958, ... stops at the highest T for which some
        // qualifying run is longer than T: T = min(3959, longest - 1). It collects every
        // qualifying run longer than that, in file order.
        size_t threshold = longest > kLastThreshold ? std::min<size_t>(kFirstThreshold, longest - 1)
                                                    : std::numeric_limits<size_t>::max();
        const size_t n = normaliseRuns<false>(in, kept, threshold, nullptr);
        std::vector<uint8_t> out;
        resizeLarge(out, n + 1);
        normaliseRuns<true>(in, kept, threshold, out.data());
        out[n] = 0;
        record.filteredLength = static_cast<uint32_t>(out.size());
        record.filteredData = std::move(out);

        finishStep(record, env);
    } catch (...) {
        record.success = 0;
    }
}

}  // namespace morvel
