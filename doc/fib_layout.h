#pragma once

#include <cstdint>

namespace morvel {

// Byte offsets of the FIB fields the reader and the writer use. Each table pair is an fc
// followed by its lcb at fc offset + 4.
namespace fib {
inline constexpr uint32_t kReadSize = 1536;  // bytes of the source FIB kept by the reader
inline constexpr uint32_t kOutputSize = 1274;
inline constexpr uint32_t kIdent = 0;
inline constexpr uint32_t kNFib = 2;
inline constexpr uint32_t kProduct = 4;
inline constexpr uint32_t kLid = 6;
inline constexpr uint32_t kFlags = 10;
inline constexpr uint32_t kNFibBack = 0x0C;
inline constexpr uint32_t kFlags2High = 0x13;  // high byte of the second flag word
inline constexpr uint32_t kFcMin = 24;
inline constexpr uint32_t kFcMac = 28;
inline constexpr uint32_t kCsw = 0x20;
inline constexpr uint32_t kMagicCreated = 0x22;
inline constexpr uint32_t kMagicRevised = 0x24;
inline constexpr uint32_t kMagicCreatedPrivate = 0x26;
inline constexpr uint32_t kMagicRevisedPrivate = 0x28;
inline constexpr uint32_t kLidFE = 0x3C;
inline constexpr uint32_t kClw = 0x3E;
inline constexpr uint32_t kCbMac = 0x40;
inline constexpr uint32_t kProductCreated = 0x44;
inline constexpr uint32_t kProductRevised = 0x48;
inline constexpr uint32_t kCcpText = 76;
inline constexpr uint32_t kCcpFtn = 80;
inline constexpr uint32_t kCcpHdd = 84;
inline constexpr uint32_t kCcpMcr = 88;
inline constexpr uint32_t kCcpAtn = 92;
inline constexpr uint32_t kCcpEdn = 96;
inline constexpr uint32_t kCcpTxbx = 100;
inline constexpr uint32_t kCcpHdrTxbx = 104;
// Old first pages of bin tables written as linked pages; readers ignore them.
inline constexpr uint32_t kPnFbpChpFirst = 0x6C;
inline constexpr uint32_t kPnFbpPapFirst = 0x78;
inline constexpr uint32_t kPnFbpLvcFirst = 0x84;
inline constexpr uint32_t kPairCount = 152;  // read as 32 bits with the two bytes after it
inline constexpr uint32_t kPairsStart = 154;
inline constexpr uint32_t kSoundPairLimit = 185;

inline constexpr uint32_t kStshfOrig = 0x9A;
inline constexpr uint32_t kStshf = 0xA2;
inline constexpr uint32_t kPlcffndRef = 0xAA;
inline constexpr uint32_t kPlcffndTxt = 0xB2;
inline constexpr uint32_t kPlcfandRef = 0xBA;
inline constexpr uint32_t kPlcfandTxt = 0xC2;
inline constexpr uint32_t kPlcfSed = 0xCA;
inline constexpr uint32_t kPlcfHdd = 0xF2;
inline constexpr uint32_t kPlcfBteChpx = 0xFA;
inline constexpr uint32_t kPlcfBtePapx = 0x102;
inline constexpr uint32_t kSttbfFfn = 0x112;
inline constexpr uint32_t kPlcfFldMom = 0x11A;
inline constexpr uint32_t kPlcfFldHdr = 0x122;
inline constexpr uint32_t kPlcfFldFtn = 0x12A;
inline constexpr uint32_t kPlcfFldAtn = 0x132;
inline constexpr uint32_t kSttbfBkmk = 0x142;
inline constexpr uint32_t kPlcfBkf = 0x14A;
inline constexpr uint32_t kPlcfBkl = 0x152;
inline constexpr uint32_t kCmds = 0x15A;
inline constexpr uint32_t kWss = 0x18A;
inline constexpr uint32_t kDop = 0x192;
inline constexpr uint32_t kSttbfAssoc = 0x19A;
inline constexpr uint32_t kClx = 0x1A2;
inline constexpr uint32_t kPlcSpaMom = 0x1DA;
inline constexpr uint32_t kPlcSpaHdr = 0x1E2;
inline constexpr uint32_t kPlcfendRef = 0x20A;
inline constexpr uint32_t kPlcfendTxt = 0x212;
inline constexpr uint32_t kDggInfo = 0x22A;
inline constexpr uint32_t kSttbfRMark = 0x232;
inline constexpr uint32_t kPlcfSpl = 0x252;
inline constexpr uint32_t kPlcftxbxTxt = 0x25A;
inline constexpr uint32_t kSttbSavedBy = 0x2D2;
inline constexpr uint32_t kPlfLst = 0x2E2;  // list definitions; their levels follow, uncounted
inline constexpr uint32_t kPlfLfo = 0x2EA;  // list overrides, which paragraphs name
inline constexpr uint32_t kPlcfTxbxBkd = 0x2F2;
inline constexpr uint32_t kPlcfBteLvc = 0x34A;
inline constexpr uint32_t kSttbListNames = 0x372;
inline constexpr uint32_t kRmdThreading = 0x38A;
inline constexpr uint32_t kPlcfLad = 0x3AA;
inline constexpr uint32_t kPlrsid = 0x422;
inline constexpr uint32_t kExtra1 = 0x4A2;
inline constexpr uint32_t kExtra2 = 0x4AA;
inline constexpr uint32_t kExtra3 = 0x4BA;
inline constexpr uint32_t kNFibNew = 0x4DA;
}  // namespace fib

}  // namespace morvel
