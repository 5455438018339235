// Damaged-stream decoding. The first byte picks the mode: even, the rest is taken as a raw
// deflate stream as it is; odd, the rest is deflated and that valid stream is then damaged
// (cut off, bytes flipped or zeroed) at places the input's last bytes choose.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "docx/deflate_salvage.h"
#include "tests/support/zip_builder.h"

namespace {

constexpr uint64_t kOutputCap = 8u << 20;

void damage(std::vector<uint8_t>& stream, uint8_t how, uint32_t where) {
    if (stream.empty())
        return;
    const size_t at = where % stream.size();
    switch (how % 3) {
        case 0:
            stream.resize(at);
            break;
        case 1:
            for (size_t i = at; i < stream.size() && i < at + 8; ++i)
                stream[i] ^= static_cast<uint8_t>(0x5A + i);
            break;
        default:
            for (size_t i = at; i < stream.size() && i < at + (where >> 20) + 1; ++i)
                stream[i] = 0;
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::vector<uint8_t> stream;
    if ((data[0] & 1) == 0 || size < 6) {
        stream.assign(data + 1, data + size);
    } else {
        const uint8_t how = data[size - 5];
        const uint32_t where = static_cast<uint32_t>(data[size - 4]) |
                               (static_cast<uint32_t>(data[size - 3]) << 8) |
                               (static_cast<uint32_t>(data[size - 2]) << 16) |
                               (static_cast<uint32_t>(data[size - 1]) << 24);
        stream = morvel::test::deflateRaw(std::vector<uint8_t>(data + 1, data + size - 5),
                                          1 + (data[0] >> 1) % 9);
        damage(stream, how, where);
    }
    const morvel::ByteSpan input(stream.data(), static_cast<uint32_t>(stream.size()));
    const morvel::SalvagedStream blocks = morvel::resumeAtBlocks(input, kOutputCap);
    if (blocks.bytes.size() > kOutputCap || blocks.gapOffsets.size() != blocks.gaps ||
        (blocks.complete && blocks.gaps))
        __builtin_trap();
    // The best reading may come from the in-block decoder, which places no gap offsets.
    const morvel::SalvagedStream r = morvel::inflateDamaged(input, kOutputCap);
    if (r.bytes.size() > kOutputCap || (!r.gapOffsets.empty() && r.gapOffsets.size() != r.gaps) ||
        (r.complete && r.gaps) || r.bytes.size() < blocks.bytes.size())
        __builtin_trap();
    uint8_t sum = 0;
    if (!r.bytes.empty())
        sum = r.bytes.front() ^ r.bytes.back();
    volatile uint8_t sink = sum;
    (void)sink;
    return 0;
}
