#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "core/content_format.h"

namespace morvel {

// What the compound-file salvage makes of a file: the kind of document the container holds,
// where its header was found, and whether the header had to be rebuilt.
struct CompoundSniff {
    ContentFormat format = ContentFormat::OtherCompoundFile;
    int64_t headerPos = 0;
    bool rebuilt = false;  // no usable header: its values were rebuilt from the sectors
};

// Runs the .doc engine's compound-file salvage over `bytes` (header anywhere in the file, even
// with two of its signature bytes damaged, or lost and rebuilt) and tells what the container
// holds by its top-level stream names and the Word FIB. Nothing when no compound file is
// found; a rebuilt header counts only when it leads to a stream this program knows.
std::optional<CompoundSniff> sniffCompoundFile(std::span<const uint8_t> bytes);

}  // namespace morvel
