// Splicing a new head onto an arbitrary deflate stream. The first byte chooses the change
// and whether the original is given as checked, the next two where the kept tail starts;
// the rest is the stream. The original's bytes are what zlib inflates from it (flipped in
// one byte now and then, a lie the unchecked splice must catch). Whatever comes out as a
// splice must inflate to exactly the new content.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "docx/deflate_splice.h"

namespace {

constexpr size_t kCap = size_t{4} << 20;

// What zlib inflates from stream, up to kCap; ended says the stream ended cleanly.
std::vector<uint8_t> inflateAll(const uint8_t* data, size_t size, bool& ended) {
    std::vector<uint8_t> out(kCap);
    z_stream s{};
    ended = false;
    if (inflateInit2(&s, -15) != Z_OK)
        return {};
    s.next_in = const_cast<Bytef*>(data);
    s.avail_in = static_cast<uInt>(size);
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    ended = inflate(&s, Z_FINISH) == Z_STREAM_END;
    out.resize(s.total_out);
    inflateEnd(&s);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > UINT32_MAX)
        return 0;
    const uint8_t control = data[0];
    const size_t cut = size_t{data[1]} << 8 | data[2];
    const uint8_t* stream = data + 3;
    const size_t streamSize = size - 3;
    bool ended = false;
    std::vector<uint8_t> plain = inflateAll(stream, streamSize, ended);
    if (plain.empty())
        return 0;
    const bool lie = (control & 2) != 0;
    if (lie)
        plain[cut % plain.size()] ^= 0x20;
    // Only a caller that inflated the stream to its end, and told the truth, may say so.
    const bool checked = (control & 1) != 0 && ended && !lie;
    const size_t from = (cut * 64) % (plain.size() + 1);
    const std::string head((control >> 2) % 8 == 0 ? "" : "<?xml version=\"1.0\"?>");
    const std::vector<morvel::ByteSpan> segments = {
        morvel::spanOf(head),
        morvel::ByteSpan(plain.data() + from, static_cast<uint32_t>(plain.size() - from))};
    std::vector<uint8_t> out{0x5A};
    const morvel::SpliceResult r = morvel::spliceDeflate(
        {morvel::ByteSpan(stream, static_cast<uint32_t>(streamSize)),
         morvel::ByteSpan(plain.data(), static_cast<uint32_t>(plain.size())), checked},
        segments.data(), 2, 6, out);
    if (out.empty() || out[0] != 0x5A)
        __builtin_trap();
    if (r.outcome != morvel::SpliceOutcome::Spliced && r.outcome != morvel::SpliceOutcome::Copied) {
        if (out.size() != 1)
            __builtin_trap();
        return 0;
    }
    std::string content = head;
    content.append(plain.begin() + static_cast<ptrdiff_t>(from), plain.end());
    bool outEnded = false;
    const std::vector<uint8_t> back = inflateAll(out.data() + 1, out.size() - 1, outEnded);
    if (!outEnded || r.plainLength != content.size() ||
        std::string(back.begin(), back.end()) != content ||
        r.crc != crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                       static_cast<uInt>(content.size())))
        __builtin_trap();
    return 0;
}
