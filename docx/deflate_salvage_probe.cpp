#include "docx/deflate_salvage_probe.h"

#include "docx/deflate_format.h"

#include <algorithm>
#include <array>
#include <span>

#include "platform/le_reader.h"

namespace morvel {
namespace {

using deflate::kMaxCodeBits;
constexpr unsigned kFastBits = 9;  // the fixed codes are at most this long
constexpr unsigned kFastLenShift = 9;
constexpr unsigned kLitLenSymbols = deflate::kNumLitLen;
using deflate::kMaxDistCodes;
using deflate::kMaxLitLenCodes;
constexpr unsigned kCodeLengthCodes = deflate::kNumCodeLen;
constexpr int kEndOfBlock = 256;
constexpr int kMaxLengthSymbol = 285;
// Symbols decoded after a header before the block is taken as a candidate.
constexpr unsigned kProbeSymbols = 64;
// A fixed block must hold this many symbols before its end code to count.
constexpr unsigned kFixedMinSymbols = 32;
// Bad literals allowed in a text probe: one in sixteen (none among the first sixteen).
constexpr uint64_t kProbeBadFree = 0;
constexpr uint64_t kProbeBadDenominator = 16;

constexpr const auto& kCodeLengthOrder = deflate::kCodeLenOrder;
constexpr const auto& kLengthExtraBits = deflate::kLengthExtra;
constexpr const auto& kDistExtraBits = deflate::kDistExtra;

// Reads the deflate bit stream (least significant bit first) without running past the data.
class BitReader {
  public:
    BitReader(ByteSpan data, uint64_t pos)
        : data_(data), pos_(pos), end_(static_cast<uint64_t>(data.length) * 8) {}

    // The next n <= 32 bits without consuming them; false when fewer remain.
    bool peek(unsigned n, uint32_t& value) {
        if (pos_ > end_ || end_ - pos_ < n)
            return false;
        value = static_cast<uint32_t>(peekWide() & ((uint64_t{1} << n) - 1));
        return true;
    }
    // The next 57 bits or more (zeros past the end), for quick checks of a whole header.
    uint64_t peekWide() const {
        const std::span<const uint8_t> bytes(data_.data, data_.length);
        const size_t first = pos_ >> 3;
        uint64_t word = readU64LE(bytes, first);
        if (first + 8 > bytes.size())
            for (size_t i = first; i < bytes.size(); ++i)
                word |= static_cast<uint64_t>(bytes[i]) << (8 * (i - first));
        return word >> (pos_ & 7);
    }
    // Reads n <= 32 bits; false at the end of the data.
    bool read(unsigned n, uint32_t& value) {
        if (!peek(n, value))
            return false;
        pos_ += n;
        return true;
    }
    // Bits left before the end, at most `cap`.
    unsigned available(unsigned cap) const {
        return pos_ >= end_ ? 0 : static_cast<unsigned>(std::min<uint64_t>(cap, end_ - pos_));
    }
    void skip(unsigned n) { pos_ += n; }
    uint64_t pos() const { return pos_; }
    uint64_t bytePos() const { return pos_ >> 3; }

  private:
    ByteSpan data_;
    uint64_t pos_;
    uint64_t end_;
};

// A canonical Huffman code as counts per length and symbols in code order.
struct Huffman {
    std::array<uint16_t, kMaxCodeBits + 1> count{};
    std::array<uint16_t, kLitLenSymbols> symbol{};
    unsigned used = 0;  // symbols with a code
    bool oversubscribed = false;
    bool incomplete = false;
    unsigned maxBits = 0;
    bool hasFast = false;
    std::array<uint16_t, 1u << kFastBits> fast{};  // symbol | length << kFastLenShift; 0: none

