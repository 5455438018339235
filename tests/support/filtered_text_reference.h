#pragma once

#include <cstdint>
#include <vector>

namespace morvel::test {

// The filtered text computed the slow, obvious way: scan the whole file once per threshold,
// from 3959 down to 3, until some run is collected. Used to check the single-pass version.
// Returns the text with its terminating NUL.
inline std::vector<uint8_t> filteredTextByRescanning(const std::vector<uint8_t>& in) {
    const size_t size = in.size();
    auto isRun = [](uint8_t c) { return c >= 0x01 && c <= 0x7E; };  // NOLINT
    std::vector<uint8_t> collected;
    std::vector<uint8_t> run;
    for (uint32_t t = 3959; collected.empty(); --t) {
        run.clear();
        for (size_t i = 0; i < size; ++i) {
            uint8_t c = in[i];
            if (isRun(c)) {
                run.push_back(c);
                continue;
            }
            if (i == size - 1 || isRun(in[i + 1]))
                continue;
            size_t len = run.size();
            bool cr = (len >= 1 && run[len - 1] == 0x0D) || (len >= 2 && run[len - 2] == 0x0D);
            if (len > t && (cr || len > 1000))
                collected.insert(collected.end(), run.begin(), run.end());
            run.clear();
        }
        if (t - 1 <= 2)
            break;
    }
    std::vector<uint8_t> out;
    for (size_t j = 0; j < collected.size(); ++j) {
        uint8_t c = collected[j];
        if (c >= 0x20) {
            out.push_back(c);
        } else if (j + 1 < collected.size()) {
            if (c == 0x0D && collected[j + 1] == 0x0A) {
                out.insert(out.end(), {0x0D, 0x0A});
                ++j;
            } else if (c == 0x0D || c == 0x0A || c == 0x0C) {
                out.insert(out.end(), {0x0D, 0x0A});
            }
        }
    }
    out.push_back(0);
    return out;
}

// The raw text by the byte-at-a-time rules, with its terminating NUL.
inline std::vector<uint8_t> rawTextReference(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    size_t i = 0;
    const size_t size = in.size();
    while (i < size) {
        uint8_t c = in[i];
        if (c >= 0x20 && c <= 0x7E) {
            out.push_back(c);
            i += 1;
        } else if (i >= size - 1) {
            i += 1;
        } else if (c == 0x0D) {
            out.insert(out.end(), {0x0D, 0x0A});
            i += in[i + 1] == 0x0A ? 2 : 1;
        } else if (c == 0x0A || c == 0x0C) {
            out.insert(out.end(), {0x0D, 0x0A});
            i += 1;
        } else {
            i += 1;
        }
    }
    out.push_back(0);
    return out;
}

}  // namespace morvel::test
