#include "core/raw_text_scan.h"

#include <bit>
#include <stdexcept>

#include "core/text_block.h"
#include "core/text_bytes.h"
#include "platform/large_buffer.h"

namespace morvel {

namespace {

using namespace text_bytes;
using namespace text_block;

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

#ifdef MORVEL_TEXT_BLOCK_SSSE3
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
#ifdef MORVEL_TEXT_BLOCK_SSSE3
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
#ifdef MORVEL_TEXT_BLOCK_SSSE3
    if (path == RawScanPath::Ssse3)
        return buildSsse3(image);
#endif
    return buildPortable(image);
}

}  // namespace morvel
