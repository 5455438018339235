#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace morvel {

// Reads one named part out of a ZIP package in memory, for showing a recovered document.
// The central directory is used when it is intact; otherwise the local headers are walked.
// Only stored and deflated parts whose CRC-32 matches are returned, and never more than
// maxSize bytes are inflated.
std::optional<std::vector<uint8_t>> readPackagePart(std::span<const uint8_t> package,
                                                    std::string_view name,
                                                    size_t maxSize = 64u << 20);

}  // namespace morvel
