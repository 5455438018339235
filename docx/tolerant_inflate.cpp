#include "docx/tolerant_inflate.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>
#include <vector>

#include "docx/deflate_format.h"
#include "platform/le_reader.h"

namespace morvel {
namespace {

using namespace deflate;

constexpr uint32_t kWindowMask = kWindowSize - 1;

// Lookup-table sizes: codes up to this many bits resolve in one step, longer ones in two.
constexpr unsigned kLitPrimaryBits = 10;
constexpr unsigned kDistPrimaryBits = 8;
constexpr unsigned kCodeLenPrimaryBits = 7;

// Caps that keep the work on damaged input bounded.
constexpr uint64_t kInBlockSearchBits = 512 * 8;   // how far past damage to look for step
constexpr uint64_t kHeaderSearchBits = 16384 * 8;  // how far to look for a block header
constexpr uint32_t kTrialSymbols = 64;             // symbols that must make sense to resume
constexpr uint32_t kFixedTrialSymbols = 512;       // ... after a fixed block header found
constexpr uint32_t kTrialSymbolsAtEnd = 16;        // ... when the input ends first
constexpr uint32_t kTrialSymbolsBeforeEnd = 8;     // ... when the block ends first
constexpr uint32_t kMaxRepeatedSymbols = 8;        // one symbol repeated this often fails it
constexpr uint32_t kMaxLiteralRun = 16;  // repeats of one literal that real data never has
constexpr uint32_t kMaxCopyRun = 3;      // repeats of one copy shorter than the longest
constexpr uint32_t kMaxDamageEvents = 256;
constexpr uint32_t kCheckChunk = 64;      // text is checked in runs of this many bytes
constexpr uint32_t kRecentSymbols = 128;  // symbol starts remembered to find where damage began
constexpr uint32_t kRollbackSymbols = 8;  // symbols before the failing one that are dropped too
constexpr uint32_t kDeepRollbackSymbols = 64;  // ... when the damage showed late
constexpr uint64_t kNoPosition = UINT64_MAX;
constexpr uint32_t kStepStarts = 16;   // nearby start bits whose decoding must meet
constexpr uint32_t kStepSymbols = 96;  // symbols followed from each
constexpr uint32_t kStepFallbackSymbols = 8;
constexpr size_t kBeforePathSymbols = 1024;
constexpr uint32_t kStepAgreeNum = 3;  // share of the paths that, with the path from
                                       // before the damage, must meet at a boundary
constexpr uint32_t kStepAgreeDen = 4;
// Output used to find where resumed data belongs: a short stretch for every candidate, a long
// one to choose among the best.
constexpr uint32_t kScoreBytes = 512;
constexpr uint32_t kScoreBytesWide = 8192;
constexpr uint32_t kScoreSymbols = 4096;
constexpr size_t kMaxFinalists = 64;
constexpr uint64_t kUnseenPairPenalty = 4;
constexpr uint64_t kRarePairPenalty = 1;
constexpr uint16_t kCommonPair = 3;
constexpr int64_t kMaxTrim = 512;      // bytes before the damage that may be garbage
constexpr int64_t kMinGapRange = 512;  // bytes the skipped bits may have held, at least
constexpr int64_t kGapBytesPerSkippedByte = 16;
constexpr int64_t kMaxGap = 4096;
constexpr uint64_t kGarbledBitsBefore = 64;      // bits before the failing symbol taken as garbled
constexpr uint32_t kMinCrossingBytes = 8;        // history bytes a placement must be judged on
constexpr uint64_t kMaxPlaceholders = 1u << 20;  // unknown bytes tracked beyond the cap
constexpr uint64_t kMaxOutputCap = uint64_t(1) << 40;
// Work allowed for getting back in step (trial symbols and bytes, header probes, placement
// tries), per input byte and as a floor, so that the total stays linear in the input.
constexpr uint64_t kSearchWorkPerInputByte = 256;
constexpr uint64_t kSearchWorkFloor = 16u << 20;
constexpr uint64_t kHeaderProbeWork = 16;

// One entry of a lookup table: a symbol and its code length, a link to a second-level table
// with its index width, or an invalid code.
constexpr uint32_t kLinkFlag = 0x80000000u;
constexpr uint32_t kInvalidEntry = 0x40000000u;

// Bit reader over the compressed bytes. Bits past the end read as zeros; position() tells
// whether a decode ran past the real end.
class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> data)
        : data_(data), totalBits_(uint64_t(data.size()) * 8) {}

    void seek(uint64_t bit) {
        bytePos_ = bit >> 3;
        buf_ = 0;
        count_ = 0;
        refill();
        drop(static_cast<unsigned>(bit & 7));
    }
    uint64_t position() const { return bytePos_ * 8 - count_; }
    uint64_t totalBits() const { return totalBits_; }
    bool overrun() const { return position() > totalBits_; }

    // Makes at least 56 bits available.
    void refill() {
        if (count_ >= 56)
            return;
        if (bytePos_ + 8 <= data_.size()) {
            buf_ |= readU64LE(data_, bytePos_) << count_;
            unsigned n = (63 - count_) >> 3;
            bytePos_ += n;
            count_ += n * 8;
        } else {
            while (count_ <= 56) {
                buf_ |= uint64_t(readU8(data_, bytePos_)) << count_;
                ++bytePos_;
                count_ += 8;
            }
        }
    }
    uint64_t peek() const { return buf_; }
    void drop(unsigned n) {
        buf_ >>= n;
        count_ -= n;
    }
    uint32_t bits(unsigned n) {
        refill();
        uint32_t v = static_cast<uint32_t>(buf_ & ((uint64_t(1) << n) - 1));
        drop(n);
        return v;
    }
    void alignToByte() { drop(static_cast<unsigned>((8 - (position() & 7)) & 7)); }

  private:
    std::span<const uint8_t> data_;
    uint64_t totalBits_;
    uint64_t bytePos_ = 0;
    uint64_t buf_ = 0;
    unsigned count_ = 0;
};

// Canonical Huffman decoding table.
struct Huffman {
    std::vector<uint32_t> table;
    unsigned primaryBits = 0;

