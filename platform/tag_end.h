#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvel {

// The index of the first byte in [at, text.size()) equal to a, b or c, or text.size().
// Sixteen bytes are tested at a time where the processor compares vectors, then eight: the
// lowest flagged byte of each mask is exact. No load reaches past the text.
inline size_t findFirstOf3(std::string_view text, size_t at, char a, char b, char c) {
#if defined(__SSE2__)
    if (at < text.size()) {
        const __m128i va = _mm_set1_epi8(a);
        const __m128i vb = _mm_set1_epi8(b);
        const __m128i vc = _mm_set1_epi8(c);
        while (text.size() - at >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
            const __m128i hits = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, vc));
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
            if (mask != 0)
                return at + static_cast<size_t>(std::countr_zero(mask));
            at += 16;
        }
    }
#endif
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    const auto equalBytes = [](uint64_t word, char ch) {
        const uint64_t x = word ^ (kOnes * static_cast<uint8_t>(ch));
        return (x - kOnes) & ~x & kHighs;
    };
    const size_t n = text.size();
    while (at < n && n - at >= 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + at, 8);
        const uint64_t hits = equalBytes(word, a) | equalBytes(word, b) | equalBytes(word, c);
        if (hits) {
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(hits)
                                                                       : std::countl_zero(hits);
            return at + static_cast<size_t>(bit / 8);
        }
        at += 8;
    }
    for (; at < n; ++at)
        if (text[at] == a || text[at] == b || text[at] == c)
            return at;
    return n;
}

// The index of the '>' that closes a markup tag whose text continues at `from`, or npos.
// A '>' inside a quoted attribute value does not close the tag, as XML allows a raw '>'
// there. A quote left open by damage must not swallow the rest of the part: a quoted run that
// meets a '<' (never legal in a value) or the end of the text is broken, and the tag then
// ends at the first '>' after that quote opened, or, with none there, the quote is ignored
// and the walk goes on as outside quotes.
inline size_t findTagEnd(std::string_view text, size_t from) {
    constexpr size_t npos = std::string_view::npos;
    const size_t n = text.size();
    size_t i = from;
    while (true) {
        i = findFirstOf3(text, i, '>', '"', '\'');
        if (i >= n)
            return npos;
        if (text[i] == '>')
            return i;
        const char quote = text[i];
        size_t quotedEnd = npos;  // the first '>' inside the quote
        size_t j = findFirstOf3(text, i + 1, quote, '<', '>');
        while (j < n && text[j] == '>') {
            if (quotedEnd == npos)
                quotedEnd = j;
            j = findFirstOf3(text, j + 1, quote, '<', '>');
        }
        if (j >= n)
            return quotedEnd;
        if (text[j] == '<' && quotedEnd != npos)
            return quotedEnd;
        i = j + 1;  // past the closing quote, or past the '<' that broke the quote
    }
}

}  // namespace morvel
