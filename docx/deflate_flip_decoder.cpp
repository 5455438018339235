#include "docx/deflate_flip_decoder.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "docx/deflate_format.h"
#include "platform/le_reader.h"

namespace morvel {
namespace {

using namespace deflate;

// Lookup tables: codes up to this many bits resolve in one step, longer ones in two.
constexpr unsigned kLitBits = 10;
constexpr unsigned kDistBits = 8;
constexpr unsigned kCodeLenBits = 7;
// An entry is a symbol and its code length, a link to a second-level table (its offset and
// index width), or invalid.
constexpr uint32_t kLink = 0x80000000u;
constexpr uint32_t kInvalid = 0x40000000u;
constexpr unsigned kLinkShift = 4;
constexpr uint32_t kLinkBitsMask = 0xF;
// A stored block's bytes are taken in pieces of this size, each a point to go on from.
constexpr uint32_t kStoredPiece = 256;

// Builds a decoding table from code lengths. A code must be complete, except that a literal
// or distance code may hold a single one-bit code or (distance) none at all, as zlib allows.
bool buildTable(std::span<const uint8_t> lens, unsigned primary, bool codeLengths,
                std::vector<uint32_t>& table) {
    std::array<uint16_t, kMaxCodeBits + 1> count{};
    for (uint8_t l : lens)
        ++count[l];
    count[0] = 0;
    unsigned maxLen = 0;
    for (unsigned l = 1; l <= kMaxCodeBits; ++l)
        if (count[l])
            maxLen = l;
    table.assign(size_t{1} << primary, kInvalid);
    if (maxLen == 0)
        return !codeLengths;
    int left = 1;
    for (unsigned l = 1; l <= kMaxCodeBits; ++l) {
        left = left * 2 - count[l];
        if (left < 0)
            return false;
    }
    if (left > 0 && (codeLengths || maxLen != 1))
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
        const unsigned len = lens[sym];
        if (len == 0)
            continue;
        const uint32_t c = next[len]++;
        uint32_t rev = 0;
        for (unsigned i = 0; i < len; ++i)
            rev |= ((c >> i) & 1u) << (len - 1 - i);
        const uint32_t entry = (static_cast<uint32_t>(sym) << 8) | len;
        if (len <= primary) {
            for (uint32_t i = rev; i <= primaryMask; i += 1u << len)
                table[i] = entry;
            continue;
        }
        const uint32_t prefix = rev & primaryMask;
        if ((table[prefix] & kLink) == 0) {
            const auto offset = static_cast<uint32_t>(table.size());
            table[prefix] = kLink | (offset << kLinkShift) | subBits;
            table.resize(table.size() + (size_t{1} << subBits), kInvalid);
        }
        const uint32_t offset = (table[prefix] & ~kLink) >> kLinkShift;
        const unsigned rest = len - primary;
        for (uint32_t i = rev >> primary; i < (1u << subBits); i += 1u << rest)
            table[offset + i] = entry;
    }
    return true;
}

}  // namespace

FlipDecoder::FlipDecoder(const std::vector<uint8_t>& input, uint64_t outputCap)
    : in_(input), totalBits_(uint64_t{input.size()} * 8), cap_(outputCap) {
    std::array<uint8_t, kNumLitLen> lit{};
    std::fill(lit.begin(), lit.begin() + 144, 8);
    std::fill(lit.begin() + 144, lit.begin() + 256, 9);
    std::fill(lit.begin() + 256, lit.begin() + 280, 7);
    std::fill(lit.begin() + 280, lit.end(), 8);
    std::array<uint8_t, kNumDist> dist{};
    dist.fill(5);
    buildTable(lit, kLitBits, false, fixed_.lit);
    buildTable(dist, kDistBits, false, fixed_.dist);
    seek(0);
}

void FlipDecoder::seek(uint64_t bit) {
    bytePos_ = bit >> 3;
    buf_ = 0;
    count_ = 0;
    refill();
    drop(static_cast<unsigned>(bit & 7));
}

void FlipDecoder::refill() {
    if (count_ >= 56)
        return;
    if (bytePos_ + 8 <= in_.size()) {
        buf_ |= readU64LE(std::span<const uint8_t>(in_), bytePos_) << count_;
        const unsigned n = (63 - count_) >> 3;
        bytePos_ += n;
        count_ += n * 8;
        return;
    }
    // Past the end bits read as zeros; overrun() tells a decoding that used them.
    while (count_ <= 56) {
        const uint64_t b = bytePos_ < in_.size() ? in_[bytePos_] : 0;
        buf_ |= b << count_;
        ++bytePos_;
        count_ += 8;
    }
}

uint32_t FlipDecoder::bits(unsigned n) {
    refill();
    const auto v = static_cast<uint32_t>(buf_ & ((uint64_t{1} << n) - 1));
    drop(n);
    return v;
}

