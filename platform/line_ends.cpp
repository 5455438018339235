#include "platform/line_ends.h"

#include <algorithm>
#include <cstring>

namespace morvel {

LineEndCounts countLineEnds(std::span<const uint8_t> bytes) {
    LineEndCounts c;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != kLineFeed)
            continue;
        if (i > 0 && bytes[i - 1] == kCarriageReturn)
            ++c.crLfPairs;
        else
            ++c.loneLfs;
    }
    return c;
}

LineEndConversion possibleConversion(const LineEndCounts& counts) {
    if (counts.crLfPairs > 0 && counts.loneLfs == 0)
        return LineEndConversion::LfToCrLf;
    if (counts.loneLfs > 0 && counts.crLfPairs == 0)
        return LineEndConversion::CrLfToLf;
    return LineEndConversion::None;
}

LineEndConversion possibleConversionOf(std::span<const uint8_t> bytes) {
    LineEndCounts seen;
    size_t at = 0;
    while (at < bytes.size()) {
        const void* hit = std::memchr(bytes.data() + at, kLineFeed, bytes.size() - at);
        if (hit == nullptr)
            break;
        const size_t lf = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes.data());
        if (lf > 0 && bytes[lf - 1] == kCarriageReturn)
            seen.crLfPairs = 1;
        else
            seen.loneLfs = 1;
        if (seen.crLfPairs != 0 && seen.loneLfs != 0)
            return LineEndConversion::None;
        at = lf + 1;
    }
    return possibleConversion(seen);
}

std::vector<uint8_t> dropCrBeforeLf(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == kCarriageReturn && i + 1 < bytes.size() && bytes[i + 1] == kLineFeed)
            continue;
        out.push_back(bytes[i]);
    }
    return out;
}

std::vector<size_t> lineFeedsIn(std::span<const uint8_t> bytes, size_t from, size_t to) {
    std::vector<size_t> out;
    to = std::min(to, bytes.size());
    for (size_t i = from; i < to; ++i)
        if (bytes[i] == kLineFeed)
            out.push_back(i);
    return out;
}

std::vector<uint8_t> insertCrBefore(std::span<const uint8_t> bytes,
                                    std::span<const size_t> positions) {
    std::vector<uint8_t> out;
    out.reserve(bytes.size() + positions.size());
    size_t from = 0;
    for (size_t p : positions) {
        if (p < from || p >= bytes.size())
            continue;
        out.insert(out.end(), bytes.begin() + from, bytes.begin() + p);
        out.push_back(kCarriageReturn);
        from = p;
    }
    out.insert(out.end(), bytes.begin() + from, bytes.end());
    return out;
}

std::string LineEndRepair::describe() const {
    if (!undone())
        return {};
    std::string s = "line-end conversion undone (";
    s += conversion == LineEndConversion::LfToCrLf ? "LF had become CR LF" : "CR LF had become LF";
    if (crsRemoved)
        s += ", " + std::to_string(crsRemoved) + " CR bytes removed";
    if (crsInserted)
        s += ", " + std::to_string(crsInserted) + " CR bytes put back";
    s += exact ? ")" : "; best guess, the rest salvaged)";
    return s;
}

}  // namespace morvel
