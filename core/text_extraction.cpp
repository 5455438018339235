#include "core/text_extraction.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <span>
#include <vector>

#include "core/raw_text_scan.h"
#include "core/text_bytes.h"
#include "core/text_run_finder.h"
#include "platform/large_buffer.h"

namespace morvel {

namespace {

using namespace text_bytes;

// Length of the stretch of printable bytes at p (at most n bytes), sixteen at a time where SSE2
// is there: kept runs are mostly long stretches of printable text.
size_t printableStretch(const uint8_t* p, size_t n) {
    size_t k = 0;
#ifdef __SSE2__
    const __m128i below = _mm_set1_epi8(0x1F);
    const __m128i above = _mm_set1_epi8(0x7F);
    for (; k + 16 <= n; k += 16) {
        // Signed compares: bytes 0x80-0xFF are negative, so they fail "greater than 0x1F".
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        __m128i in = _mm_and_si128(_mm_cmpgt_epi8(v, below), _mm_cmplt_epi8(v, above));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(in));
        if (mask != 0xFFFF)
            return k + static_cast<size_t>(__builtin_ctz(~mask));
    }
#endif
    while (k < n && isPrintable(p[k]))
        ++k;
    return k;
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
        } else if (isLineEnd(c)) {
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
size_t normaliseRuns(std::span<const uint8_t> in, const std::vector<TextRun>& runs,
                     size_t threshold, uint8_t* out) {
    Normaliser<Write> norm(out);
    for (const TextRun& r : runs) {
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

}  // namespace

void ExtractRawText(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        if (env.progress) {
            env.progress->setRange(0, 10);
            env.progress->setStep(1);
        }
        std::vector<uint8_t> out = BuildRawText(imageOf(record));
        record.rawTextLength = static_cast<uint32_t>(out.size());
        record.rawText = std::move(out);

        finishStep(record, env);
    } catch (...) {
        record.success = 0;
    }
}

void ExtractFilteredText(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        std::span<const uint8_t> in = imageOf(record);
        const BodyTextRuns runs = FindBodyTextRuns(in);
        const size_t n = normaliseRuns<false>(in, runs.candidates, runs.threshold, nullptr);
        std::vector<uint8_t> out;
        resizeLarge(out, n + 1);
        normaliseRuns<true>(in, runs.candidates, runs.threshold, out.data());
        out[n] = 0;
        record.filteredLength = static_cast<uint32_t>(out.size());
        record.filteredData = std::move(out);

        finishStep(record, env);
    } catch (...) {
        record.success = 0;
    }
}

}  // namespace morvel