bool FlipDecoder::decodeSymbol(const std::vector<uint32_t>& table, unsigned primary,
                               uint32_t& sym) {
    refill();
    uint32_t e = table[buf_ & ((1u << primary) - 1)];
    if (e & kLink) {
        const uint32_t offset = (e & ~kLink) >> kLinkShift;
        const uint32_t sub = e & kLinkBitsMask;
        e = table[offset + ((buf_ >> primary) & ((1u << sub) - 1))];
    }
    if (e == kInvalid)
        return false;
    drop(e & 0xFF);
    sym = e >> 8;
    return true;
}

bool FlipDecoder::readDynamic(Tables& t) {
    const unsigned nlen = bits(5) + 257;
    const unsigned ndist = bits(5) + 1;
    const unsigned ncode = bits(4) + 4;
    if (nlen > kMaxLitLenCodes || ndist > kMaxDistCodes)
        return false;
    std::array<uint8_t, kNumCodeLen> clens{};
    for (unsigned i = 0; i < ncode; ++i)
        clens[kCodeLenOrder[i]] = static_cast<uint8_t>(bits(3));
    std::vector<uint32_t> clTable;
    if (!buildTable(clens, kCodeLenBits, true, clTable))
        return false;
    std::array<uint8_t, kMaxLitLenCodes + kMaxDistCodes> lens{};
    unsigned n = 0;
    while (n < nlen + ndist) {
        uint32_t sym = 0;
        if (!decodeSymbol(clTable, kCodeLenBits, sym))
            return false;
        if (sym < 16) {
            lens[n++] = static_cast<uint8_t>(sym);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat = 0;
        if (sym == 16) {
            if (n == 0)
                return false;
            value = lens[n - 1];
            repeat = 3 + bits(2);
        } else if (sym == 17) {
            repeat = 3 + bits(3);
        } else {
            repeat = 11 + bits(7);
        }
        if (n + repeat > nlen + ndist)
            return false;
        std::fill(lens.begin() + n, lens.begin() + n + repeat, value);
        n += repeat;
    }
    if (overrun() || lens[kEndOfBlock] == 0)
        return false;
    return buildTable(std::span<const uint8_t>(lens.data(), nlen), kLitBits, false, t.lit) &&
           buildTable(std::span<const uint8_t>(lens.data() + nlen, ndist), kDistBits, false,
                      t.dist);
}

const FlipDecoder::Tables* FlipDecoder::cachedTables(uint64_t header) const {
    for (const Tables& t : cache_)
        if (t.header == header)
            return &t;
    return nullptr;
}

void FlipDecoder::forgetTables() {
    for (Tables& t : cache_)
        t.header = UINT64_MAX;
    scratch_.header = UINT64_MAX;
    tables_ = nullptr;
}

// Reads a block header at the current bit; the phase and tables then describe the block.
bool FlipDecoder::readHeader() {
    header_ = bitPos();
    last_ = bits(1) != 0;
    const unsigned type = bits(2);
    if (type == kStoredType) {
        drop(count_ & 7);  // to the byte boundary: count_ ends on one, as the reader loads bytes
        const uint32_t len = bits(16);
        const uint32_t nlen = bits(16);
        if (len != (~nlen & 0xFFFF) || overrun())
            return false;
        storedLeft_ = len;
        phase_ = FlipPhase::Stored;
        return true;
    }
    if (type == kFixedType) {
        tables_ = &fixed_;
    } else if (type == kDynamicType) {
        if (const Tables* kept = trial_ ? nullptr : cachedTables(header_)) {
            // Parse anyway to reach the data; the kept tables save the building.
            Tables scratch;
            if (!readDynamic(scratch))
                return false;
            tables_ = kept;
        } else {
            Tables& t = trial_ ? scratch_ : cache_[nextCache_];
            if (!trial_)
                nextCache_ = (nextCache_ + 1) % kCachedTables;
            t.header = UINT64_MAX;
            if (!readDynamic(t))
                return false;
            t.header = trial_ ? UINT64_MAX : header_;
            tables_ = &t;
        }
    } else {
        return false;
    }
    phase_ = FlipPhase::Codes;
    return !overrun();
}

FlipCheckpoint FlipDecoder::checkpoint() const {
    FlipCheckpoint cp;
    cp.bit = bitPos();
    cp.out = outLen_;
    cp.header = header_;
    cp.storedLeft = storedLeft_;
    cp.phase = phase_;
    cp.last = last_;
    return cp;
}

void FlipDecoder::restore(const FlipCheckpoint& cp) {
    // The caller keeps the output before cp.out as it was when cp was taken.
    if (cp.out > out_.size())
        out_.resize(cp.out);
    outLen_ = cp.out;
    pendingEnd_ = UINT64_MAX;
    header_ = cp.header;
    storedLeft_ = cp.storedLeft;
    phase_ = cp.phase;
    last_ = cp.last;
    tables_ = nullptr;
    if (phase_ == FlipPhase::Codes) {
        // The header lies before cp.bit, so its bytes are the ones it was first read from and
        // its tables may be kept for good.
        const Tables* kept = cachedTables(cp.header);
        if (kept == nullptr) {
            seek(cp.header);
            const bool trial = trial_;
            trial_ = false;
            if (readHeader())
                kept = tables_;
            trial_ = trial;
        }
        tables_ = kept;
        header_ = cp.header;
        storedLeft_ = cp.storedLeft;
        phase_ = FlipPhase::Codes;
        last_ = cp.last;
    }
    seek(cp.bit);
}

bool FlipDecoder::reserve(uint64_t n) {
    if (outLen_ + n <= out_.size())
        return true;
    const uint64_t limit = cap_ + kMaxMatch;
    if (outLen_ + n > limit)
        return false;
    uint64_t size = std::max<uint64_t>(out_.size() * 2, uint64_t{1} << 16);
    size = std::min(std::max(size, outLen_ + n), limit);
    out_.resize(size);
    return true;
}

FlipStop FlipDecoder::run(uint64_t outLimit, FlipJudge* judge, FlipRecorder* recorder) {
    const FlipJudge fallbackJudge;
    const uint64_t errorsAtStart = judge ? judge->errors() : 0;
    auto judged = [&](uint64_t from) {
        if (!judge)
            return false;
        judge->feed(out_.data() + from, outLen_ - from);
        return judge->errors() != errorsAtStart;
    };
    for (;;) {
        if (work_ >= workLimit_)
            return FlipStop::OutOfWork;
        if (outLen_ >= outLimit)
            return FlipStop::Limit;
        if (outLen_ >= cap_)
            return FlipStop::Capped;
        if (recorder && !recorder->mark(checkpoint(), judge ? *judge : fallbackJudge))
            return FlipStop::Rejoined;
        if (phase_ == FlipPhase::Header) {
            work_ += 16;
            if (!readHeader())
                return FlipStop::Broken;
            continue;
        }
        if (phase_ == FlipPhase::Stored) {
            if (storedLeft_ == 0) {
                if (last_)
                    return FlipStop::End;
                phase_ = FlipPhase::Header;
                continue;
            }
            // Whole bytes: the reader holds some already; take them, then copy the rest.
            const uint32_t n = std::min(storedLeft_, kStoredPiece);
            if (!reserve(n))
                return FlipStop::Capped;
            const uint64_t from = outLen_;
            uint32_t done = 0;
            while (done < n && count_ >= 8) {
                out_[outLen_++] = static_cast<uint8_t>(bits(8));
                ++done;
            }
            if (overrun())
                return FlipStop::Broken;
            if (done < n) {
                if (bytePos_ + (n - done) > in_.size())
                    return FlipStop::Broken;
                std::memcpy(out_.data() + outLen_, in_.data() + bytePos_, n - done);
                outLen_ += n - done;
                bytePos_ += n - done;
            }
            storedLeft_ -= n;
            work_ += n;
            if (judged(from))
                return FlipStop::Judged;
            continue;
        }
        if (pendingEnd_ < outLen_) {
            shortMatches_ += out_[pendingEnd_] == out_[pendingEnd_ - pendingDist_];
            pendingEnd_ = UINT64_MAX;
        }
        uint32_t sym = 0;
        if (tables_ == nullptr || !decodeSymbol(tables_->lit, kLitBits, sym))
            return FlipStop::Broken;
        ++work_;
        if (sym < kEndOfBlock) {
            if (!reserve(1))
                return FlipStop::Capped;
            out_[outLen_++] = static_cast<uint8_t>(sym);
            if (overrun())
                return FlipStop::Broken;
            if (judged(outLen_ - 1))
                return FlipStop::Judged;
            continue;
        }
        if (sym == kEndOfBlock) {
            if (overrun())
                return FlipStop::Broken;
            if (last_)
                return FlipStop::End;
            phase_ = FlipPhase::Header;
            continue;
        }
        if (sym > kMaxLitLenCodes - 1)
            return FlipStop::Broken;
        const unsigned li = sym - kEndOfBlock - 1;
        const uint32_t len = kLengthBase[li] + bits(kLengthExtra[li]);
        uint32_t dsym = 0;
        if (!decodeSymbol(tables_->dist, kDistBits, dsym) || dsym >= kMaxDistCodes)
            return FlipStop::Broken;
        const uint32_t dist = kDistBase[dsym] + bits(kDistExtra[dsym]);
        if (dist > outLen_ || overrun())
            return FlipStop::Broken;
        if (!reserve(len))
            return FlipStop::Capped;
        uint8_t* o = out_.data();
        const uint64_t from = outLen_;
        if (dist >= len) {
            std::memcpy(o + outLen_, o + outLen_ - dist, len);
        } else {
            for (uint32_t i = 0; i < len; ++i)
                o[outLen_ + i] = o[outLen_ + i - dist];
        }
        outLen_ += len;
        work_ += len;
        if (len < kMaxMatch) {
            pendingEnd_ = outLen_;
            pendingDist_ = dist;
        }
        if (judged(from))
            return FlipStop::Judged;
    }
}

}  // namespace morvel
