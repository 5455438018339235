#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/byte_span.h"

namespace morvel {

// Byte-exact span comparisons used by the markup rules; case-sensitive unless said otherwise.
inline bool StartsWith(ByteSpan span, std::string_view pattern) {
    return span.length >= pattern.size() && span.view().substr(0, pattern.size()) == pattern;
}

// Lengths first: most names differ in length, and a constant pattern's compare is then a few
// loads. An absent span reads as empty.
inline bool Equals(ByteSpan span, std::string_view pattern) {
    if (span.absent())
        return pattern.empty();
    return span.length == pattern.size() &&
           (pattern.empty() || std::memcmp(span.data, pattern.data(), pattern.size()) == 0);
}

// Element names are short: a plain loop beats a call to memcmp for them.
inline bool Equals(ByteSpan a, ByteSpan b) {
    if (a.absent() || b.absent())
        return a.view() == b.view();
    if (a.length != b.length)
        return false;
    constexpr uint32_t kShortName = 16;
    if (a.length > kShortName)
        return std::memcmp(a.data, b.data, a.length) == 0;
    for (uint32_t i = 0; i < a.length; ++i)
        if (a.data[i] != b.data[i])
            return false;
    return true;
}

// The first occurrence of pattern in span, or null.
inline const uint8_t* Find(ByteSpan span, std::string_view pattern) {
    size_t at = span.view().find(pattern);
    return at == std::string_view::npos ? nullptr : span.data + at;
}

// As Find, with A-Z folded to a-z on both sides.
inline const uint8_t* FindNoCase(ByteSpan span, std::string_view pattern) {
    auto fold = [](uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; };
    std::string_view s = span.view();
    if (pattern.size() > s.size())
        return nullptr;
    for (size_t i = 0; i + pattern.size() <= s.size(); ++i) {
        size_t k = 0;
        while (k < pattern.size() &&
               fold(static_cast<uint8_t>(s[i + k])) == fold(static_cast<uint8_t>(pattern[k])))
            ++k;
        if (k == pattern.size())
            return span.data + i;
    }
    return nullptr;
}

}  // namespace morvel
