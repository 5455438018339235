#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace morvel {

// Largest input accepted: the formats handled here use 32-bit sizes and offsets, so a longer
// file cannot be described by them and would only be read short.
inline constexpr uint64_t kMaxInputSize = 0x7FFFFFFFull;

enum class ReadStatus { Ok, CannotOpen, TooLarge, ReadError };

// Reads a whole file into memory. The file is opened read-only and never written.
ReadStatus readWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& out);

// Writes bytes to a temporary name beside the target and renames it into place, so a failed
// write never leaves part of a file under the final name. Without overwrite, an existing target
// is left alone and the call fails. Returns an empty string on success, else a reason.
std::string writeFileAtomic(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                            bool overwrite);

}  // namespace morvel
