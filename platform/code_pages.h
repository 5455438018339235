#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace morvel {

// The Windows ANSI code pages 8-bit document text is converted from.
inline constexpr uint16_t kCodePageThai = 874;
inline constexpr uint16_t kCodePageCentralEurope = 1250;
inline constexpr uint16_t kCodePageCyrillic = 1251;
inline constexpr uint16_t kCodePageWestern = 1252;
inline constexpr uint16_t kCodePageGreek = 1253;
inline constexpr uint16_t kCodePageTurkish = 1254;
inline constexpr uint16_t kCodePageHebrew = 1255;
inline constexpr uint16_t kCodePageArabic = 1256;
inline constexpr uint16_t kCodePageBaltic = 1257;
inline constexpr uint16_t kCodePageVietnamese = 1258;
// The character set of documents saved on a Macintosh.
inline constexpr uint16_t kCodePageMacRoman = 10000;

// The ANSI code page Windows uses for a language id (LCID): Cyrillic, Central European,
// Greek, Turkish, Hebrew, Arabic, Baltic, Vietnamese and Thai languages get their own, every
// other language (and an unknown id) Windows-1252.
uint16_t ansiCodePageOfLanguage(uint16_t lid);

// Converts 8-bit text in one of the code pages above to UTF-16, one code unit per byte so
// positions stay valid. A code page not listed converts as Windows-1252. Bytes the code page
// leaves unassigned become the C1 control of the same value below 0xA0 (as Windows-1252's do)
// and U+FFFD above.
std::vector<uint16_t> ansiToUtf16(std::span<const uint8_t> text, uint16_t codePage);

}  // namespace morvel
