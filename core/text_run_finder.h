#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace morvel {

// A run of the filtered text: a stretch of 7-bit bytes other than NUL and DEL, where a single
// other byte between two such bytes is stepped over (that joins UTF-16LE Latin text). Two other
// bytes in a row end the run.
//
// The file bytes [begin, end) hold its `length` run bytes; the other bytes in that range are
// single non-run bytes the run stepped over, or the byte just after the run before it.
struct TextRun {
    size_t begin;
    size_t end;
    size_t length;
};

// The runs that look like body text: longer than 1000 bytes, or ending in CR (as the last or
// last but one byte). Rescanning the file with thresholds 3959, 3958, ... 3 stops at the first
// threshold T for which such a run is longer than T, and collects every such run longer than T.
struct BodyTextRuns {
    // In file order; a superset of the collected runs (those no longer than `threshold` are not).
    std::vector<TextRun> candidates;
    // T, or SIZE_MAX when no threshold collects anything.
    size_t threshold;
};

// One pass over the image, 64 bytes at a time.
BodyTextRuns FindBodyTextRuns(std::span<const uint8_t> image);

}  // namespace morvel
