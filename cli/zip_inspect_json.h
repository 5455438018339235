#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace morvel::cli {

// True when a file is a ZIP package to inspect as such. The bytes decide when they start
// with a local header or a compound-file header; otherwise (a damaged start) the name's
// extension breaks the tie, and with no telling extension any ZIP record signature in the
// bytes makes it a package.
bool looksLikeZip(const std::filesystem::path& path, std::span<const uint8_t> bytes);

// What the ZIP salvage finds in a package as one JSON object: the intact and damaged
// entries and every graded finding.
std::string zipInspectJson(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace morvel::cli
