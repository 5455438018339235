#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/raw_text_scan.h"

namespace morvel {

// The filtered text of a file image: the bytes of the runs that look like body text (see
// FindBodyTextRuns), concatenated, then normalised: CR LF stays, a lone CR, LF or form feed
// becomes CR LF, other control bytes and a control byte at the very end are dropped. The bytes a
// run steps over (the high bytes of UTF-16LE text) are not part of it. The result ends with a
// NUL that is not part of the text.

// Uses the fastest path this processor has.
std::vector<uint8_t> BuildFilteredText(std::span<const uint8_t> image);
// Uses the given path (the raw text's), which must be available.
std::vector<uint8_t> BuildFilteredText(std::span<const uint8_t> image, RawScanPath path);

}  // namespace morvel