    void build(const uint8_t* lengths, unsigned n) {
        count.fill(0);
        for (unsigned i = 0; i < n; ++i)
            ++count[lengths[i]];
        used = n - count[0];
        int left = 1;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            left = left * 2 - count[len];
            if (left < 0) {
                oversubscribed = true;
                return;
            }
            if (count[len] != 0)
                maxBits = len;
        }
        incomplete = left > 0;
        std::array<uint16_t, kMaxCodeBits + 1> offset{};
        for (unsigned len = 1; len < kMaxCodeBits; ++len)
            offset[len + 1] = offset[len] + count[len];
        for (unsigned i = 0; i < n; ++i)
            if (lengths[i] != 0)
                symbol[offset[lengths[i]]++] = static_cast<uint16_t>(i);
    }
    // Adds a lookup table over the next kFastBits bits for codes no longer than that.
    void buildFast() {
        int code = 0, index = 0;
        for (unsigned len = 1; len <= kFastBits; ++len) {
            for (unsigned k = 0; k < count[len]; ++k, ++code, ++index) {
                unsigned reversed = 0;
                for (unsigned b = 0; b < len; ++b)
                    reversed |= ((code >> b) & 1u) << (len - 1 - b);
                for (unsigned fill = reversed; fill < fast.size(); fill += 1u << len)
                    fast[fill] = static_cast<uint16_t>(symbol[index] | (len << kFastLenShift));
            }
            code <<= 1;
        }
        hasFast = true;
    }
    // A code the decoder accepts: complete, or a single one-bit code, or (distances) empty.
    bool usable(bool emptyAllowed) const {
        if (oversubscribed)
            return false;
        if (used == 0)
            return emptyAllowed;
        return !incomplete || maxBits == 1;
    }
};

// Decodes one symbol; -1 for a bit pattern with no code or the end of the data.
int decode(BitReader& in, const Huffman& h) {
    uint32_t bits = 0;
    const unsigned have = in.available(kMaxCodeBits);
    in.peek(have, bits);
    if (h.hasFast) {
        const uint16_t entry = h.fast[bits & ((1u << kFastBits) - 1)];
        const unsigned len = entry >> kFastLenShift;
        if (len == 0 || len > have)
            return -1;
        in.skip(len);
        return entry & ((1u << kFastLenShift) - 1);
    }
    int code = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= have; ++len) {
        code |= static_cast<int>((bits >> (len - 1)) & 1);
        const int count = h.count[len];
        if (code - count < first) {
            in.skip(len);
            return h.symbol[index + (code - first)];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

bool textTooBad(const TextMeter& meter) {
    return meter.bad() > kProbeBadFree + meter.bytes() / kProbeBadDenominator;
}

// Decodes the first symbols of a Huffman block: every code must be valid, the end code may
// come only after minSymbols, and for text the literals must look like text.
bool walkSymbols(BitReader& in, const Huffman& lit, const Huffman& dist, ContentKind content,
                 unsigned minSymbols, uint32_t& work) {
    TextMeter meter;
    for (unsigned n = 0; n < kProbeSymbols; ++n) {
        ++work;
        const int sym = decode(in, lit);
        if (sym < 0)
            return false;  // no such code, or the data ends inside the probe
        if (sym < kEndOfBlock) {
            if (content == ContentKind::Text) {
                meter.feed(static_cast<uint8_t>(sym));
                if (textTooBad(meter))
                    return false;
            }
            continue;
        }
        if (sym == kEndOfBlock)
            return n >= minSymbols;
        if (sym > kMaxLengthSymbol)
            return false;
        uint32_t extra;
        if (!in.read(kLengthExtraBits[sym - kEndOfBlock - 1], extra))
            return false;
        const int d = decode(in, dist);
        if (d < 0 || d >= static_cast<int>(kMaxDistCodes) || !in.read(kDistExtraBits[d], extra))
            return false;
        meter.breakRun();
    }
    return true;
}

const Huffman& fixedLitLen() {
    static const Huffman h = [] {
        std::array<uint8_t, kLitLenSymbols> lengths{};
        for (unsigned i = 0; i < kLitLenSymbols; ++i)
            lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        Huffman code;
        code.build(lengths.data(), kLitLenSymbols);
        code.buildFast();
        return code;
    }();
    return h;
}

const Huffman& fixedDist() {
    static const Huffman h = [] {
        std::array<uint8_t, kMaxDistCodes> lengths{};
        lengths.fill(5);
        Huffman code;
        code.build(lengths.data(), kMaxDistCodes);
        code.buildFast();
        return code;
    }();
    return h;
}

bool probeStored(ByteSpan data, BitReader& in, ContentKind content, uint32_t& work) {
    uint32_t pad = 0, len = 0, nlen = 0;
    const unsigned padBits = static_cast<unsigned>((8 - (in.pos() & 7)) & 7);
    // Encoders fill the padding with zero bits; demanding that halves nothing real.
    if (!in.read(padBits, pad) || pad != 0 || !in.read(16, len) || !in.read(16, nlen))
        return false;
    work += 4;
    if ((len ^ 0xFFFFu) != nlen || len > data.length - in.bytePos())
        return false;
    if (content == ContentKind::Text) {
        TextMeter meter;
        const uint64_t start = in.bytePos();
        for (uint64_t i = 0; i < len && i < kProbeSymbols; ++i)
            meter.feed(data.data[start + i]);
        work += kProbeSymbols;
        return !textTooBad(meter);
    }
    return true;
}

// The code-length code must be complete: its lengths' Kraft sum must be exactly one. Most
// wrong positions fail this, so it is checked on one wide read before anything is built.
bool codeLengthCodeComplete(BitReader in) {
    constexpr unsigned kHeaderBits = 14;
    uint32_t counts;
    if (!in.read(kHeaderBits, counts))
        return false;
    const unsigned ncode = ((counts >> 10) & 15) + 4;
    const uint64_t lengths = in.peekWide();
    unsigned kraft = 0;  // in units of 2^-7
    for (unsigned i = 0; i < ncode; ++i) {
        const unsigned len = (lengths >> (3 * i)) & 7;
        if (len != 0)
            kraft += 1u << (7 - len);
    }
    return kraft == 128;
}

bool probeDynamic(BitReader& in, ContentKind content, uint32_t& work) {
    if (!codeLengthCodeComplete(in))
        return false;
    uint32_t hlit, hdist, hclen;
    if (!in.read(5, hlit) || !in.read(5, hdist) || !in.read(4, hclen))
        return false;
    const unsigned nlen = hlit + 257, ndist = hdist + 1, ncode = hclen + 4;
    if (nlen > kMaxLitLenCodes || ndist > kMaxDistCodes)
        return false;
    std::array<uint8_t, kCodeLengthCodes> clLengths{};
    for (unsigned i = 0; i < ncode; ++i) {
        uint32_t v;
        if (!in.read(3, v))
            return false;
        clLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(v);
    }
    work += 4;
    Huffman cl;
    cl.build(clLengths.data(), kCodeLengthCodes);
    if (cl.oversubscribed || cl.incomplete || cl.used == 0)
        return false;

    std::array<uint8_t, kMaxLitLenCodes + kMaxDistCodes> lengths{};
    unsigned index = 0;
    while (index < nlen + ndist) {
        ++work;
        const int sym = decode(in, cl);
        if (sym < 0)
            return false;
        if (sym < 16) {
            lengths[index++] = static_cast<uint8_t>(sym);
            continue;
        }
        uint32_t extra;
        uint8_t value = 0;
        unsigned repeat;
        if (sym == 16) {
            if (index == 0 || !in.read(2, extra))
                return false;
            value = lengths[index - 1];
            repeat = 3 + extra;
        } else if (sym == 17) {
            if (!in.read(3, extra))
                return false;
            repeat = 3 + extra;
        } else {
            if (!in.read(7, extra))
                return false;
            repeat = 11 + extra;
        }
        if (index + repeat > nlen + ndist)
            return false;
        for (unsigned i = 0; i < repeat; ++i)
            lengths[index++] = value;
    }
    if (lengths[kEndOfBlock] == 0)
        return false;
    Huffman lit, dist;
    lit.build(lengths.data(), nlen);
    dist.build(lengths.data() + nlen, ndist);
    if (!lit.usable(false) || !dist.usable(true))
        return false;
    return walkSymbols(in, lit, dist, content, 1, work);
}

bool badFirstLiteral(int sym) {
    return (sym < 0x20 && sym != '\t' && sym != '\n' && sym != '\r') || sym == 0x7F ||
           (sym >= 0x80 && sym < 0xC2) || (sym > 0xF4 && sym < kEndOfBlock) || sym == kEndOfBlock;
}

// Refusals from one wide read of the header, before any field is read one by one: most bit
// positions end here.
bool quickRefuse(ByteSpan data, uint64_t bitPos, uint64_t w, ContentKind content) {
    switch ((w >> 1) & 3) {
        case 0: {  // stored: LEN and NLEN must complement each other
            const std::span<const uint8_t> bytes(data.data, data.length);
            const size_t at = (bitPos + 3 + 7) >> 3;
            return !fits(bytes, at, 4) ||
                   (readU16LE(bytes, at) ^ 0xFFFFu) != readU16LE(bytes, at + 2);
        }
        case 1: {  // fixed: text only, and its first symbol must be a plausible literal
            if (content != ContentKind::Text)
                return true;
            const Huffman& lit = fixedLitLen();
            const uint16_t entry = lit.fast[(w >> 3) & ((1u << kFastBits) - 1)];
            return badFirstLiteral(entry & ((1u << kFastLenShift) - 1));
        }
        case 2: {  // dynamic: counts in range, code-length code not oversubscribed
            if (((w >> 3) & 31) > kMaxLitLenCodes - 257 || ((w >> 8) & 31) > kMaxDistCodes - 1)
                return true;
            constexpr unsigned kLengthsInWord = 13;  // 3-bit lengths after 17 header bits
            const unsigned ncode = static_cast<unsigned>((w >> 13) & 15) + 4;
            unsigned kraft = 0;
            for (unsigned i = 0; i < ncode && i < kLengthsInWord; ++i) {
                const unsigned len = (w >> (17 + 3 * i)) & 7;
                if (len != 0)
                    kraft += 1u << (7 - len);
            }
            return kraft > 128 || (ncode <= kLengthsInWord && kraft != 128);
        }
        default:
            return true;
    }
}

}  // namespace

BlockProbe probeBlock(ByteSpan data, uint64_t bitPos, ContentKind content) {
    BlockProbe probe;
    probe.work = 1;
    if (data.absent())
        return probe;
    BitReader in(data, bitPos);
    if (in.available(3) < 3 || quickRefuse(data, bitPos, in.peekWide(), content))
        return probe;
    uint32_t head;
    if (!in.read(3, head))
        return probe;
    bool ok = false;
    BlockKind kind = BlockKind::None;
    switch (head >> 1) {
        case 0:
            kind = BlockKind::Stored;
            ok = probeStored(data, in, content, probe.work);
            break;
        case 1:
            kind = BlockKind::Fixed;
            ok = content == ContentKind::Text &&
                 walkSymbols(in, fixedLitLen(), fixedDist(), content, kFixedMinSymbols, probe.work);
            break;
        case 2:
            kind = BlockKind::Dynamic;
            ok = probeDynamic(in, content, probe.work);
            break;
        default:
            break;
    }
    if (ok)
        probe.kind = kind;
    return probe;
}

}  // namespace morvel
