#include "doc/raw_search.h"

#include <string.h>

#include <cstring>

namespace morvel {

int64_t findBytes(std::span<const uint8_t> image, int64_t from, std::span<const uint8_t> pattern) {
    if (from < 0)
        from = 0;
    const size_t n = pattern.size();
    if (n == 0 || static_cast<uint64_t>(from) >= image.size() ||
        image.size() - static_cast<uint64_t>(from) < n)
        return -1;
    // memchr for the first byte runs at memory speed where it is rare (most of our patterns
    // begin with a byte that text seldom holds); where it keeps matching in vain, memmem's
    // own algorithm takes over for the rest.
    const uint8_t* base = image.data();
    const uint8_t* p = base + from;
    const uint8_t* last = base + image.size() - n;  // last possible start
    for (int misses = 0; p <= last; ++misses) {
        if (misses == 16 && n >= 3) {
            const void* hit = memmem(p, static_cast<size_t>(last - p) + n, pattern.data(), n);
            return hit ? static_cast<const uint8_t*>(hit) - base : -1;
        }
        const void* c = memchr(p, pattern[0], static_cast<size_t>(last - p) + 1);
        if (!c)
            return -1;
        p = static_cast<const uint8_t*>(c);
        if (std::memcmp(p, pattern.data(), n) == 0)
            return p - base;
        ++p;
    }
    return -1;
}

std::vector<uint8_t> utf16Pattern(std::string_view ascii) {
    std::vector<uint8_t> out;
    for (char c : ascii) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> int32Pattern(std::initializer_list<int32_t> values) {
    std::vector<uint8_t> out;
    for (int32_t v : values)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    return out;
}

}  // namespace morvel