    // Builds the table from code lengths. A code must be complete, except that a code with a
    // single one-bit symbol or with no symbols is allowed for literal/length and distance
    // codes (strictCode false), as zlib allows.
    bool build(std::span<const uint8_t> lens, unsigned primary, bool strictCode) {
        std::array<uint16_t, kMaxCodeBits + 1> count{};
        for (uint8_t l : lens)
            ++count[l];
        count[0] = 0;
        unsigned maxLen = 0;
        for (unsigned l = 1; l <= kMaxCodeBits; ++l)
            if (count[l])
                maxLen = l;
        primaryBits = primary;
        table.assign(size_t(1) << primary, kInvalidEntry);
        if (maxLen == 0)
            return !strictCode;
        int left = 1;
        for (unsigned l = 1; l <= kMaxCodeBits; ++l) {
            left = left * 2 - count[l];
            if (left < 0)
                return false;
        }
        if (left > 0 && (strictCode || maxLen != 1))
            return false;
        std::array<uint32_t, kMaxCodeBits + 2> next{};
        uint32_t code = 0;
        for (unsigned l = 1; l <= kMaxCodeBits; ++l) {
            code = (code + count[l - 1]) << 1;
            next[l] = code;
        }
        const unsigned subBits = maxLen > primary ? maxLen - primary : 0;
        const uint32_t primaryMask = (1u << primary) - 1;
        for (size_t sym = 0; sym < lens.size(); ++sym) {
            unsigned len = lens[sym];
            if (len == 0)
                continue;
            uint32_t c = next[len]++;
            uint32_t rev = 0;
            for (unsigned i = 0; i < len; ++i)
                rev |= ((c >> i) & 1u) << (len - 1 - i);
            uint32_t entry = (static_cast<uint32_t>(sym) << 8) | len;
            if (len <= primary) {
                for (uint32_t i = rev; i <= primaryMask; i += 1u << len)
                    table[i] = entry;
                continue;
            }
            uint32_t slot = rev & primaryMask;
            if (!(table[slot] & kLinkFlag)) {
                uint32_t offset = static_cast<uint32_t>(table.size());
                table.resize(table.size() + (size_t(1) << subBits), kInvalidEntry);
                table[slot] = kLinkFlag | (offset << 8) | subBits;
            }
            uint32_t offset = (table[slot] >> 8) & 0x3FFFFF;
            for (uint32_t i = rev >> primary; i < (1u << subBits); i += 1u << (len - primary))
                table[offset + i] = entry;
        }
        return true;
    }

    uint32_t lookup(uint64_t bits) const {
        uint32_t e = table[bits & ((1u << primaryBits) - 1)];
        if (e & kLinkFlag)
            e = table[((e >> 8) & 0x3FFFFF) + ((bits >> primaryBits) & ((1u << (e & 0xFF)) - 1))];
        return e;
    }
};

enum class SymbolKind { Literal, Copy, End, Bad };

// Decodes one literal/length symbol and, for a copy, its distance.
inline SymbolKind nextSymbol(BitReader& r, const Huffman& lit, const Huffman& dist, uint32_t& value,
                             uint32_t& distance) {
    r.refill();
    uint32_t e = lit.lookup(r.peek());
    if (e & kInvalidEntry)
        return SymbolKind::Bad;
    r.drop(e & 0xFF);
    uint32_t sym = (e >> 8) & 0xFFFF;
    if (sym < kEndOfBlock) {
        value = sym;
        return SymbolKind::Literal;
    }
    if (sym == kEndOfBlock)
        return SymbolKind::End;
    sym -= kEndOfBlock + 1;
    if (sym >= kLengthCodes)
        return SymbolKind::Bad;
    unsigned extra = kLengthExtra[sym];
    value = kLengthBase[sym] + static_cast<uint32_t>(r.peek() & ((1u << extra) - 1));
    r.drop(extra);
    e = dist.lookup(r.peek());
    if (e & kInvalidEntry)
        return SymbolKind::Bad;
    r.drop(e & 0xFF);
    sym = (e >> 8) & 0xFFFF;
    if (sym >= kMaxDistCodes)
        return SymbolKind::Bad;
    extra = kDistExtra[sym];
    distance = kDistBase[sym] + static_cast<uint32_t>(r.peek() & ((1u << extra) - 1));
    r.drop(extra);
    return SymbolKind::Copy;
}

// Byte classes for the text check.
enum : uint8_t { kPlain = 0, kBad, kLead2, kLead3, kLead4, kCont, kMarkup };
constexpr std::array<uint8_t, 256> kByteClass = [] {
    std::array<uint8_t, 256> c{};
    for (unsigned b = 0; b < 0x20; ++b)
        c[b] = kBad;
    c['\t'] = c['\n'] = c['\r'] = kPlain;
    for (unsigned ch : {'<', '>', '&', '"', '\'', ';'})
        c[ch] = kMarkup;
    for (unsigned b = 0x80; b < 0xC0; ++b)
        c[b] = kCont;
    c[0xC0] = c[0xC1] = kBad;
    for (unsigned b = 0xC2; b < 0xE0; ++b)
        c[b] = kLead2;
    for (unsigned b = 0xE0; b < 0xF0; ++b)
        c[b] = kLead3;
    for (unsigned b = 0xF0; b < 0xF5; ++b)
        c[b] = kLead4;
    for (unsigned b = 0xF5; b < 0x100; ++b)
        c[b] = kBad;
    return c;
}();

// Says whether text could be valid UTF-8 and, for XML, whether its markup could be
// well-formed. It flags only what well-formed XML never holds, so clean parts pass.
class TextChecker {
  public:
    explicit TextChecker(bool xml) : xml_(xml) {}

    // Returns false when the byte cannot follow what came before; the checker then starts
    // over without assumptions.
    bool feed(uint8_t c) {
        uint8_t cls = kByteClass[c];
        if (need_) {
            if (cls != kCont)
                return fail();
            --need_;
            return true;
        }
        // After unknown bytes the text may resume in the middle of a character.
        if (strayContinuations_) {
            if (cls == kCont) {
                --strayContinuations_;
                return true;
            }
            strayContinuations_ = 0;
        }
        switch (cls) {
            case kPlain:
                break;
            case kBad:
            case kCont:
                return fail();
            case kLead2:
                need_ = 1;
                break;
            case kLead3:
                need_ = 2;
                break;
            case kLead4:
                need_ = 3;
                break;
            case kMarkup:
                return xml_ ? markup(c) : true;
        }
        if (!xml_)
            return true;
        if (state_ == State::TagOpen) {
            bool nameStart = c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             c == '_' || c == ':' || c == '/' || c == '?';
            if (c == '!') {
                state_ = State::Opaque;
                return true;
            }
            if (!nameStart)
                return fail();
            state_ = State::InTag;
        } else if (state_ == State::Entity) {
            bool nameChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '#';
            if (!nameChar || ++entityLen_ > kMaxEntityName)
                return fail();
        }
        return true;
    }
    // Whether any plain byte would pass without changing the state.
    bool plainPasses() const {
        return need_ == 0 && strayContinuations_ == 0 && state_ != State::TagOpen &&
               state_ != State::Entity;
    }
    void unknown() {
        state_ = State::Loose;
        need_ = 0;
        strayContinuations_ = kMaxContinuations;
    }

