#include "docx/deflate_salvage.h"

#include <zlib.h>

namespace morvel {

SalvagedStream inflateDamaged(ByteSpan compressed, uint64_t outputCap) {
    // Placeholder until the resynchronising decoder lands: decodes up to the first error.
    SalvagedStream result;
    if (compressed.length == 0 || compressed.absent())
        return result;
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK)
        return result;
    s.next_in = const_cast<Bytef*>(compressed.data);
    s.avail_in = compressed.length;
    uint8_t chunk[65536];
    for (;;) {
        s.next_out = chunk;
        s.avail_out = sizeof chunk;
        int rc = inflate(&s, Z_NO_FLUSH);
        size_t got = sizeof chunk - s.avail_out;
        if (result.bytes.size() + got > outputCap)
            got = outputCap - result.bytes.size();
        result.bytes.insert(result.bytes.end(), chunk, chunk + got);
        if (rc == Z_STREAM_END) {
            result.complete = true;
            break;
        }
        if (rc != Z_OK || result.bytes.size() >= outputCap || (s.avail_out != 0 && s.avail_in == 0))
            break;
    }
    inflateEnd(&s);
    return result;
}

}  // namespace morvel
