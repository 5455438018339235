// Telling a cut raw deflate stream from a damaged one, over arbitrary bytes: the first byte
// chooses markup or binary content, the rest is the stream as a file's end may have cut it.
// A cut stream's reading stays within the cap and is the strict decoding's; the repair behind it,
// told the data may be cut, spends no more work than its budget.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "docx/deflate_cut_stream.h"
#include "docx/deflate_flip_repair.h"

namespace {
constexpr uint64_t kCap = uint64_t{1} << 20;
constexpr uint64_t kBudget = uint64_t{1} << 22;
constexpr size_t kHeader = 1;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader)
        return 0;
    const size_t rest = size - kHeader;
    const uint32_t n = rest > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(rest);
    const morvel::ByteSpan stream(data + kHeader, n);
    const bool markup = (data[0] & 1) != 0;
    const morvel::CutStreamReading reading = morvel::decodeCutStream(stream, markup, kCap);
    if (reading.end == morvel::CutStreamEnd::Cut && reading.bytes.size() > kCap)
        std::abort();
    if (reading.end == morvel::CutStreamEnd::Damaged && !reading.bytes.empty())
        std::abort();
    // The fast reading (zlib before the last block boundary) agrees with the strict one.
    const morvel::CutStreamReading strict = morvel::decodeCutStreamStrict(stream, markup, kCap);
    if (strict.end != reading.end || strict.bytes != reading.bytes)
        std::abort();
    morvel::FlipRepairTarget target;
    target.markup = markup;
    target.mayBeCut = true;
    uint64_t work = kBudget;
    const morvel::RepairedStream r = morvel::inflateWithRepair(stream, target, kCap, work);
    if (work > kBudget || (r.cut && work != kBudget))
        std::abort();
    // Touch both ends of the output so an overrun shows at once.
    volatile uint8_t sink = r.bytes.empty() ? 0 : r.bytes.front() ^ r.bytes.back();
    (void)sink;
    return 0;
}
