#include "core/early_word_sniff.h"

#include "platform/le_reader.h"

namespace morvel {

namespace {

// Word for DOS and Write: a word 0xBE31 (0xBE32 when Write embeds objects), a document type
// byte (text, glossary or printer file), a zero byte and the tool word 0xAB00.
constexpr uint8_t kDosWordFirst = 0x31, kDosWriteOleFirst = 0x32, kDosWordSecond = 0xBE;
constexpr uint8_t kDosWordLastType = 2;
constexpr uint16_t kDosWordTool = 0xAB00;

// Word for Windows 1.x and 2.0: the FIB starts the file; wIdent and an nFib below Word 6's.
constexpr uint16_t kWinWord1Ident = 0xA59B;
constexpr uint16_t kWinWord2Ident = 0xA5DB;
constexpr uint16_t kFirstWord6NFib = 101;

// Word for Macintosh 1.0, 3.0, 4.0 and 5.x: wIdent FE32, FE34 or FE37 (big-endian), a zero
// byte, a version byte, then four zero bytes.
constexpr uint8_t kMacWordFirst = 0xFE;
constexpr uint8_t kMacWordIdents[] = {0x32, 0x34, 0x37};
constexpr size_t kMacWordZeroFrom = 4, kMacWordZeroTo = 8;

bool macWord(std::span<const uint8_t> b) {
    if (!fits(b, 0, kMacWordZeroTo) || b[0] != kMacWordFirst || b[2] != 0)
        return false;
    bool ident = false;
    for (uint8_t id : kMacWordIdents)
        ident |= b[1] == id;
    for (size_t i = kMacWordZeroFrom; i < kMacWordZeroTo && ident; ++i)
        ident = b[i] == 0;
    return ident;
}

}  // namespace

std::optional<ContentFormat> sniffEarlyWord(std::span<const uint8_t> b) {
    if (fits(b, 0, 6) && (b[0] == kDosWordFirst || b[0] == kDosWriteOleFirst) &&
        b[1] == kDosWordSecond && b[2] <= kDosWordLastType && b[3] == 0 &&
        readU16LE(b, 4) == kDosWordTool)
        return ContentFormat::WordDos;
    if (fits(b, 0, 4)) {
        const uint16_t ident = readU16LE(b, 0), nFib = readU16LE(b, 2);
        if ((ident == kWinWord1Ident || ident == kWinWord2Ident) && nFib < kFirstWord6NFib)
            return ContentFormat::Word2;
    }
    if (macWord(b))
        return ContentFormat::WordMac;
    return std::nullopt;
}

}  // namespace morvel
