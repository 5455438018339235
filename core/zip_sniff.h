#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "core/content_format.h"

namespace morvel {

// A ZIP package found in a file: what its part names say it holds, where its first local
// header is, and whether its end record is there.
struct ZipSniff {
    ContentFormat format = ContentFormat::WordPackage;
    int64_t firstHeader = -1;  // -1 when only the end record was found
    bool endRecord = false;
};

// How far into a file a package's first local header is looked for: past a prepended junk
// block or a zeroed start, but not deep inside some other kind of file.
inline constexpr size_t kZipHeaderSearchSpan = 1 << 20;

// Looks for a plausible local header in the first kZipHeaderSearchSpan bytes and for an end
// of central directory record in the last 64 KiB; nothing when neither is there. The part
// names of the local and central headers tell a Word package (word/...) from a workbook
// (xl/...) or a presentation (ppt/...); a package with none of them is taken for a Word one,
// for the .docx engine to salvage.
std::optional<ZipSniff> sniffZipPackage(std::span<const uint8_t> bytes);

}  // namespace morvel
