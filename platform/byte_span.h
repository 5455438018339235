#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace morvel {

// A borrowed run of bytes: a length and a pointer to the first byte. It never owns what it
// points to. An empty span has length 0; a span whose pointer is null is absent.
struct ByteSpan {
    uint32_t length = 0;
    const uint8_t* data = nullptr;

    ByteSpan() = default;
    ByteSpan(const uint8_t* p, uint32_t n) : length(n), data(p) {}

    bool absent() const { return data == nullptr; }
    bool empty() const { return length == 0; }
    const uint8_t* begin() const { return data; }
    const uint8_t* end() const { return data + length; }
    std::string_view view() const {
        return data ? std::string_view(reinterpret_cast<const char*>(data), length)
                    : std::string_view();
    }
    bool equals(std::string_view s) const {
        return s.size() == length && (length == 0 || std::memcmp(data, s.data(), length) == 0);
    }
};

// A span over a string literal or other constant text.
inline ByteSpan spanOf(std::string_view s) {
    return ByteSpan(reinterpret_cast<const uint8_t*>(s.data()), static_cast<uint32_t>(s.size()));
}

}  // namespace morvel
