#include "doc/raw_search.h"

#include <string.h>

namespace morvel {

int64_t findBytes(std::span<const uint8_t> image, int64_t from, std::span<const uint8_t> pattern) {
    if (from < 0)
        from = 0;
    if (pattern.empty() || static_cast<uint64_t>(from) >= image.size() ||
        image.size() - static_cast<uint64_t>(from) < pattern.size())
        return -1;
    const void* hit =
        memmem(image.data() + from, image.size() - from, pattern.data(), pattern.size());
    if (!hit)
        return -1;
    return static_cast<const uint8_t*>(hit) - image.data();
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
