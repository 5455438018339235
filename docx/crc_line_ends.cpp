#include "docx/crc_line_ends.h"

#include <zlib.h>

#include <unordered_map>

#include "platform/line_ends.h"

namespace morvel {

namespace {

// The most CRs searched for, and the most LFs for three of them (pairs are tabled).
constexpr size_t kMaxLostCrs = 3;
constexpr size_t kMaxLfsForTriples = 2048;

// Multiplies a CRC by x^(8 n): the CRC of the same bytes followed by n more.
uint32_t shifted(uint32_t crc, size_t n) {
    return static_cast<uint32_t>(
        crc32_combine_op(crc, 0, crc32_combine_gen(static_cast<z_off_t>(n))));
}

}  // namespace

std::optional<std::vector<size_t>> findLostCrs(std::span<const uint8_t> data,
                                               std::span<const size_t> lfs, size_t k,
                                               uint32_t crc) {
    if (k == 0 || k > kMaxLostCrs || lfs.size() < k || (k == 3 && lfs.size() > kMaxLfsForTriples))
        return std::nullopt;
    const size_t n = data.size();
    // The checksum of the data with CRs before the LFs p1 < ... < pk is
    // crc(data) + sum over i of Z^(k - i) h(p_i), where Z appends one byte and
    // h(p) = Z^(n - p) (Z pc(p) + pc(p) + crc(CR)), pc(p) being the checksum of the first p bytes.
    const uint32_t crOnly = static_cast<uint32_t>(crc32(0, &kCarriageReturn, 1));
    std::vector<uint32_t> h(lfs.size());
    uLong running = crc32(0, nullptr, 0);
    size_t done = 0;
    for (size_t i = 0; i < lfs.size(); ++i) {
        const size_t p = lfs[i];
        if (p >= n || p < done)
            return std::nullopt;
        running = crc32(running, data.data() + done, static_cast<uInt>(p - done));
        done = p;
        const uint32_t pc = static_cast<uint32_t>(running);
        h[i] = shifted(shifted(pc, 1) ^ pc ^ crOnly, n - p);
    }
    running = crc32(running, data.data() + done, static_cast<uInt>(n - done));
    const uint32_t target = crc ^ static_cast<uint32_t>(running);

    if (k == 1) {
        for (size_t i = 0; i < lfs.size(); ++i)
            if (h[i] == target)
                return std::vector<size_t>{lfs[i]};
        return std::nullopt;
    }
    // The first LF's term, times Z^(k-1), tabled; the rest matched against it.
    std::unordered_multimap<uint32_t, size_t> firsts;
    firsts.reserve(lfs.size());
    for (size_t i = 0; i < lfs.size(); ++i)
        firsts.emplace(shifted(h[i], k - 1), i);
    const auto firstBefore = [&](uint32_t want, size_t limit) -> std::optional<size_t> {
        auto [lo, hi] = firsts.equal_range(want);
        for (auto it = lo; it != hi; ++it)
            if (it->second < limit)
                return it->second;
        return std::nullopt;
    };
    if (k == 2) {
        for (size_t b = 1; b < lfs.size(); ++b)
            if (std::optional<size_t> a = firstBefore(target ^ h[b], b))
                return std::vector<size_t>{lfs[*a], lfs[b]};
        return std::nullopt;
    }
    std::vector<uint32_t> zh(lfs.size());
    for (size_t i = 0; i < lfs.size(); ++i)
        zh[i] = shifted(h[i], 1);
    for (size_t b = 1; b < lfs.size(); ++b)
        for (size_t c = b + 1; c < lfs.size(); ++c)
            if (std::optional<size_t> a = firstBefore(target ^ zh[b] ^ h[c], b))
                return std::vector<size_t>{lfs[*a], lfs[b], lfs[c]};
    return std::nullopt;
}

}  // namespace morvel
