#include "docx/deflate_cut_stream.h"

#include <algorithm>

#include "docx/deflate_flip_decoder.h"
#include "docx/deflate_flip_judge.h"
#include "docx/zlib_block_stop.h"

#include <zlib.h>

namespace morvel {
namespace {

// The most bits one step of decoding reads: a length code with its extra bits and a
// distance code with its extra bits. A stream that breaks this close to the end of its data
// broke because the data ran out.
constexpr uint64_t kLongestStepBits = 15 + 5 + 15 + 13;
constexpr uint64_t kNotJudged = UINT64_MAX;
// Raw deflate with the largest window, for zlib.
constexpr int kRawWindowBits = 15;
// Bytes handed to zlib at a time: its counts are 32-bit.
constexpr uint64_t kZlibChunk = uint64_t{1} << 30;

// Where the decoding stood before its last step, so that what that step made up from bits
// past the data can be taken back.
class LastStep final : public FlipRecorder {
  public:
    bool mark(const FlipCheckpoint& at, const FlipJudge&) override {
        at_ = at;
        return true;
    }
    const FlipCheckpoint& at() const { return at_; }

  private:
    FlipCheckpoint at_;
};

}  // namespace

bool brokeAtDataEnd(const FlipDecoder& dec, uint64_t dataBytes) {
    return dec.checkpoint().phase == FlipPhase::Stored ||
           dec.bitPos() + kLongestStepBits >= dataBytes * 8;
}

namespace {

// Decodes strictly from where dec stands (the judge having seen every byte before it) to the
// stream's end or break, and tells how it ended.
CutStreamReading finishCut(FlipDecoder& dec, FlipJudge& judge, const std::vector<uint8_t>& in,
                           uint64_t outputCap) {
    CutStreamReading reading;
    const uint64_t totalBits = uint64_t{in.size()} * 8;
    LastStep last;
    // Once the judge finds fault, the data must run out within the tail for the stream to be
    // taken as cut; decoding further would be wasted.
    uint64_t firstJudged = kNotJudged;
    FlipStop stop = FlipStop::Judged;
    while (stop == FlipStop::Judged) {
        stop = dec.run(firstJudged == kNotJudged ? UINT64_MAX : firstJudged + kCutTailBytes, &judge,
                       &last);
        if (stop == FlipStop::Judged && firstJudged == kNotJudged)
            firstJudged = dec.outSize();
    }
    if (stop == FlipStop::End) {
        reading.end = CutStreamEnd::Ended;
        reading.bytes.assign(dec.output(), dec.output() + dec.outSize());
        return reading;
    }
    if (stop != FlipStop::Broken || !brokeAtDataEnd(dec, in.size()))
        return reading;  // ended otherwise, or broke while data was left: damage, not a cut
    const FlipCheckpoint& at = last.at();
    std::vector<uint8_t> bytes;
    if (at.phase == FlipPhase::Stored) {
        // A stored block breaks only where its bytes run out; those present are all real.
        const uint64_t from = std::min<uint64_t>(at.bit / 8, in.size());
        const uint64_t take = std::min<uint64_t>(at.storedLeft, in.size() - from);
        if (at.out + take > outputCap)
            return reading;
        bytes.reserve(at.out + take);
        bytes.assign(dec.output(), dec.output() + at.out);
        for (uint64_t i = from; i < from + take; ++i) {
            bytes.push_back(in[i]);
            const uint64_t before = judge.errors();
            judge.feed(&in[i], 1);
            if (judge.errors() != before && firstJudged == kNotJudged)
                firstJudged = bytes.size();
        }
    } else {
        // A step that read past the data decoded zeros that were never there.
        const uint64_t keep = dec.bitPos() > totalBits ? at.out : dec.outSize();
        bytes.assign(dec.output(), dec.output() + keep);
    }
    if (firstJudged != kNotJudged && firstJudged + kCutTailBytes < bytes.size())
        return reading;
    reading.end = CutStreamEnd::Cut;
    reading.bytes = std::move(bytes);
    return reading;
}

// What a fast inflation of the stream found: its output up to where the data ran out, and
// the last block boundary it passed.
struct FastPrefix {
    bool ranOut = false;  // no error and no end before the data ran out, output under the cap
    std::vector<uint8_t> out;
    uint64_t boundaryBit = 0;  // where the boundary's next block header starts
    uint64_t boundaryOut = 0;  // output before it
};

// Inflates with zlib block by block. Its rules for valid deflate data are those of the strict
// decoder, so the strict decoder, started at a boundary zlib passed, goes on exactly as it
// would have after decoding everything before it.
FastPrefix inflatePrefix(const std::vector<uint8_t>& in, uint64_t outputCap) {
    FastPrefix prefix;
    z_stream zs{};
    if (inflateInit2(&zs, -kRawWindowBits) != Z_OK)
        return prefix;
    zs.next_in = const_cast<Bytef*>(in.data());
    uint64_t inLeft = in.size();
    prefix.out.resize(std::min<uint64_t>(outputCap, std::max<uint64_t>(in.size() * 4, 1 << 16)));
    uint64_t outLen = 0;
    int rc = Z_OK;
    for (;;) {
        if (outLen == prefix.out.size()) {
            if (outLen >= outputCap)
                break;  // the cap: the strict decoder says what that means
            prefix.out.resize(std::min<uint64_t>(outputCap, outLen * 2));
        }
        const uInt inChunk = static_cast<uInt>(std::min<uint64_t>(inLeft, kZlibChunk));
        const uInt outChunk =
            static_cast<uInt>(std::min<uint64_t>(prefix.out.size() - outLen, kZlibChunk));
        zs.avail_in = inChunk;
        zs.next_out = prefix.out.data() + outLen;
        zs.avail_out = outChunk;
        rc = inflate(&zs, Z_BLOCK);
        inLeft -= inChunk - zs.avail_in;
        outLen += outChunk - zs.avail_out;
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            break;  // the end or an error: only a stream that merely runs out is taken fast
        // At the end of a block that is not the last, before the next header.
        if (const auto bit = nextBlockBit(zs.data_type, in.size() - inLeft)) {
            prefix.boundaryBit = *bit;
            prefix.boundaryOut = outLen;
        }
        if (inLeft == 0 && zs.avail_out != 0) {
            prefix.ranOut = outLen < outputCap;
            break;
        }
    }
    inflateEnd(&zs);
    prefix.out.resize(outLen);
    return prefix;
}

}  // namespace

CutStreamReading decodeCutStreamStrict(ByteSpan compressed, bool markup, uint64_t outputCap) {
    if (compressed.absent() || compressed.empty() || outputCap == 0)
        return {};
    const std::vector<uint8_t> in(compressed.begin(), compressed.end());
    FlipDecoder dec(in, outputCap);
    FlipJudge judge(markup, true);
    return finishCut(dec, judge, in, outputCap);
}

CutStreamReading decodeCutStream(ByteSpan compressed, bool markup, uint64_t outputCap) {
    if (compressed.absent() || compressed.empty() || outputCap == 0)
        return {};
    const std::vector<uint8_t> in(compressed.begin(), compressed.end());
    FastPrefix prefix = inflatePrefix(in, outputCap);
    FlipJudge judge(markup, true);
    if (prefix.ranOut && prefix.boundaryOut > 0) {
        judge.feed(prefix.out.data(), prefix.boundaryOut);
        // A fault before the boundary needs the exact step it showed in: decode it all.
        if (judge.errors() == 0) {
            FlipDecoder dec(in, outputCap);
            FlipCheckpoint at;
            at.bit = prefix.boundaryBit;
            at.out = prefix.boundaryOut;
            at.header = prefix.boundaryBit;
            at.phase = FlipPhase::Header;
            dec.restore(at);
            std::copy(prefix.out.begin(), prefix.out.begin() + static_cast<ptrdiff_t>(at.out),
                      dec.output());
            prefix = FastPrefix{};
            return finishCut(dec, judge, in, outputCap);
        }
        judge = FlipJudge(markup, true);
    }
    prefix = FastPrefix{};
    FlipDecoder dec(in, outputCap);
    return finishCut(dec, judge, in, outputCap);
}

}  // namespace morvel
