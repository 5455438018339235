#include "docwriter/fib_header.h"

#include "doc/fib_layout.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr uint16_t kIdentWord97 = 0xA5EC;
constexpr uint16_t kNFibWord97 = 0x00C1;
constexpr uint16_t kNFibBackWord97 = 0x00BF;
constexpr uint16_t kProductVersion = 0x4035;
constexpr uint16_t kLanguage = 0x0419;
// Has pictures, "1Table" is the table stream, extended characters.
constexpr uint16_t kHeaderFlags = 0x1208;
constexpr uint8_t kSavedByWord97 = 0x10;
constexpr uint16_t kShortCount = 14;  // 16-bit fields after csw
constexpr uint16_t kLongCount = 22;   // 32-bit fields after clw
constexpr uint16_t kMagic = 0x6A62;
constexpr uint16_t kMagicPrivate = 0x32CF;
constexpr uint32_t kProductBuild = 0x58AD;
// No linked bin-table page: the 22-bit page number with every bit set, as Word writes it.
constexpr uint32_t kNoPage = 0xFFFFF;
constexpr uint16_t kPairCount = 136;  // fc/lcb pairs of a Word 2002 FIB

}  // namespace

void writeFibHeader(std::span<uint8_t> fibBytes, uint32_t fcMin, uint32_t fcMac) {
    writeU16LE(fibBytes, fib::kIdent, kIdentWord97);
    writeU16LE(fibBytes, fib::kNFib, kNFibWord97);
    writeU16LE(fibBytes, fib::kProduct, kProductVersion);
    writeU16LE(fibBytes, fib::kLid, kLanguage);
    writeU16LE(fibBytes, fib::kFlags, kHeaderFlags);
    writeU16LE(fibBytes, fib::kNFibBack, kNFibBackWord97);
    if (fib::kFlags2High < fibBytes.size())
        fibBytes[fib::kFlags2High] = kSavedByWord97;
    writeU32LE(fibBytes, fib::kFcMin, fcMin);
    writeU32LE(fibBytes, fib::kFcMac, fcMac);
    writeU16LE(fibBytes, fib::kCsw, kShortCount);
    writeU16LE(fibBytes, fib::kMagicCreated, kMagic);
    writeU16LE(fibBytes, fib::kMagicRevised, kMagic);
    writeU16LE(fibBytes, fib::kMagicCreatedPrivate, kMagicPrivate);
    writeU16LE(fibBytes, fib::kMagicRevisedPrivate, kMagicPrivate);
    writeU16LE(fibBytes, fib::kLidFE, kLanguage);
    writeU16LE(fibBytes, fib::kClw, kLongCount);
    writeU32LE(fibBytes, fib::kProductCreated, kProductBuild);
    writeU32LE(fibBytes, fib::kProductRevised, kProductBuild);
    writeU32LE(fibBytes, fib::kPnFbpChpFirst, kNoPage);
    writeU32LE(fibBytes, fib::kPnFbpPapFirst, kNoPage);
    writeU32LE(fibBytes, fib::kPnFbpLvcFirst, kNoPage);
    writeU16LE(fibBytes, fib::kPairCount, kPairCount);
}

}  // namespace morvel
