#include "docx/deflate_salvage.h"

#include "docx/tolerant_inflate.h"

#include <zlib.h>

#include <algorithm>
#include <optional>

#include "docx/deflate_salvage_probe.h"

namespace morvel {
namespace {

constexpr uInt kWindowSize = 32768;
constexpr int kRawDeflate = -15;
// Two decoders run side by side after a resync, one with a window of kPlaceholderA bytes and
// one of kPlaceholderB: a byte is known exactly when both give the same value, so real NUL
// bytes survive and copies of copies of lost history are still recognised.
constexpr uint8_t kPlaceholderA = 0x00;
constexpr uint8_t kPlaceholderB = 0x01;
constexpr uInt kChunk = 4096;       // output per inflate call
constexpr uInt kTrialChunk = 1024;  // smaller on trial, so a false start is dropped early
// A candidate block start is believed once whole blocks from it gave this many known bytes
// and the next block starts well too.
constexpr uint64_t kTrialMinKnown = 64;
constexpr uint64_t kTrialCutMinKnown = 256;  // ... or this many when the data ends first
constexpr unsigned kTrialMaxBlocks = 4;
constexpr uint64_t kTrialMaxInput = 256 * 1024;
constexpr uint64_t kTrialMaxOutput = 1024 * 1024;
constexpr uint64_t kNearEndBits = 64;  // a block ending this close to the data's end needs no
                                       // successor
// Text judgement: bad bytes allowed per byte of output on trial, and in a decoded chunk before
// the output counts as damage (a chunk is judged from kJudgeMinBytes known bytes).
constexpr uint64_t kTrialBadDenominator = 16;
constexpr uint64_t kDamageBadDenominator = 4;
constexpr uint64_t kJudgeMinBytes = 512;
// The content kind is read from the first bytes of a clean start.
constexpr uint64_t kKindSampleBytes = 4096;
constexpr uint64_t kKindMinSample = 256;
constexpr uint64_t kKindBadDenominator = 8;
// Damage can also decode without any error into text-like noise (the codes of a block are
// complete, so every bit pattern means something). In markup that noise breaks the syntax at
// once; a chunk with broken markup leads to a check of the input decoded since the last good
// chunk: for a block start the decoder ran past, or for its own block start after which the
// history it copies from is noise. This many syntax errors in a chunk break it (real markup,
// as in every text part of a package, has none).
constexpr uint64_t kMarkupErrorsSuspect = 2;
constexpr uint64_t kMarkupTagShare = 100;  // markup has a '<' in every hundred bytes or more
// A block longer than kLongBlockFactor times the longest so far (and than kLongBlockMinBits)
// is searched for real block starts the decoder may have run past.
constexpr uint64_t kLongBlockMinBits = 64 * 1024 * 8;
constexpr uint64_t kLongBlockFactor = 2;
// A run of this many equal input bytes is a wiped region (zeros, 0xFF) rather than deflate
// data; output decoded from it is dropped if an error follows within kFillBlocks blocks.
constexpr size_t kFillRun = 64;
constexpr unsigned kFillBlocks = 4;
// Bytes after the end of the stream that may be a data descriptor rather than more blocks.
constexpr uint64_t kTrailingSlack = 64;
// Search budget in work units (a bit position probed, a symbol examined, a byte decoded on
// trial): per input byte, plus a base so small inputs still get a fair search.
constexpr uint64_t kWorkPerByte = 64;
constexpr uint64_t kWorkBase = uint64_t{1} << 24;
constexpr uint64_t kTrialSetupWork = kWindowSize;
constexpr uint8_t kZipSignature0 = 'P';
constexpr uint8_t kZipSignature1 = 'K';
constexpr int kAtBlockBoundary = 128;  // inflate's data_type flag
constexpr int kHeldBitsMask = 63;      // inflate's data_type: bits held, not yet used

// One raw inflater, released by the destructor.
class Inflater {
  public:
    Inflater() { ready_ = inflateInit2(&s_, kRawDeflate) == Z_OK; }
    ~Inflater() {
        if (ready_)
            inflateEnd(&s_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Positions the inflater at bit `bit` of data, with the given window as history
    // (none at the start of a stream).
    bool start(ByteSpan data, uint64_t bit, const std::vector<uint8_t>* window) {
        if (!ready_ || inflateReset(&s_) != Z_OK)
            return false;
        if (window && inflateSetDictionary(&s_, window->data(), kWindowSize) != Z_OK)
            return false;
        uint64_t byte = bit >> 3;
        const unsigned skip = bit & 7;
        if (skip != 0) {
            if (inflatePrime(&s_, static_cast<int>(8 - skip), data.data[byte] >> skip) != Z_OK)
                return false;
            ++byte;
        }
        data_ = data;
        offset_ = byte;
        return true;
    }

    // Inflates from the current offset up to byte `limit`, into out[0, room).
    int step(uint64_t limit, uint8_t* out, uInt room, uInt& produced) {
        s_.next_in = const_cast<Bytef*>(data_.data) + offset_;
        s_.avail_in = static_cast<uInt>(limit - offset_);
        s_.next_out = out;
        s_.avail_out = room;
        const int rc = inflate(&s_, Z_BLOCK);
        offset_ = limit - s_.avail_in;
        produced = room - s_.avail_out;
        return rc;
    }

    uint64_t offset() const { return offset_; }
    bool atBlockBoundary() const { return (s_.data_type & kAtBlockBoundary) != 0; }
    // The bit position of the next unread bit.
    uint64_t bitPos() const { return offset_ * 8 - (s_.data_type & kHeldBitsMask); }

  private:
    z_stream s_{};
    bool ready_ = false;
    ByteSpan data_;
    uint64_t offset_ = 0;
};

// The two inflaters of one decoding and their output buffers.
struct Lane {
    Inflater a, b;
    std::vector<uint8_t> outA = std::vector<uint8_t>(kChunk);
    std::vector<uint8_t> outB = std::vector<uint8_t>(kChunk);
};

enum class End { Finished, Cut, Capped, Damaged, Rejected, Accepted, Failed };
enum class Mode { Decode, Verify };

struct Outcome {
    End end = End::Failed;
    uint64_t searchFrom = 0;           // Damaged: where the search for the next block start begins
    std::optional<uint64_t> resumeAt;  // Damaged: a block start already found and checked
    uint64_t after = 0;                // Finished: the bit after the stream's end
    uint64_t lastBlock = 0;
};

class Salvager {
  public:
    Salvager(ByteSpan in, uint64_t cap, SalvagedStream& out) : in_(in), cap_(cap), out_(out) {
        budget_ = kWorkBase + kWorkPerByte * in.length;
        findFills();
    }

    void run() {
        Outcome o = decodeFrom(main_, 0, Mode::Decode, false);
        for (;;) {
            uint64_t searchFrom;
            if (o.end == End::Finished) {
                if (out_.gaps == 0 && out_.firstDamage == SalvagedStream::kNoDamage)
                    out_.complete = true;
                if (!damageAfterEnd(o.after))
                    return;
                searchFrom = o.lastBlock + 1;
            } else if (o.end == End::Damaged) {
                if (out_.firstDamage == SalvagedStream::kNoDamage)
                    out_.firstDamage = o.searchFrom >> 3;
                searchFrom = o.searchFrom;
                if (o.resumeAt) {
                    Outcome next = decodeFrom(main_, *o.resumeAt, Mode::Decode, true);
                    if (next.end != End::Rejected) {
                        o = next;
                        continue;
                    }
                    searchFrom = *o.resumeAt + 1;
                }
            } else {
                return;
            }
            std::optional<Outcome> found = search(searchFrom, UINT64_MAX, Mode::Decode);
            if (!found && !kindKnown_ && !out_.searchStopped) {
                // Nothing decoded before the damage to tell text from binary, and nothing
                // text-like after it: look again for blocks of any content.
                kind_ = ContentKind::Binary;
                kindKnown_ = true;
                found = search(searchFrom, UINT64_MAX, Mode::Decode);
            }
            if (!found)
                return;
            o = *found;
        }
    }

  private:
    // Input bytes after a clean end that are neither a descriptor nor another ZIP record
    // suggest the end itself was decoded from damage.
    bool damageAfterEnd(uint64_t after) const {
        const uint64_t next = (after + 7) >> 3;
        if (next + kTrailingSlack >= in_.length)
            return false;
        return !(in_.data[next] == kZipSignature0 && in_.data[next + 1] == kZipSignature1);
    }

    void findFills() {
        size_t runStart = 0;
        for (size_t i = 1; i <= in_.length; ++i) {
            if (i < in_.length && in_.data[i] == in_.data[runStart])
                continue;
            if (i - runStart >= kFillRun)
                fills_.push_back(runStart);
            runStart = i;
        }
    }

    // Looks for the first bit in [from, to) where a block starts that decodes well; decoding
    // goes on from there (Decode) or only the start is reported (Verify, in resumeAt).
    // `skip` lists block starts that are no evidence (the decoder's own).
    std::optional<Outcome> search(uint64_t from, uint64_t to, Mode mode,
                                  const std::vector<uint64_t>* skip = nullptr) {
        const uint64_t totalBits = static_cast<uint64_t>(in_.length) * 8;
        to = std::min(to, totalBits >= 3 ? totalBits - 2 : 0);
        for (uint64_t p = from; p < to; ++p) {
            if (work_ >= budget_) {
                out_.searchStopped = true;
                return std::nullopt;
            }
            const BlockProbe probe = probeBlock(in_, p, kind_);
            work_ += probe.work;
            if (probe.kind == BlockKind::None)
                continue;
            if (skip && std::binary_search(skip->begin(), skip->end(), p))
                continue;
            Outcome o = decodeFrom(mode == Mode::Verify ? check_ : main_, p, mode, true);
            if (o.end == End::Rejected)
                continue;
            if (mode == Mode::Verify)
                o.resumeAt = p;
            return o;
        }
        return std::nullopt;
    }

    // A candidate on trial is believed when its whole blocks gave enough plausible bytes and
    // the block after them starts well too.
    bool believable(uint64_t known, const TextMeter& meter, uint64_t boundary) {
        if (known < kTrialMinKnown || !textOk(meter, kTrialBadDenominator))
            return false;
        const uint64_t totalBits = static_cast<uint64_t>(in_.length) * 8;
        if (totalBits - boundary < kNearEndBits)
            return true;
        const BlockProbe next = probeBlock(in_, boundary, kind_);
        work_ += next.work;
        return next.kind != BlockKind::None;
    }

    bool textOk(const TextMeter& meter, uint64_t denominator) const {
        return kind_ == ContentKind::Binary || meter.plausible(1, denominator);
    }

    void settleKind(const TextMeter& sample, bool final) {
        if (kindKnown_ || (!final && sample.bytes() < kKindSampleBytes))
            return;
        if (sample.bytes() < kKindMinSample)
            return;  // too little to tell: a damaged start, judged later by what follows
        kindKnown_ = true;
        if (sample.bytes() >= kKindMinSample && !sample.plausible(1, kKindBadDenominator))
            kind_ = ContentKind::Binary;
        settleMarkup(0);
    }

    // Markup if the decoded text from `from` on opens with a tag and has no syntax error.
    void settleMarkup(size_t from) {
        if (kind_ != ContentKind::Text || markupKnown_ || out_.bytes.size() - from < kKindMinSample)
            return;
        markupKnown_ = true;
        const size_t end = std::min(out_.bytes.size(), from + kKindSampleBytes);
        size_t first = from;
        while (first < end && (out_.bytes[first] == ' ' || out_.bytes[first] == '\n' ||
                               out_.bytes[first] == '\r' || out_.bytes[first] >= 0x80))
            ++first;
        MarkupMeter meter;
        uint64_t tags = 0;
        for (size_t i = first; i < end; ++i) {
            meter.feed(out_.bytes[i]);
            tags += out_.bytes[i] == '<';
        }
        markup_ = meter.errors() == 0 && tags * kMarkupTagShare >= end - first;
    }

    void emit(uint8_t b) {
        if (out_.bytes.size() < cap_)
            out_.bytes.push_back(b);
    }

    uint64_t longBlockBits() const {
        return std::max(kLongBlockMinBits, kLongBlockFactor * maxBlockBits_);
    }

    void makeWindows() {
        if (windowA_.empty()) {
            windowA_.assign(kWindowSize, kPlaceholderA);
            windowB_.assign(kWindowSize, kPlaceholderB);
        }
    }

    // Decodes from bit `bit`. Without `resync` this is the stream's start; with it, history is
    // unknown and the start is on trial until its first blocks prove it.
    // Verify only tries the start and reports Accepted or Rejected.
    Outcome decodeFrom(Lane& lane, uint64_t bit, Mode mode, bool resync) {
        bool trial = resync;
        bool dual = resync;
        Outcome fail;
        fail.end = trial ? End::Rejected : End::Failed;
        if (resync) {
            work_ += kTrialSetupWork;
            makeWindows();
        }
        if (!lane.a.start(in_, bit, resync ? &windowA_ : nullptr) ||
            (dual && !lane.b.start(in_, bit, &windowB_)))
            return fail;

        std::vector<uint8_t> pending;
        TextMeter trialMeter, kindSample;
        uint64_t known = 0, unknown = 0, segOut = 0, lastUnknownEnd = 0;
        uint64_t blockStart = bit;
        uint64_t trustedFrom = bit;  // a block start before any damage met here
        size_t lastGoodOut = out_.bytes.size();
        std::vector<uint64_t> ownBlocks;  // block starts met since trustedFrom
        std::vector<size_t> ownOut;       // ... and the output size at each
        uint64_t lastGoodBit = bit;       // input read when the last good chunk ended
        MarkupMeter markupMeter;
        size_t lastTagOut = 0;   // output size when the last '<' came
        uint64_t scannedTo = 0;  // input already searched after broken markup
        unsigned blocks = 0;
        const uint64_t startOffset = lane.a.offset();
        auto fill = std::lower_bound(fills_.begin(), fills_.end(), startOffset);
        struct FillMark {
            uint64_t block;
            size_t outSize;
            unsigned blocksAtMark;
        };
        std::optional<FillMark> mark;

        auto finish = [&](End end) {
            if (resync && !trial)
                out_.unknownBytes += unknown;
            Outcome o;
            o.end = end;
            o.after = lane.a.bitPos();
            o.lastBlock = blockStart;
            o.searchFrom = trustedFrom + 1;
            if (end == End::Damaged && mark && blocks - mark->blocksAtMark <= kFillBlocks) {
                // The error follows a wiped region: what was decoded from it is noise.
                out_.bytes.resize(std::min(out_.bytes.size(), mark->outSize));
                o.searchFrom = std::min(trustedFrom, mark->block) + 1;
            }
            if (!resync)
                settleKind(kindSample, true);
            return o;
        };
        // Ends a trial: the candidate is a real block start.
        auto commit = [&]() {
            const size_t from = out_.bytes.size();
            out_.gapOffsets.push_back(from);
            for (uint8_t b : pending)
                emit(b);
            if (!kindKnown_) {
                kindKnown_ = true;  // a damaged start: judged by what decodes after it
                settleMarkup(from);
            }
            pending.clear();
            pending.shrink_to_fit();
            lastGoodOut = out_.bytes.size();
            out_.gaps += 1;
            out_.complete = false;
            trial = false;
        };

        for (;;) {
            const uint64_t pos = lane.a.offset();
            while (fill != fills_.end() && *fill <= pos) {
                if (*fill == pos && !trial)
                    mark = FillMark{blockStart, out_.bytes.size(), blocks};
                ++fill;
            }
            const uint64_t limit = fill != fills_.end() ? *fill : in_.length;
            const uInt room = trial ? kTrialChunk : kChunk;
            uInt produced = 0, producedB = 0;
            const uint64_t blockAtChunk = blockStart;
            const int rc = lane.a.step(limit, lane.outA.data(), room, produced);
            if (dual) {
                const int rcB = lane.b.step(limit, lane.outB.data(), room, producedB);
                if (rcB != rc || producedB != produced || lane.b.offset() != lane.a.offset())
                    return finish(trial ? End::Rejected : End::Damaged);
            }
            const uint64_t consumed = lane.a.offset() - pos;

            TextMeter chunkMeter;
            const size_t chunkStart = out_.bytes.size();
            const uint64_t markupErrorsBefore = markupMeter.errors();
            std::optional<size_t> firstBreakOut;  // where the first broken tag of the chunk began
            if (!dual && !trial) {
                // Every byte known: judge them, then append them in one go.
                known += produced;
                if (kind_ == ContentKind::Text) {
                    for (uInt i = 0; i < produced; ++i) {
                        const uint8_t b = lane.outA[i];
                        chunkMeter.feed(b);
                        markupMeter.feed(b);
                        if (b == '<')
                            lastTagOut = chunkStart + i;
                        if (!firstBreakOut && markupMeter.errors() != markupErrorsBefore)
                            firstBreakOut = lastTagOut;
                    }
                }
                if (!resync && !kindKnown_)
                    for (uInt i = 0; i < produced; ++i)
                        kindSample.feed(lane.outA[i]);
                const size_t room = cap_ - std::min<uint64_t>(cap_, out_.bytes.size());
                out_.bytes.insert(out_.bytes.end(), lane.outA.begin(),
                                  lane.outA.begin() + std::min<size_t>(produced, room));
            } else {
                for (uInt i = 0; i < produced; ++i) {
                    const uint8_t b = lane.outA[i];
                    if (dual && b != lane.outB[i]) {
                        ++unknown;
                        lastUnknownEnd = segOut + i + 1;
                        markupMeter.lose();
                        chunkMeter.breakRun();
                        trialMeter.breakRun();
                        continue;
                    }
                    ++known;
                    if (kind_ == ContentKind::Text) {
                        chunkMeter.feed(b);
                        if (trial) {
                            trialMeter.feed(b);
                        } else {
                            markupMeter.feed(b);
                            if (b == '<')
                                lastTagOut = out_.bytes.size();
                            if (!firstBreakOut && markupMeter.errors() != markupErrorsBefore)
                                firstBreakOut = lastTagOut;
                        }
                    }
                    if (!resync && !kindKnown_)
                        kindSample.feed(b);
                    if (trial) {
                        if (mode == Mode::Decode)
                            pending.push_back(b);
                    } else {
                        emit(b);
                    }
                }
            }
            segOut += produced;
            // Once the last window's worth of output is all known, nothing unknown can be
            // reached again and the second decoder has nothing left to tell.
            if (dual && segOut - lastUnknownEnd >= kWindowSize)
                dual = false;
            if (!resync)
                settleKind(kindSample, false);

            if (trial) {
                work_ += consumed + produced;
                if (trialMeter.bytes() >= kTrialMinKnown &&
                    !textOk(trialMeter, kTrialBadDenominator))
                    return finish(End::Rejected);
                if (lane.a.offset() - startOffset > kTrialMaxInput || segOut > kTrialMaxOutput)
                    return finish(End::Rejected);
            } else if (kindKnown_ && kind_ == ContentKind::Text) {
                if (!chunkMeter.plausible(kJudgeMinBytes, kDamageBadDenominator)) {
                    // Decoding ran on without an error but the text turned to noise.
                    out_.bytes.resize(std::max(lastGoodOut, chunkStart));
                    return finish(End::Damaged);
                }
                const bool markupBroken =
                    markup_ && markupMeter.errors() - markupErrorsBefore >= kMarkupErrorsSuspect;
                if (markupBroken) {
                    // Look for a real block start that the decoder ran past unawares.
                    const uint64_t here = lane.a.bitPos();
                    const uint64_t from = std::max(scannedTo, trustedFrom + 1);
                    std::optional<Outcome> found = search(from, here, Mode::Verify, &ownBlocks);
                    scannedTo = here;
                    // Or the decoder found its way back to a real block start after the last
                    // good stretch, yet the markup it decodes past that start is broken:
                    // what it copies from history there is noise.
                    // Keep what came before the first broken tag: the damage lies after it.
                    size_t keep = std::max(lastGoodOut, firstBreakOut.value_or(0));
                    for (size_t i = 0; !found && i < ownBlocks.size(); ++i) {
                        if (ownBlocks[i] > lastGoodBit && ownOut[i] <= chunkStart) {
                            found = Outcome();
                            found->resumeAt = ownBlocks[i];
                            keep = std::min(keep, ownOut[i]);  // decoded again from there
                        }
                    }
                    if (found) {
                        out_.bytes.resize(std::min(keep, out_.bytes.size()));
                        Outcome o = finish(End::Damaged);
                        o.resumeAt = found->resumeAt;
                        return o;
                    }
                } else {
                    lastGoodOut = out_.bytes.size();
                    lastGoodBit = lane.a.bitPos();
                    if (trustedFrom != blockAtChunk) {
                        trustedFrom = blockAtChunk;
                        const auto kept =
                            std::upper_bound(ownBlocks.begin(), ownBlocks.end(), trustedFrom);
                        const auto drop = kept - ownBlocks.begin();
                        ownOut.erase(ownOut.begin(), ownOut.begin() + drop);
                        ownBlocks.erase(ownBlocks.begin(), kept);
                    }
                }
            }

            if (!trial) {
                const uint64_t here = lane.a.bitPos();
                if (here - blockStart > longBlockBits() && here > scannedTo) {
                    // A block far longer than any before: the decoder may have lost its way
                    // and be reading later blocks as this one's codes.
                    std::optional<Outcome> found =
                        search(std::max(scannedTo, blockStart + 1), here, Mode::Verify, &ownBlocks);
                    scannedTo = here;
                    if (found) {
                        Outcome o = finish(End::Damaged);
                        o.resumeAt = found->resumeAt;
                        return o;
                    }
                }
            }

            if (rc == Z_STREAM_END) {
                if (trial) {
                    const uint64_t rest = in_.length - ((lane.a.bitPos() + 7) >> 3);
                    if (!(known >= kTrialMinKnown || (known > 0 && rest <= 8)) ||
                        !textOk(trialMeter, kTrialBadDenominator))
                        return finish(End::Rejected);
                    if (mode == Mode::Verify)
                        return finish(End::Accepted);
                    commit();
                }
                return finish(End::Finished);
            }
            if (rc != Z_OK && rc != Z_BUF_ERROR)
                return finish(trial ? End::Rejected : End::Damaged);
            if (lane.a.atBlockBoundary()) {
                const uint64_t boundary = lane.a.bitPos();
                ++blocks;
                if (trial) {
                    if (believable(known, trialMeter, boundary)) {
                        if (mode == Mode::Verify)
                            return finish(End::Accepted);
                        commit();
                    } else if (blocks >= kTrialMaxBlocks) {
                        return finish(End::Rejected);
                    }
                }
                if (!trial)
                    maxBlockBits_ = std::max(maxBlockBits_, boundary - blockStart);
                blockStart = boundary;
                ownBlocks.push_back(boundary);
                ownOut.push_back(out_.bytes.size());
            } else if (produced == 0 && consumed == 0 && lane.a.offset() == limit) {
                if (limit < in_.length)
                    continue;  // stopped at a wiped region; the mark is taken above
                if (trial) {
                    if (known < kTrialCutMinKnown || !textOk(trialMeter, kTrialBadDenominator))
                        return finish(End::Rejected);
                    if (mode == Mode::Verify)
                        return finish(End::Accepted);
                    commit();
                }
                return finish(End::Cut);
            } else if (produced == 0 && consumed == 0) {
                return finish(trial ? End::Rejected : End::Damaged);
            }
            if (!trial && out_.bytes.size() >= cap_)
                return finish(End::Capped);
        }
    }

    ByteSpan in_;
    uint64_t cap_;
    SalvagedStream& out_;
    Lane main_, check_;
    std::vector<uint8_t> windowA_, windowB_;
    std::vector<uint64_t> fills_;  // input offsets where wiped regions begin
    ContentKind kind_ = ContentKind::Text;
    bool kindKnown_ = false;
    bool markup_ = false;  // the text is XML markup
    bool markupKnown_ = false;
    uint64_t maxBlockBits_ = 0;  // the longest block decoded so far
    uint64_t work_ = 0;
    uint64_t budget_ = 0;
};

}  // namespace

SalvagedStream resumeAtBlocks(ByteSpan compressed, uint64_t outputCap) {
    SalvagedStream result;
    if (compressed.absent() || compressed.empty() || outputCap == 0)
        return result;
    Salvager(compressed, outputCap, result).run();
    return result;
}

SalvagedStream inflateDamaged(ByteSpan compressed, uint64_t outputCap) {
    SalvagedStream result = resumeAtBlocks(compressed, outputCap);
    if (result.complete || compressed.absent() || compressed.empty() || outputCap == 0)
        return result;
    TolerantResult inBlock = inflateTolerant(compressed, outputCap, true);
    if (inBlock.bytes.size() > result.bytes.size()) {
        result.bytes = std::move(inBlock.bytes);
        result.gaps = inBlock.damageEvents;
        result.gapOffsets.clear();
        result.unknownBytes = 0;
    }
    return result;
}

}  // namespace morvel