  private:
    enum class State : uint8_t { Text, TagOpen, InTag, Quote, Apos, Entity, Opaque, Loose };
    static constexpr uint8_t kMaxEntityName = 10;
    static constexpr uint8_t kMaxContinuations = 3;

    bool markup(uint8_t c) {
        switch (state_) {
            case State::Text:
                if (c == '<')
                    state_ = State::TagOpen;
                else if (c == '&')
                    state_ = State::Entity, entityLen_ = 0;
                return true;
            case State::TagOpen:
                return fail();
            case State::InTag:
                if (c == '>')
                    state_ = State::Text;
                else if (c == '"')
                    state_ = State::Quote;
                else if (c == '\'')
                    state_ = State::Apos;
                else if (c == '<' || c == '&' || c == ';')
                    return fail();
                return true;
            case State::Quote:
            case State::Apos:
                if (c == '<')
                    return fail();
                if ((c == '"' && state_ == State::Quote) || (c == '\'' && state_ == State::Apos))
                    state_ = State::InTag;
                return true;
            case State::Entity:
                if (c != ';' || entityLen_ == 0)
                    return fail();
                state_ = State::Text;
                return true;
            case State::Opaque:
                if (c == '>')
                    state_ = State::Text;
                return true;
            case State::Loose:
                if (c == '<')
                    state_ = State::TagOpen;
                else if (c == '>')
                    state_ = State::Text;
                return true;
        }
        return true;
    }
    bool fail() {
        state_ = State::Loose;
        need_ = 0;
        strayContinuations_ = 0;
        return false;
    }

    bool xml_;
    State state_ = State::Loose;
    uint8_t need_ = 0;
    uint8_t entityLen_ = 0;
    uint8_t strayContinuations_ = kMaxContinuations;
};

enum class HeaderStatus { Ok, Bad, Truncated };

struct BlockHeader {
    bool final = false;
    unsigned type = 0;
    uint32_t storedLen = 0;
};

