#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace morvel {

// The text of a MIME web archive: its first HTML part, decoded from quoted-printable or
// base64 and read in the part's charset, as htmlText reads a page. Pictures and other parts
// are left out. An archive whose parts cannot be found (damage) has its body read as HTML.
std::string mhtmlText(std::span<const uint8_t> bytes);

// True when the bytes start as a MIME message rather than as markup.
bool looksLikeMime(std::span<const uint8_t> bytes);

// Quoted-printable and base64 bodies decoded; bytes that do not belong to the encoding are
// passed through (quoted-printable) or skipped (base64), and a cut-off body gives what it holds.
std::vector<uint8_t> decodeQuotedPrintable(std::span<const uint8_t> body);
std::vector<uint8_t> decodeBase64(std::span<const uint8_t> body);

}  // namespace morvel
