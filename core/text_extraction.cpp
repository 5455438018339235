#include "core/text_extraction.h"

#include <algorithm>
#include <cstring>
#include <memory>
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

std::span<const uint8_t> imageOf(const DocumentRecord& record) {
    if (!record.fileData)
        return {};
    return std::span<const uint8_t>(record.fileData->data(),
                                    std::min<size_t>(record.fileSize, record.fileData->size()));
}

// A run kept by the filtered pass, as a slice of the collected buffer.
struct Run {
    size_t start;
    size_t length;
};

// Normalises the collected runs' control bytes: CR LF stays, a lone CR, LF or form feed becomes
// CR LF, other control bytes and a control byte at the very end are dropped. With Write false
// it only counts the output bytes, so the output can be allocated at its exact size.
template <bool Write>
size_t normaliseCollected(std::span<const uint8_t> collected, uint8_t* out) {
    const size_t total = collected.size();
    size_t n = 0;
    for (size_t j = 0; j < total; ++j) {
        uint8_t c = collected[j];
        if (c >= 0x20) {
            if constexpr (Write)
                out[n] = c;
            ++n;
            continue;
        }
        if (j + 1 >= total)
            continue;
        if (c == CR || c == LF || c == FF) {
            if constexpr (Write) {
                out[n] = CR;
                out[n + 1] = LF;
            }
            n += 2;
            if (c == CR && collected[j + 1] == LF)
                ++j;
        }
    }
    return n;
}

// The raw text rules over the whole image; returns the number of bytes written to out.
size_t rawTextScan(std::span<const uint8_t> in, uint8_t* out) {
    const size_t size = in.size();
    size_t n = 0;
    size_t i = 0;
    while (i < size) {
        uint8_t c = in[i];
        if (isPrintable(c)) {
            out[n++] = c;
            ++i;
        } else if (i + 1 >= size) {
            ++i;
        } else if (c == CR || c == LF || c == FF) {
            out[n++] = CR;
            out[n++] = LF;
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
        // Scan once into a work buffer big enough for the worst case (every byte a lone CR);
        // only the pages written are ever touched. Then keep an exact-size copy.
        std::unique_ptr<uint8_t[]> work = allocateWorkBuffer(2 * in.size() + 1);
        const size_t n = rawTextScan(in, work.get());
        work[n] = 0;
        std::vector<uint8_t> out;
        resizeLarge(out, n + 1);
        std::memcpy(out.data(), work.get(), n + 1);
        work.reset();
        record.rawText = std::move(out);
        record.rawTextLength = static_cast<uint32_t>(n + 1);

        if (!passCancellationPoints(record, env)) {
            record.success = 0;
            return;
        }
        record.resultsReady = 1;
    } catch (...) {
        record.success = 0;
    }
}

void ExtractFilteredText(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.success = 1;
    try {
        std::span<const uint8_t> in = imageOf(record);
        const size_t size = in.size();

        // Runs are written straight into the collected buffer; a run that ends without
        // qualifying is dropped by moving the write position back to its start.
        std::unique_ptr<uint8_t[]> collected = allocateWorkBuffer(size);
        uint8_t* buf = collected.get();
        std::vector<Run> kept;
        size_t runStart = 0;
        size_t w = 0;
        size_t longest = 0;  // longest qualifying run so far
        size_t floor = 0;    // runs no longer than this can never be collected any more

        for (size_t i = 0; i < size; ++i) {
            uint8_t c = in[i];
            if (isRunByte(c)) {
                buf[w++] = c;
                continue;
            }
            // A single non-run byte between run bytes is stepped over (joins UTF-16LE text);
            // so is one at the very end of the file.
            if (i + 1 >= size || isRunByte(in[i + 1]))
                continue;

            const size_t len = w - runStart;
            const bool endsLikeParagraph =
                len >= 1 && (buf[w - 1] == CR || (len >= 2 && buf[w - 2] == CR));
            if (len > kLastThreshold && len > floor && (len > kLongRun || endsLikeParagraph)) {
                kept.push_back({runStart, len});
                longest = std::max(longest, len);
                floor = std::min<size_t>(kFirstThreshold, longest - 1);
                runStart = w;
            } else {
                w = runStart;
            }
        }
        // A run still open at the end of the data is never collected.

        // The rescanning algorithm stops at the highest threshold T for which some qualifying
        // run is longer than T: T = min(3959, longest - 1). It collects every qualifying run
        // longer than that, in file order.
        size_t total = 0;
        if (longest > kLastThreshold) {
            const size_t threshold = std::min<size_t>(kFirstThreshold, longest - 1);
            for (const Run& r : kept) {
                if (r.length <= threshold)
                    continue;
                std::memmove(buf + total, buf + r.start, r.length);
                total += r.length;
            }
        }

        std::span<const uint8_t> runs(buf, total);
        const size_t n = normaliseCollected<false>(runs, nullptr);
        std::vector<uint8_t> out;
        resizeLarge(out, n + 1);
        normaliseCollected<true>(runs, out.data());
        out[n] = 0;
        record.filteredLength = static_cast<uint32_t>(out.size());
        record.filteredData = std::move(out);

        if (!passCancellationPoints(record, env)) {
            record.success = 0;
            return;
        }
        record.resultsReady = 1;
    } catch (...) {
        record.success = 0;
    }
}

}  // namespace morvel
