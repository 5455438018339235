#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace morvel::cli {

// True when the bytes are a ZIP package to inspect as such: they start with a local header
// signature, or hold a ZIP record signature and do not start as a compound file.
bool looksLikeZip(std::span<const uint8_t> bytes);

// What the ZIP salvage finds in a package as one JSON object: the intact and damaged
// entries and every graded finding.
std::string zipInspectJson(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace morvel::cli