// Reads a block header; for a dynamic block it builds the block's tables into lit and dist.
HeaderStatus readBlockHeader(BitReader& r, BlockHeader& h, Huffman& lit, Huffman& dist,
                             Huffman& codeLen) {
    h.final = r.bits(1) != 0;
    h.type = r.bits(2);
    if (r.overrun())
        return HeaderStatus::Truncated;
    if (h.type == 0) {
        r.alignToByte();
        uint32_t len = r.bits(16);
        uint32_t nlen = r.bits(16);
        if (r.overrun())
            return HeaderStatus::Truncated;
        if ((len ^ 0xFFFFu) != nlen)
            return HeaderStatus::Bad;
        h.storedLen = len;
        return HeaderStatus::Ok;
    }
    if (h.type == 1)
        return HeaderStatus::Ok;
    if (h.type == 3)
        return HeaderStatus::Bad;
    unsigned nlit = r.bits(5) + 257;
    unsigned ndist = r.bits(5) + 1;
    unsigned ncode = r.bits(4) + 4;
    if (nlit > kMaxLitLenCodes || ndist > kMaxDistCodes)
        return HeaderStatus::Bad;
    std::array<uint8_t, kNumCodeLen> cl{};
    for (unsigned i = 0; i < ncode; ++i)
        cl[kCodeLenOrder[i]] = static_cast<uint8_t>(r.bits(3));
    if (r.overrun())
        return HeaderStatus::Truncated;
    if (!codeLen.build(cl, kCodeLenPrimaryBits, true))
        return HeaderStatus::Bad;
    std::array<uint8_t, kMaxLitLenCodes + kMaxDistCodes> lens{};
    const unsigned total = nlit + ndist;
    unsigned i = 0;
    while (i < total) {
        r.refill();
        uint32_t e = codeLen.lookup(r.peek());
        if (e & kInvalidEntry)
            return HeaderStatus::Bad;
        r.drop(e & 0xFF);
        uint32_t sym = (e >> 8) & 0xFFFF;
        if (sym < 16) {
            lens[i++] = static_cast<uint8_t>(sym);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat;
        if (sym == 16) {
            if (i == 0)
                return HeaderStatus::Bad;
            value = lens[i - 1];
            repeat = 3 + r.bits(2);
        } else if (sym == 17) {
            repeat = 3 + r.bits(3);
        } else {
            repeat = 11 + r.bits(7);
        }
        if (i + repeat > total)
            return HeaderStatus::Bad;
        std::fill_n(lens.begin() + i, repeat, value);
        i += repeat;
    }
    if (r.overrun())
        return HeaderStatus::Truncated;
    if (lens[kEndOfBlock] == 0)
        return HeaderStatus::Bad;
    std::span<const uint8_t> all(lens);
    if (!lit.build(all.first(nlit), kLitPrimaryBits, false) ||
        !dist.build(all.subspan(nlit, ndist), kDistPrimaryBits, false))
        return HeaderStatus::Bad;
    return HeaderStatus::Ok;
}

// One decoded symbol kept for placing resumed output against the history.
struct ScoredSymbol {
    uint16_t length;  // 0 for a literal
    uint16_t distance;
    uint8_t literal;
};

class TolerantDecoder {
  public:
    TolerantDecoder(std::span<const uint8_t> in, uint64_t cap, bool text)
        : in_(in),
          r_(in),
          cap_(std::min(cap, kMaxOutputCap)),
          text_(text),
          xml_(text),
          checker_(text) {
        std::array<uint8_t, kNumLitLen> fl{};
        std::fill(fl.begin(), fl.begin() + 144, 8);
        std::fill(fl.begin() + 144, fl.begin() + 256, 9);
        std::fill(fl.begin() + 256, fl.begin() + 280, 7);
        std::fill(fl.begin() + 280, fl.end(), 8);
        fixedLit_.build(fl, kLitPrimaryBits, false);
        std::array<uint8_t, kNumDist> fd{};
        fd.fill(5);
        fixedDist_.build(fd, kDistPrimaryBits, false);
        ring_.assign(kWindowSize, 1);
        r_.seek(0);
        work_ = kSearchWorkFloor + kSearchWorkPerInputByte * in.size();
    }

    TolerantResult run() {
        Next next = Next::Header;
        while (next != Next::Stop)
            next = next == Next::Header ? startBlock() : decodeHuffman();
        return finish();
    }

  private:
    enum class Next { Header, Huffman, Stop };

    // ---- output with unknown positions ----

    uint64_t kept() const { return pos_ - unknownCount_; }
    bool known(uint64_t p) const {
        return p >= unknownBelow_ && (p >= unknownEnd_ || ring_[p & kWindowMask]);
    }
    bool flagsLive() const { return hasUnknown_ && pos_ < unknownEnd_ + kWindowSize; }
    uint64_t allKnownFrom() const { return std::max(unknownBelow_, unknownEnd_); }

    // Room for n more bytes; false once the output may not grow.
    bool ensure(uint64_t n) {
        if (pos_ + n <= out_.size())
            return true;
        uint64_t limit = cap_ + std::min(cap_, kMaxPlaceholders) + 2 * kMaxMatch + kMaxGap;
        if (pos_ + n > limit)
            return false;
        uint64_t want = std::max<uint64_t>(out_.size() * 2, 1u << 16);
        out_.resize(std::min(std::max(want, pos_ + n), limit));
        return true;
    }
    void putKnown(uint8_t c) {
        out_[pos_] = c;
        if (flagsLive())
            ring_[pos_ & kWindowMask] = 1;
        ++pos_;
    }
    void putUnknown() {
        if (!flagsLive()) {
            hasUnknown_ = true;
            unknownEnd_ = pos_;
            rebuildRing();
        }
        out_[pos_] = 0;
        ring_[pos_ & kWindowMask] = 0;
        if (!gaps_.empty() && gaps_.back().second == pos_)
            gaps_.back().second = pos_ + 1;
        else
            gaps_.emplace_back(pos_, pos_ + 1);
        ++unknownCount_;
        unknownEnd_ = ++pos_;
    }
    // Marks the window behind pos_ from the list of unknown runs.
    void rebuildRing() {
        std::fill(ring_.begin(), ring_.end(), 1);
        uint64_t from = pos_ > kWindowSize ? pos_ - kWindowSize : 0;
        for (auto it = gaps_.rbegin(); it != gaps_.rend() && it->second > from; ++it)
            for (uint64_t p = std::max(it->first, from); p < it->second; ++p)
                ring_[p & kWindowMask] = 0;
    }
    void truncateTo(uint64_t p) {
        if (p >= pos_)
            return;
        while (!gaps_.empty() && gaps_.back().first >= p) {
            unknownCount_ -= gaps_.back().second - gaps_.back().first;
            gaps_.pop_back();
        }
        if (!gaps_.empty() && gaps_.back().second > p) {
            unknownCount_ -= gaps_.back().second - p;
            gaps_.back().second = p;
        }
        pos_ = p;
        unknownEnd_ = gaps_.empty() ? 0 : gaps_.back().second;
        hasUnknown_ = !gaps_.empty();
        if (hasUnknown_)
            rebuildRing();
        checkPos_ = std::min(checkPos_, pos_);
    }
    void copyMatch(uint32_t len, uint32_t dist) {
        if (dist <= pos_ && pos_ - dist >= allKnownFrom() && !flagsLive()) {
            uint64_t src = pos_ - dist;
            if (dist >= len)
                std::copy_n(out_.begin() + src, len, out_.begin() + pos_);
            else
                for (uint32_t i = 0; i < len; ++i)
                    out_[pos_ + i] = out_[src + i];
            pos_ += len;
            return;
        }
        for (uint32_t i = 0; i < len; ++i) {
            if (dist <= pos_ && known(pos_ - dist))
                putKnown(out_[pos_ - dist]);
            else
                putUnknown();
        }
    }
    // Takes n units from the search work left; false once it is used up.
    bool spend(uint64_t n) {
        if (work_ < n) {
            work_ = 0;
            return false;
        }
        work_ -= n;
        return true;
    }

    // Forgets where the history stands relative to what comes next.
    void loseHistory() { unknownBelow_ = pos_; }

    // ---- text checks ----

    // Checks the bytes written since the last check; returns the position of the first
    // implausible one, or kNoPosition.
    uint64_t firstImplausible() {
        if (checkPos_ == 0 && pos_ > 0) {
            uint64_t p = 0;
            if (pos_ >= 3 && out_[0] == 0xEF && out_[1] == 0xBB && out_[2] == 0xBF)
                p = 3;
            while (p < pos_ &&
                   (out_[p] == ' ' || out_[p] == '\t' || out_[p] == '\r' || out_[p] == '\n'))
                ++p;
            if (p < pos_ && out_[p] != '<') {
                xml_ = false;
                checker_ = TextChecker(false);
            }
        }
        const bool allKnown = checkPos_ >= allKnownFrom();
        for (uint64_t p = checkPos_; p < pos_; ++p) {
            // Most bytes are plain text the checker passes without a change of state.
            if (allKnown && checker_.plainPasses()) {
                while (p < pos_ && kByteClass[out_[p]] == kPlain)
                    ++p;
                if (p == pos_)
                    break;
            }
            if (allKnown || known(p)) {
                if (!checker_.feed(out_[p]))
                    return p;
            } else {
                checker_.unknown();
            }
        }
        checkPos_ = pos_;
        return kNoPosition;
    }

    // Scratch output for trials and placement tries; it only grows, so it is filled once.
    void reserveScratch(size_t n) {
        if (trialBytes_.size() < n) {
            trialBytes_.resize(n);
            trialKnown_.resize(n);
        }
    }

    // Decodes up to kTrialSymbols from r with the given tables and says whether they make
    // sense with the history unknown.
    bool trial(BitReader r, const Huffman& lit, const Huffman& dist,
               uint32_t symbols = kTrialSymbols) {
        TextChecker chk(xml_);
        reserveScratch(size_t(symbols) * kMaxMatch);
        uint32_t n = 0, sameSymbol = 0, lastValue = UINT32_MAX, lastDistance = 0;
        for (uint32_t i = 0; i < symbols; ++i) {
            uint32_t v = 0, d = 0;
            SymbolKind kind = nextSymbol(r, lit, dist, v, d);
            if (!spend(kind == SymbolKind::Copy && text_ ? 1 + v : 1))
                return false;
            if (r.overrun())
                return i >= kTrialSymbolsAtEnd;
            if (kind == SymbolKind::Bad)
                return false;
            if (kind == SymbolKind::End)
                return i >= kTrialSymbolsBeforeEnd && headerLooksValid(r);
            // A compressor turns a run of one byte into a copy, so a long run of one literal
            // (as zeroed data decodes to) does not come from real data.
            sameSymbol = (v == lastValue && d == lastDistance) ? sameSymbol + 1 : 0;
            lastValue = v;
            lastDistance = d;
            if (sameSymbol >= kMaxRepeatedSymbols)
                return false;
            if (kind == SymbolKind::Literal) {
                if (text_ && !chk.feed(static_cast<uint8_t>(v)))
                    return false;
                trialBytes_[n] = static_cast<uint8_t>(v);
                trialKnown_[n++] = 1;
                continue;
            }
            if (!text_)
                continue;
            for (uint32_t k = 0; k < v; ++k, ++n) {
                bool have = d <= n && trialKnown_[n - d];
                trialKnown_[n] = have;
                trialBytes_[n] = have ? trialBytes_[n - d] : 0;
                if (!have)
                    chk.unknown();
                else if (!chk.feed(trialBytes_[n]))
                    return false;
            }
        }
        return true;
    }

    // Whether a valid block header starts at r (without decoding the block).
    bool headerLooksValid(BitReader r) {
        BlockHeader h;
        return readBlockHeader(r, h, scratchLit_, scratchDist_, codeLen_) == HeaderStatus::Ok &&
               (h.type != 0 || r.position() / 8 + h.storedLen <= in_.size());
    }

    // Whether a block that makes sense starts at bit p: a valid header followed by data that
    // passes the trial.
    bool blockStartsAt(uint64_t p) {
        if (!spend(kHeaderProbeWork))
            return false;
        BitReader r(in_);
        r.seek(p);
        BlockHeader h;
        if (readBlockHeader(r, h, scratchLit_, scratchDist_, codeLen_) != HeaderStatus::Ok)
            return false;
        if (h.type == 0) {
            uint64_t at = r.position() / 8;
            if (at + h.storedLen > in_.size() || h.storedLen == 0)
                return false;
            if (!text_)
                return true;
            TextChecker chk(xml_);
            for (uint64_t i = 0; i < std::min<uint64_t>(h.storedLen, kTrialSymbols); ++i)
                if (!chk.feed(readU8(in_, at + i)))
                    return false;
            return true;
        }
        // Three header bits make a fixed block, so one found by searching must prove itself
        // over a longer run.
        if (h.type == 1)
            return trial(r, fixedLit_, fixedDist_, kFixedTrialSymbols);
        return trial(r, scratchLit_, scratchDist_);
    }

    // ---- damage ----

    // Handles damage found at bit `at`; the search for a place to go on starts at `from`.
    Next damage(uint64_t at, uint64_t from, bool tablesUsable) {
        ++damageEvents_;
        if (damageEvents_ > kMaxDamageEvents)
            return Next::Stop;
        const uint64_t total = r_.totalBits();
        if (tablesUsable) {
            const uint64_t end = std::min(from + kInBlockSearchBits, total);
            for (uint64_t p = from; p < end && work_ > 0; ++p) {
                BitReader t(in_);
                t.seek(p);
                if (trial(t, *lit_, *dist_)) {
                    p = inStep(p, at);
                    bitsSkipped_ += p > at ? p - at : 0;
                    lastResyncBit_ = p;
                    r_.seek(p);
                    place(p, at, from > 0 ? from - 1 : 0);
                    return Next::Huffman;
                }
            }
        }
        const uint64_t end = std::min(from + kHeaderSearchBits, total);
        for (uint64_t p = from; p < end && work_ > 0; ++p) {
            if (blockStartsAt(p)) {
                bitsSkipped_ += p > at ? p - at : 0;
                lastResyncBit_ = p;
                r_.seek(p);
                loseHistory();
                checker_.unknown();
                checkPos_ = pos_;
                return Next::Header;
            }
        }
        bitsSkipped_ += end > at ? end - at : 0;
        return Next::Stop;
    }

    // A symbol start at or after p that decoding reaches from each of several nearby start
    // bits: decoding that begins out of step falls into step within a few symbols, so where
    // the paths meet is a true symbol boundary. A boundary that most of them and the path
    // decoded from `at` (in step before the damage) share is taken too, as that path is
    // independent of the others. Falls back to skipping a few symbols.
    uint64_t inStep(uint64_t p, uint64_t at) {
        std::array<std::array<uint64_t, kStepSymbols>, kStepStarts> chains{};
        std::array<uint32_t, kStepStarts> lengths{};
        for (uint32_t j = 0; j < kStepStarts; ++j) {
            BitReader t(in_);
            t.seek(p + j * 3);
            for (uint32_t i = 0; i < kStepSymbols; ++i) {
                chains[j][i] = t.position();
                lengths[j] = i + 1;
                uint32_t v = 0, d = 0;
                SymbolKind kind = nextSymbol(t, *lit_, *dist_, v, d);
                if (kind == SymbolKind::Bad || kind == SymbolKind::End || t.overrun())
                    break;
            }
        }
        const uint64_t last = chains[0][lengths[0] - 1];
        beforePath_.clear();
        if (at < p) {
            BitReader t(in_);
            t.seek(at);
            while (t.position() <= last && beforePath_.size() < kBeforePathSymbols) {
                beforePath_.push_back(t.position());
                uint32_t v = 0, d = 0;
                SymbolKind kind = nextSymbol(t, *lit_, *dist_, v, d);
                if (kind == SymbolKind::Bad || kind == SymbolKind::End || t.overrun())
                    break;
            }
        }
        spend(kStepStarts * kStepSymbols + beforePath_.size());
        for (uint32_t i = 0; i < lengths[0]; ++i) {
            const uint64_t b = chains[0][i];
            uint32_t agree = 1;
            for (uint32_t j = 1; j < kStepStarts; ++j) {
                auto end = chains[j].begin() + lengths[j];
                agree += std::find(chains[j].begin(), end, b) != end;
            }
            if (agree == kStepStarts)
                return b;
            if (agree * kStepAgreeDen >= kStepStarts * kStepAgreeNum &&
                std::binary_search(beforePath_.begin(), beforePath_.end(), b))
                return b;
        }
        return chains[0][std::min(kStepFallbackSymbols, lengths[0] - 1)];
    }

    // After resuming at bit p inside a block, finds how many bytes the skipped data held by
    // trying each count against the copies that reach back into the history: the right count
    // makes them give text that fits. When no count stands out, the history is forgotten.
    void place(uint64_t p, uint64_t at, uint64_t failedBit) {
        checker_.unknown();
        checkPos_ = pos_;
        recentCount_ = 0;
        if (!xml_ || pos_ <= unknownBelow_) {
            loseHistory();
            return;
        }
        countPairs();
        scored_.clear();
        BitReader t(in_);
        t.seek(p);
        uint32_t produced = 0;
        while (produced < kScoreBytesWide && scored_.size() < kScoreSymbols) {
            uint32_t v = 0, d = 0;
            SymbolKind kind = nextSymbol(t, *lit_, *dist_, v, d);
            if (t.overrun() || kind == SymbolKind::Bad || kind == SymbolKind::End)
                break;
            if (kind == SymbolKind::Literal) {
                scored_.push_back({0, 0, static_cast<uint8_t>(v)});
                ++produced;
            } else {
                scored_.push_back({static_cast<uint16_t>(v), static_cast<uint16_t>(d), 0});
                produced += v;
            }
        }
        const int64_t skippedBytes = static_cast<int64_t>((p - std::min(p, at)) / 8);
        const int64_t maxGap =
            std::min(kMaxGap, kMinGapRange + kGapBytesPerSkippedByte * skippedBytes);
        const int64_t maxTrim =
            std::min<int64_t>(kMaxTrim, static_cast<int64_t>(pos_ - unknownBelow_));
        if (deepTrim_ + unknownBelow_ >= pos_)
            deepTrim_ = 0;
        if (!spend(static_cast<uint64_t>(maxGap + maxTrim + 1) * (deepTrim_ ? 2 : 1) *
                   (std::min(produced, kScoreBytes) + 1))) {
            loseHistory();
            return;
        }
        // Two cut-back depths are tried: the usual few symbols before the failing one, and a
        // deeper one for damage that showed late and left garbled bytes in the history.
        const std::array<int64_t, 2> trims = {0, static_cast<int64_t>(deepTrim_)};
        uint64_t bestScore = UINT64_MAX;
        finalists_.clear();
        for (size_t ti = 0; ti < (deepTrim_ ? trims.size() : 1); ++ti) {
            const int64_t trim = trims[ti];
            const int64_t lowest =
                -std::min<int64_t>(kMaxTrim, static_cast<int64_t>(pos_ - unknownBelow_) - trim);
            for (int64_t gap = lowest; gap <= maxGap; ++gap) {
                uint64_t crossing = 0;
                uint64_t score = scorePlacement(trim, gap, kScoreBytes, crossing);
                if (crossing < kMinCrossingBytes || score > bestScore)
                    continue;
                if (score < bestScore) {
                    bestScore = score;
                    finalists_.clear();
                }
                if (finalists_.size() < kMaxFinalists)
                    finalists_.emplace_back(trim, gap);
            }
        }
        std::pair<int64_t, int64_t> best{0, 0};
        uint64_t wideBest = UINT64_MAX, wideSecond = UINT64_MAX;
        if (finalists_.size() == 1) {
            best = finalists_[0];
            wideBest = 0;
        } else if (spend(finalists_.size() * (kScoreBytesWide + 1))) {
            for (const auto& [trim, gap] : finalists_) {
                uint64_t crossing = 0;
                uint64_t score = scorePlacement(trim, gap, kScoreBytesWide, crossing);
                // A deep cut back that places the resumed bytes where the usual one does and
                // scores the same only loses history: the usual one wins such a tie.
                const bool sameSpot = score == wideBest && trim != best.first &&
                                      gap - trim == best.second - best.first;
                if (score < wideBest) {
                    wideSecond = wideBest;
                    wideBest = score;
                    best = {trim, gap};
                } else if (sameSpot) {
                    if (trim < best.first)
                        best = {trim, gap};
                } else if (score < wideSecond) {
                    wideSecond = score;
                }
            }
        }
        if (wideBest == UINT64_MAX || wideSecond == wideBest) {
            loseHistory();
            return;
        }
        const auto [trim, gap] = best;
        if (trim > 0) {
            truncateTo(pos_ - static_cast<uint64_t>(trim));
            at = deepBit_;
        }
        if (gap >= 0 && fillGap(at, failedBit, gap)) {
            checkPos_ = pos_;
            return;
        }
        if (gap < 0) {
            truncateTo(pos_ - static_cast<uint64_t>(-gap));
        } else if (ensure(static_cast<uint64_t>(gap))) {
            for (int64_t i = 0; i < gap; ++i)
                putUnknown();
        } else {
            loseHistory();
        }
        checkPos_ = pos_;
    }

    // Puts back the start of the gap between the history and the resumption point: decoding
    // from `at` (where the output was cut back to) is true up to the damage, which lies a
    // little before the symbol that failed. Those bytes are kept and the rest of the gap is
    // left unknown; without them, every later copy that reaches into the gap would be cut too.
    // Returns false when the gap could not be filled that way (the caller leaves it unknown).
    bool fillGap(uint64_t at, uint64_t failedBit, int64_t gap) {
        const uint64_t garbledFrom =
            failedBit > kGarbledBitsBefore ? failedBit - kGarbledBitsBefore : 0;
        BitReader t(in_);
        t.seek(at);
        gapBytes_.clear();
        gapKnown_.clear();
        const uint64_t base = pos_;
        while (t.position() < garbledFrom && gapBytes_.size() < static_cast<size_t>(gap)) {
            uint32_t v = 0, d = 0;
            const size_t before = gapBytes_.size();
            SymbolKind kind = nextSymbol(t, *lit_, *dist_, v, d);
            if (t.overrun() || kind == SymbolKind::Bad || kind == SymbolKind::End ||
                t.position() > garbledFrom) {
                gapBytes_.resize(before);
                gapKnown_.resize(before);
                break;
            }
            if (kind == SymbolKind::Literal) {
                gapBytes_.push_back(static_cast<uint8_t>(v));
                gapKnown_.push_back(1);
                continue;
            }
            for (uint32_t k = 0; k < v; ++k) {
                const uint64_t here = base + gapBytes_.size();
                uint8_t c = 0;
                bool have = false;
                if (d <= here) {
                    const uint64_t s = here - d;
                    if (s >= base) {
                        have = gapKnown_[s - base] != 0;
                        c = gapBytes_[s - base];
                    } else if (known(s)) {
                        have = true;
                        c = out_[s];
                    }
                }
                gapBytes_.push_back(c);
                gapKnown_.push_back(have);
            }
        }
        spend(gapBytes_.size());
        if (gapBytes_.size() > static_cast<size_t>(gap) ||
            !ensure(static_cast<uint64_t>(gap) + kMaxMatch))
            return false;
        for (size_t i = 0; i < gapBytes_.size(); ++i) {
            if (gapKnown_[i])
                putKnown(gapBytes_[i]);
            else
                putUnknown();
        }
        for (size_t i = gapBytes_.size(); i < static_cast<size_t>(gap); ++i)
            putUnknown();
        return true;
    }

    // Counts the byte pairs of the known history of the last window.
    void countPairs() {
        pairs_.assign(size_t(256) * 256, 0);
        const uint64_t from = std::max(unknownBelow_, pos_ > kWindowSize ? pos_ - kWindowSize : 0);
        for (uint64_t p = from + 1; p < pos_; ++p) {
            if (!known(p - 1) || !known(p))
                continue;
            uint16_t& c = pairs_[out_[p - 1] * 256u + out_[p]];
            if (c < UINT16_MAX)
                ++c;
        }
    }

    // Penalty of resuming with `gap` unknown bytes after the history cut back by `trim` bytes
    // (negative gap: that many more bytes of it dropped): markup that cannot be well-formed, and
    // copies that the compressor would have made longer.
    uint64_t scorePlacement(int64_t trim, int64_t gap, uint32_t limit, uint64_t& crossing) {
        const int64_t end = static_cast<int64_t>(pos_) - trim + std::min<int64_t>(gap, 0);
        const int64_t base = static_cast<int64_t>(pos_) - trim + gap;
        TextChecker chk(true);
        reserveScratch(kScoreBytesWide + kMaxMatch);
        uint64_t score = 0;
        uint32_t n = 0;
        junctions_.clear();
        auto history = [&](int64_t s, uint8_t& c) {
            if (s < 0 || s >= end || !known(static_cast<uint64_t>(s)))
                return false;
            c = out_[static_cast<size_t>(s)];
            return true;
        };
        for (size_t i = 0; i < scored_.size() && n < limit; ++i) {
            const ScoredSymbol& sym = scored_[i];
            if (sym.length == 0) {
                trialBytes_[n] = sym.literal;
                trialKnown_[n++] = 1;
                if (!chk.feed(sym.literal))
                    score += 8;
                continue;
            }
            const int64_t src = base + n - sym.distance;
            if (src + sym.length <= base) {
                junctions_.push_back(n);
                junctions_.push_back(n + sym.length);
            }
            for (uint32_t k = 0; k < sym.length; ++k, ++n) {
                int64_t s = src + k;
                uint8_t c = 0;
                bool have;
                if (s >= base) {
                    have = trialKnown_[static_cast<size_t>(s - base)] != 0;
                    c = trialBytes_[static_cast<size_t>(s - base)];
                } else {
                    have = history(s, c);
                    crossing += have;
                }
                trialKnown_[n] = have;
                trialBytes_[n] = c;
                if (!have)
                    chk.unknown();
                else if (!chk.feed(c))
                    score += 8;
            }
            // A copy wholly from history that the literal after it, or the literal before it,
            // would have made longer: the compressor takes the longest match it finds.
            uint8_t next = 0, prev = 0;
            if (src + sym.length <= base && sym.length < kMaxMatch && i + 1 < scored_.size() &&
                scored_[i + 1].length == 0 && history(src + sym.length, next) &&
                next == scored_[i + 1].literal)
                ++score;
            if (src + sym.length <= base && sym.length < kMaxMatch && i > 0 &&
                scored_[i - 1].length == 0 && history(src - 1, prev) &&
                prev == scored_[i - 1].literal)
                ++score;
        }
        // Where a copy from history meets its neighbours, the two bytes should be a pair the
        // text has shown before.
        for (uint32_t j : junctions_) {
            if (j == 0 || j >= n || !trialKnown_[j - 1] || !trialKnown_[j])
                continue;
            uint16_t seen = pairs_[trialBytes_[j - 1] * 256u + trialBytes_[j]];
            score += seen == 0 ? kUnseenPairPenalty : seen < kCommonPair ? kRarePairPenalty : 0;
        }
        return score;
    }

    // ---- blocks ----

    Next startBlock() {
        const uint64_t at = r_.position();
        BlockHeader h;
        HeaderStatus s = readBlockHeader(r_, h, scratchLit_, scratchDist_, codeLen_);
        if (s == HeaderStatus::Truncated) {
            truncated_ = true;
            return Next::Stop;
        }
        if (s == HeaderStatus::Bad)
            return damage(at, nextSearchStart(at + 1), false);
        final_ = h.final;
        if (h.type == 0)
            return copyStored(h.storedLen);
        if (h.type == 1) {
            lit_ = &fixedLit_;
            dist_ = &fixedDist_;
        } else {
            std::swap(dynLit_, scratchLit_);
            std::swap(dynDist_, scratchDist_);
            lit_ = &dynLit_;
            dist_ = &dynDist_;
        }
        // A re-decode after damage never reaches back past the start of this block's data.
        checkPos_ = pos_;
        recentCount_ = 0;
        return Next::Huffman;
    }

    Next copyStored(uint32_t len) {
        const uint64_t at = r_.position() / 8;
        const uint64_t have = at < in_.size() ? std::min<uint64_t>(len, in_.size() - at) : 0;
        uint64_t room = cap_ > kept() ? cap_ - kept() : 0;
        uint64_t n = std::min(have, room);
        if (!ensure(n))
            return Next::Stop;
        for (uint64_t i = 0; i < n; ++i)
            putKnown(in_[at + i]);
        if (text_) {
            // Stored bytes need no getting back in step; they only keep the checker current.
            for (uint64_t p = checkPos_; p < pos_; ++p)
                if (!known(p) || !checker_.feed(out_[p]))
                    checker_.unknown();
            checkPos_ = pos_;
        }
        if (n < len) {
            truncated_ = have < len;
            capped_ = !truncated_;
            return Next::Stop;
        }
        r_.seek((at + len) * 8);
        return final_ ? endOfStream() : Next::Header;
    }

    Next endOfStream() {
        ended_ = true;
        return Next::Stop;
    }

    // Where to look for a way on after damage: never at or before the last place resumed, so
    // every damage event moves forward.
    uint64_t nextSearchStart(uint64_t wanted) const {
        return wanted > lastResyncBit_ ? wanted : lastResyncBit_ + 1;
    }

    // Damage shown at output position `bad`: drops the output of the symbol that made it and
    // of a few symbols before (damage shows a little after it happens), and looks for a way
    // on after the start of that symbol.
    Next damageBefore(uint64_t bad, uint32_t extraBack = 0) {
        const uint32_t avail = std::min(recentCount_, kRecentSymbols);
        if (avail == 0)
            return damage(r_.position(), nextSearchStart(r_.position() + 1), true);
        uint32_t back = avail - 1;
        for (uint32_t k = 0; k < avail; ++k) {
            if (recentAt(k).second <= bad) {
                back = k;
                break;
            }
        }
        const uint64_t failedBit = recentAt(back).first;
        back += extraBack;
        const auto [startBit, startPos] = recentAt(std::min(back + kRollbackSymbols, avail - 1));
        const auto [deepBit, deepPos] = recentAt(std::min(back + kDeepRollbackSymbols, avail - 1));
        deepTrim_ = startPos - deepPos;
        deepBit_ = deepBit;
        truncateTo(startPos);
        return damage(startBit, nextSearchStart(failedBit + 1), true);
    }
    // The k-th latest symbol start (bit, output position).
    const std::pair<uint64_t, uint64_t>& recentAt(uint32_t k) const {
        return recent_[(recentCount_ - 1 - k) % kRecentSymbols];
    }

    Next decodeHuffman() {
        const Huffman& lit = *lit_;
        const Huffman& dist = *dist_;
        uint64_t nextCheck = text_ ? checkPos_ + kCheckChunk : kNoPosition;
        uint32_t run = 0, runValue = UINT32_MAX, runDistance = 0;
        bool sawCopy = false;
        for (;;) {
            if (pos_ >= nextCheck) {
                uint64_t bad = firstImplausible();
                if (bad != kNoPosition)
                    return damageBefore(bad);
                nextCheck = checkPos_ + kCheckChunk;
            }
            if (kept() >= cap_) {
                capped_ = true;
                return Next::Stop;
            }
            if (!ensure(kMaxMatch) || unknownCount_ > std::min(cap_, kMaxPlaceholders)) {
                capped_ = true;
                return Next::Stop;
            }
            const uint64_t symStart = r_.position();
            recent_[recentCount_++ % kRecentSymbols] = {symStart, pos_};
            uint32_t v = 0, d = 0;
            SymbolKind kind = nextSymbol(r_, lit, dist, v, d);
            if (r_.overrun()) {
                truncated_ = true;
                return Next::Stop;
            }
            switch (kind) {
                case SymbolKind::Literal:
                    if (text_ && kByteClass[v] == kBad)
                        return damageBefore(pos_);
                    // A block that copies turns runs of one byte into copies, so a long run
                    // of one literal there is damage (zeroed data decodes that way).
                    run = v == runValue && runDistance == 0 ? run + 1 : 0;
                    runValue = v;
                    runDistance = 0;
                    if (text_ && sawCopy && run >= kMaxLiteralRun)
                        return damageBefore(pos_, run);
                    putKnown(static_cast<uint8_t>(v));
                    break;
                case SymbolKind::Copy:
                    if (d > pos_ && damageEvents_ == 0)
                        return damageBefore(pos_);
                    // Two copies in a row from the same distance, the first shorter than the
                    // longest, are one copy a compressor would have made longer.
                    run = v == runValue && d == runDistance && v < kMaxMatch ? run + 1 : 0;
                    runValue = v;
                    runDistance = d;
                    sawCopy = true;
                    if (text_ && run >= kMaxCopyRun)
                        return damageBefore(pos_, run);
                    copyMatch(v, d);
                    break;
                case SymbolKind::End:
                    if (text_) {
                        uint64_t bad = firstImplausible();
                        if (bad != kNoPosition)
                            return damageBefore(bad);
                    }
                    return final_ ? endOfStream() : Next::Header;
                case SymbolKind::Bad:
                    return damageBefore(pos_);
            }
        }
    }

    TolerantResult finish() {
        TolerantResult res;
        res.damageEvents = damageEvents_;
        res.bitsSkipped = bitsSkipped_;
        res.complete = ended_ && damageEvents_ == 0 && !capped_ && !truncated_;
        // Drop the unknown runs, keeping the order of what is left.
        uint64_t w = 0, rd = 0;
        for (const auto& [from, to] : gaps_) {
            if (from >= pos_)
                break;
            if (w != rd)
                std::copy(out_.begin() + rd, out_.begin() + from, out_.begin() + w);
            w += from - rd;
            rd = std::min(to, pos_);
        }
        if (w != rd)
            std::copy(out_.begin() + rd, out_.begin() + pos_, out_.begin() + w);
        w += pos_ - rd;
        out_.resize(std::min(w, cap_));
        out_.shrink_to_fit();
        res.bytes = std::move(out_);
        return res;
    }

    std::span<const uint8_t> in_;
    BitReader r_;
    uint64_t cap_;
    bool text_;
    bool xml_;
    TextChecker checker_;

    Huffman fixedLit_, fixedDist_, dynLit_, dynDist_, scratchLit_, scratchDist_, codeLen_;
    const Huffman* lit_ = &fixedLit_;
    const Huffman* dist_ = &fixedDist_;
    bool final_ = false;

    std::vector<uint8_t> out_;
    uint64_t pos_ = 0;
    std::vector<std::pair<uint64_t, uint64_t>> gaps_;  // unknown runs [from, to), in order
    uint64_t unknownCount_ = 0;
    uint64_t unknownEnd_ = 0;    // one past the last unknown byte
    uint64_t unknownBelow_ = 0;  // everything before this position is unknown
    bool hasUnknown_ = false;
    std::vector<uint8_t> ring_;  // known flags of the last window, valid while flagsLive()

    uint64_t checkPos_ = 0;
    std::array<std::pair<uint64_t, uint64_t>, kRecentSymbols> recent_{};
    uint32_t recentCount_ = 0;  // symbols decoded since the block or the last resumption
    uint64_t lastResyncBit_ = 0;
    uint64_t work_ = 0;  // search work left

    std::vector<uint8_t> trialBytes_, trialKnown_;
    std::vector<ScoredSymbol> scored_;
    std::vector<std::pair<int64_t, int64_t>> finalists_;
    std::vector<uint64_t>
        beforePath_;  // symbol starts decoded from before the damage  // (cut back, gap) tied best
    uint64_t deepTrim_ = 0;  // bytes a deeper cut back removes beyond the usual one
    uint64_t deepBit_ = 0;   // the bit where that deeper cut back resumes decoding
    std::vector<uint8_t> gapBytes_, gapKnown_;
    std::vector<uint32_t> junctions_;
    std::vector<uint16_t> pairs_;  // byte pair counts of the history

    uint32_t damageEvents_ = 0;
    uint64_t bitsSkipped_ = 0;
    bool ended_ = false;
    bool truncated_ = false;
    bool capped_ = false;
};

}  // namespace

TolerantResult inflateTolerant(ByteSpan compressed, uint64_t outputCap, bool textContent) {
    std::span<const uint8_t> in;
    if (!compressed.absent())
        in = std::span<const uint8_t>(compressed.data, compressed.length);
    TolerantDecoder decoder(in, outputCap, textContent);
    return decoder.run();
}

}  // namespace morvel
