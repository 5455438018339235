#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "core/content_format.h"

namespace morvel {

// The Word binaries that predate the compound file, told by the magic numbers they start with:
// Word for DOS (and Write) 31 BE 00 00 00 AB or 32 BE ..., Word for Windows 1.x/2.0 by the
// FIB identifiers A59B/A5DB, Word for Macintosh by FE 32, FE 34 or FE 37 and four zero bytes.
std::optional<ContentFormat> sniffEarlyWord(std::span<const uint8_t> bytes);

}  // namespace morvel
