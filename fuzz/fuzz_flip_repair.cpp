// The search for replaced bytes of a raw deflate stream, over arbitrary bytes: the first byte
// chooses markup or binary content, the next four are the CRC-32 the record would declare,
// the rest is the stream. A small output cap and work budget keep each run short; the work
// spent must stay within the budget given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "docx/deflate_flip_repair.h"

namespace {
constexpr uint64_t kCap = uint64_t{1} << 20;
constexpr uint64_t kBudget = uint64_t{1} << 22;
constexpr size_t kHeader = 5;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader)
        return 0;
    const size_t rest = size - kHeader;
    const uint32_t n = rest > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(rest);
    morvel::FlipRepairTarget target;
    target.markup = (data[0] & 1) != 0;
    target.sizeKnown = (data[0] & 2) != 0;
    target.size = data[0] >> 2;
    target.crc =
        data[1] | (uint32_t{data[2]} << 8) | (uint32_t{data[3]} << 16) | (uint32_t{data[4]} << 24);
    uint64_t work = kBudget;
    const morvel::RepairedStream r =
        morvel::inflateWithRepair(morvel::ByteSpan(data + kHeader, n), target, kCap, work);
    if (work > kBudget)
        std::abort();
    // Touch both ends of the output so an overrun shows at once.
    volatile uint8_t sink = r.bytes.empty() ? 0 : r.bytes.front() ^ r.bytes.back();
    (void)sink;
    return 0;
}
