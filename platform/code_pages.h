#pragma once

#include <cstdint>
#include <string>

namespace morvel {

// The code page text falls back to when a document names none, or one without a table here.
inline constexpr uint32_t kDefaultCodePage = 1252;

// The code page a font's character set stands for (204 Russian gives 1251, 238 Eastern
// European 1250, ...); 0 for a character set that names none (ANSI, default and symbol: they
// mean the document's own code page), which leaves the document's code page in force.
uint32_t codePageOfCharset(int charset);

// True when bytes of this code page can be read here: the Windows single-byte pages
// (874, 1250-1258), the DOS pages 437 and 850 and Mac Roman (10000).
bool singleByteCodePageKnown(uint32_t codePage);

// True for the East Asian double-byte pages (932, 936, 949, 950, 1361), in which a lead byte
// and the byte after it make one character.
bool isDoubleByteCodePage(uint32_t codePage);

// The code point of one byte of 8-bit text in a known single-byte code page (an unknown page
// is read as 1252). Bytes below 0x80 are ASCII; a byte the page leaves unassigned is U+FFFD.
uint32_t codePageCharacter(uint32_t codePage, uint8_t byte);

// The code page a character set's name stands for in a markup declaration ("utf-8" gives
// 65001, "windows-1251" and "cp1251" 1251, "iso-8859-1" 1252); 0 for a name without a table
// here ("koi8-r"). The comparison ignores case.
uint32_t codePageOfCharsetName(std::string name);

// The code page number of UTF-8.
inline constexpr uint32_t kUtf8CodePage = 65001;

}  // namespace morvel
