// Tolerant inflate of arbitrary bytes, in binary and in text mode, with a small output cap.
#include <cstddef>
#include <cstdint>

#include "docx/tolerant_inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t n = size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
    uint8_t sum = 0;
    for (bool text : {false, true}) {
        morvel::TolerantResult r =
            morvel::inflateTolerant(morvel::ByteSpan(data, n), uint64_t(4) << 20, text);
        // Touch both ends of the output so an overrun shows at once.
        if (!r.bytes.empty())
            sum ^= r.bytes.front() ^ r.bytes.back();
    }
    volatile uint8_t sink = sum;
    (void)sink;
    return 0;
}
