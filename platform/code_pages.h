#pragma once

#include <cstdint>
#include <span>
#include <string>
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
// The DOS code pages (United States, Western Europe).
inline constexpr uint16_t kCodePageDosUs = 437;
inline constexpr uint16_t kCodePageDosLatin1 = 850;
// The code page text falls back to when a document names none, or one without a table here.
inline constexpr uint32_t kDefaultCodePage = kCodePageWestern;
// The code page number of UTF-8.
inline constexpr uint32_t kUtf8CodePage = 65001;

// The ANSI code page Windows uses for a language id (LCID): Cyrillic, Central European,
// Greek, Turkish, Hebrew, Arabic, Baltic, Vietnamese and Thai languages get their own, every
// other language (and an unknown id) Windows-1252.
uint16_t ansiCodePageOfLanguage(uint16_t lid);

// Converts 8-bit text in one of the code pages above to UTF-16, one code unit per byte so
// positions stay valid. A code page not listed converts as Windows-1252. Bytes the code page
// leaves unassigned become the C1 control of the same value below 0xA0 (as Windows-1252's do)
// and U+FFFD above.
std::vector<uint16_t> ansiToUtf16(std::span<const uint8_t> text, uint16_t codePage);

// The code page a font's character set stands for (204 Russian gives 1251, 238 Eastern
// European 1250, ...); 0 for a character set that names none (ANSI, default and symbol: they
// mean the document's own code page), which leaves the document's code page in force.
uint32_t codePageOfCharset(int charset);

// True when bytes of this code page can be read here: the pages listed above.
bool singleByteCodePageKnown(uint32_t codePage);

// True for the East Asian double-byte pages (932, 936, 949, 950, 1361), in which a lead byte
// and the byte after it make one character.
bool isDoubleByteCodePage(uint32_t codePage);

// The code point of one byte of 8-bit text in a code page (one without a table here is read
// as 1252). Bytes below 0x80 are ASCII; a byte the page leaves unassigned is U+FFFD, since the
// control character it would map to shows nothing.
uint32_t codePageCharacter(uint32_t codePage, uint8_t byte);

// The code page a character set's name stands for in a markup declaration ("utf-8" gives
// 65001, "windows-1251" and "cp1251" 1251, "iso-8859-1" 1252); 0 for a name without a table
// here ("koi8-r"). The comparison ignores case.
uint32_t codePageOfCharsetName(std::string name);

}  // namespace morvel
