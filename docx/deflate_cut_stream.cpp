#include "docx/deflate_cut_stream.h"

#include <algorithm>

#include "docx/deflate_flip_decoder.h"
#include "docx/deflate_flip_judge.h"

namespace morvel {
namespace {

// The most bits one step of decoding reads: a length code with its extra bits and a
// distance code with its extra bits. A stream that breaks this close to the end of its data
// broke because the data ran out.
constexpr uint64_t kLongestStepBits = 15 + 5 + 15 + 13;
constexpr uint64_t kNotJudged = UINT64_MAX;

// Where the decoding stood before its last step, so that what that step made up from bits
// past the data can be taken back.
class LastStep final : public FlipRecorder {
  public:
    void mark(const FlipCheckpoint& at, const FlipJudge&) override { at_ = at; }
    const FlipCheckpoint& at() const { return at_; }

  private:
    FlipCheckpoint at_;
};

}  // namespace

bool brokeAtDataEnd(const FlipDecoder& dec, uint64_t dataBytes) {
    return dec.checkpoint().phase == FlipPhase::Stored ||
           dec.bitPos() + kLongestStepBits >= dataBytes * 8;
}

CutStreamReading decodeCutStream(ByteSpan compressed, bool markup, uint64_t outputCap) {
    CutStreamReading reading;
    if (compressed.absent() || compressed.empty() || outputCap == 0)
        return reading;
    const std::vector<uint8_t> in(compressed.begin(), compressed.end());
    const uint64_t totalBits = uint64_t{in.size()} * 8;
    FlipDecoder dec(in, outputCap);
    FlipJudge judge(markup, true);
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

}  // namespace morvel
