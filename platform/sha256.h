#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace morvel {

// The SHA-256 digest of `bytes` as 64 lowercase hex digits.
std::string sha256Hex(std::span<const uint8_t> bytes);

}  // namespace morvel
