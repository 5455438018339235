#pragma once

#include <cstdint>
#include <span>

#include "core/content_format.h"

namespace morvel {

// What a file's bytes are, and where the recognised content begins.
struct FormatSniff {
    ContentFormat format = ContentFormat::Unknown;
    int64_t offset = 0;    // where the container's header was found (junk before it when > 0)
    bool damaged = false;  // found only past damage: junk in front, a damaged or rebuilt
                           // header, or a package missing its first header or its end record
};

// Decides what a file holds from its bytes alone. Containers at the start of the file come
// first, then the text formats and the early Word binaries by how they start; then a
// compound file or a package past a damaged or junk-filled start (the earlier of the two
// wins, and a compound-file header the salvage can rebuild counts when it leads to known
// streams); then plain text. Anything else is Unknown, for the file's name to settle.
FormatSniff sniffFormat(std::span<const uint8_t> bytes);

}  // namespace morvel
