#include "docx/deflate_flip_repair.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <tuple>

#include "docx/deflate_cut_stream.h"
#include "docx/deflate_flip_decoder.h"
#include "docx/deflate_salvage.h"

namespace morvel {
namespace {

// How far before the point where damage showed a changed byte is looked for, in compressed
// bytes, and a few bytes after it (a code is judged on up to 15 bits past its start).
constexpr uint64_t kWindowBytes = 192;
constexpr uint64_t kWindowAfterBytes = 2;
constexpr uint64_t kReachedMargin = 64;
// ... and no further back than this much output: in highly repetitive text a few compressed
// bytes stand for many kilobytes, and each trial from there would decode them all again,
// while damage shows within a few hundred bytes of output.
constexpr uint64_t kWindowOutput = 16384;
// A trial is scored by how far it decodes plausibly, up to this many bytes past the point
// where the damage showed; candidates that tie there are followed further, this many times
// as far each round.
constexpr uint64_t kScoreBytes = 4096;
constexpr uint64_t kTieGrowth = 8;
constexpr unsigned kTieRounds = 4;
constexpr uint64_t kTieWork = uint64_t{16} << 20;
constexpr size_t kMaxAlternatives = 32;
// A change is kept when decoding then runs this much further than without it.
constexpr uint64_t kMinGain = 64;
// Bounds of one stream's search.
constexpr unsigned kMaxSearches = 64;
constexpr unsigned kMaxFailedSearches = 8;
// Saved states: one every kCoarseSymbols symbols, the last kCoarseKept of them, and the last
// kHeadersKept block headers.
constexpr unsigned kCoarseSymbols = 32;
constexpr size_t kCoarseKept = 4096;
constexpr size_t kHeadersKept = 4;
// Input left after the last block that may be padding rather than lost blocks.
constexpr uint64_t kTrailingSlack = 8;
constexpr uint64_t kExactScore = UINT64_MAX;
// Text decoded from a changed byte that fits the syntax is found by its rare 4-byte sequences
// (occurring once in the whole output): stretches of kSpotBytes holding kSpotMinRare of them,
// the kMaxSpots densest, each searched from kSpotLead bytes before it; a change is kept when
// kSilentScoreBytes past the stretch it leaves kSilentGain fewer sequences unseen elsewhere.
constexpr uint64_t kSpotBytes = 48;
constexpr uint64_t kSpotMinRare = 12;
constexpr size_t kMaxSpots = 8;
constexpr uint64_t kSpotLead = 48;
constexpr uint64_t kSilentScoreBytes = 512;
constexpr uint64_t kSilentGain = 6;
constexpr unsigned kMaxSilentRounds = 1;
constexpr size_t kSilentFinalists = 4;
constexpr unsigned kMapSymbols = 256;
constexpr uint64_t kWarmUpBytes = 256;
// Candidates that decode equally far are told apart by how many 4-byte sequences of their
// output were never seen in the output before the damage: text decoded from a wrong byte is
// new, real text mostly repeats what came before. A bit per hash of a sequence.
constexpr unsigned kSeenHashBits = 22;
constexpr uint64_t kNoveltyUnknown = UINT64_MAX;
constexpr uint64_t kNoveltySlack = 4;

uint32_t crcOf(const uint8_t* p, uint64_t n) {
    uLong crc = crc32(0, nullptr, 0);
    constexpr uint64_t kPiece = uint64_t{1} << 30;
    while (n > 0) {
        const uint64_t take = std::min(n, kPiece);
        crc = crc32(crc, p, static_cast<uInt>(take));
        p += take;
        n -= take;
    }
    return static_cast<uint32_t>(crc);
}

struct Saved {
    FlipCheckpoint cp;
    FlipJudge judge;
};

struct Candidate {
    uint64_t offset = 0;
    uint8_t value = 0;
    size_t entry = 0;  // the saved state a trial starts from
    bool header = false;
    uint64_t score = 0;
    uint64_t novelty = kNoveltyUnknown;
    uint64_t shortMatches = 0;  // in the output from the window's start to the score's limit
};

// The 4-byte sequences seen in a stretch of output.
class SeenSequences {
  public:
    SeenSequences() : bits_(size_t{1} << (kSeenHashBits - 6)) {}
    void add(const uint8_t* p, uint64_t n) {
        for (uint64_t i = 0; i + 4 <= n; ++i) {
            const uint32_t h = hash(p + i);
            bits_[h >> 6] |= uint64_t{1} << (h & 63);
        }
    }
    uint64_t unseen(const uint8_t* p, uint64_t n) const {
        uint64_t count = 0;
        for (uint64_t i = 0; i + 4 <= n; ++i) {
            const uint32_t h = hash(p + i);
            count += ((bits_[h >> 6] >> (h & 63)) & 1) == 0;
        }
        return count;
    }

    static uint32_t hash(const uint8_t* p) {
        const uint32_t v =
            p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
        return (v * 2654435761u) >> (32 - kSeenHashBits);
    }

  private:
    std::vector<uint64_t> bits_;
};

class Repairer final : public FlipRecorder {
  public:
    Repairer(ByteSpan compressed, const FlipRepairTarget& target, uint64_t cap, uint64_t work,
             ByteSpan reference)
        : in_(compressed.begin(), compressed.end()), target_(target), dec_(in_, cap) {
        dec_.setWorkLimit(work);
        if (target_.markup && !reference.absent()) {
            seen_.add(reference.data, reference.length);
            dec_.addWork(reference.length);
        }
    }

    FlipRepairResult run() {
        FlipRepairResult result;
        FlipJudge judge(target_.markup, true);
        FlipStop stop = decodeAndSearch(judge, result);
        // Decoded to the end, yet the CRC fails: a changed byte decoded into plausible text
        // unnoticed. Look where the text is least like the rest of it.
        for (unsigned round = 0; round < kMaxSilentRounds && stop == FlipStop::End &&
                                 !result.exact && !result.outOfWork && target_.markup;
             ++round) {
            std::optional<FlipCheckpoint> resume = searchSilent(result.outOfWork);
            if (!resume)
                break;
            judge = warmJudge(resume->out);
            dropSavedAfter(resume->bit);
            dec_.setTrial(false);
            dec_.restore(*resume);
            stop = decodeAndSearch(judge, result);
        }
        result.complete = stop == FlipStop::End;
        if (!result.exact) {
            result.bytes.assign(dec_.output(), dec_.output() + dec_.outSize());
            if (result.complete && tryAlternatives()) {
                result.exact = true;
                result.bytes.assign(dec_.output(), dec_.output() + dec_.outSize());
            }
        }
        result.corrections = corrections_;
        if (!result.exact && !corrections_.empty())
            result.corrected = std::move(in_);
        return result;
    }

    // Decodes on from where the decoder stands, putting back a byte wherever the data breaks
    // or the text stops being plausible; stops at the stream's end or where no byte helps.
    FlipStop decodeAndSearch(FlipJudge& judge, FlipRepairResult& result) {
        unsigned failed = 0;
        FlipStop stop = FlipStop::Broken;
        for (;;) {
            mode_ = Mode::Main;
            dec_.setTrial(false);
            stop = dec_.run(UINT64_MAX, &judge, this);
            if (stop == FlipStop::OutOfWork)
                result.outOfWork = true;
            if (stop == FlipStop::End && endScore() == kExactScore) {
                result.exact = true;
                result.complete = true;
                result.bytes.assign(dec_.output(), dec_.output() + dec_.outSize());
                return stop;
            }
            const bool damaged = (stop == FlipStop::Broken && !cutHere()) ||
                                 stop == FlipStop::Judged ||
                                 (stop == FlipStop::End && endedEarly());
            if (!damaged || searches_ >= kMaxSearches || failed >= kMaxFailedSearches)
                return stop;
            ++searches_;
            const FlipCheckpoint detected = dec_.checkpoint();
            std::optional<Saved> resume = search(result.outOfWork);
            if (resume) {
                failed = 0;
                judge = resume->judge;
                dropSavedAfter(resume->cp.bit);
                dec_.setTrial(false);
                dec_.restore(resume->cp);
                continue;
            }
            ++failed;
            if (result.outOfWork || stop != FlipStop::Judged)
                return stop;
            // Nothing explains what the judge saw: take it as real and decode on.
            dec_.setTrial(false);
            dec_.restore(detected);
        }
    }

    // A judge that has seen the output just before `out`, for decoding on from there.
    FlipJudge warmJudge(uint64_t out) const {
        FlipJudge judge(target_.markup);
        const uint64_t from = out > kWarmUpBytes ? out - kWarmUpBytes : 0;
        judge.feed(dec_.output() + from, out - from);
        return judge;
    }

    // Output stretches where most 4-byte sequences occur nowhere else in the output, densest
    // first: where a changed byte decoded into text that fits the syntax but not the document.
    std::vector<uint64_t> hotspots() {
        const uint64_t n = dec_.outSize();
        const uint8_t* o = dec_.output();
        counts_.assign(size_t{1} << kSeenHashBits, 0);
        for (uint64_t i = 0; i + 4 <= n; ++i) {
            uint8_t& c = counts_[SeenSequences::hash(o + i)];
            c += c < UINT8_MAX;
        }
        dec_.addWork(2 * n);
        // Windows of kSpotBytes every half window, by how many rare sequences they hold.
        std::vector<std::pair<uint64_t, uint64_t>> dense;  // (rare sequences, window start)
        const uint64_t step = kSpotBytes / 2;
        for (uint64_t start = 0; start + kSpotBytes + 4 <= n; start += step) {
            uint64_t rare = 0;
            for (uint64_t i = start; i < start + kSpotBytes; ++i)
                rare += counts_[SeenSequences::hash(o + i)] == 1;
            if (rare >= kSpotMinRare)
                dense.push_back({rare, start});
        }
        std::sort(dense.begin(), dense.end(), std::greater<>());
        std::vector<uint64_t> spots;
        for (const auto& d : dense) {
            if (spots.size() >= kMaxSpots)
                break;
            const bool overlaps = std::any_of(spots.begin(), spots.end(), [&](uint64_t x) {
                return x + kSpotBytes > d.second && d.second + kSpotBytes > x;
            });
            if (!overlaps && !triedSpots_.contains(d.second))
                spots.push_back(d.second);
        }
        return spots;
    }

    // Looks for a changed byte behind the densest stretch of rare text not tried yet: each
    // byte of the compressed stretch that produced it is tried with every value, and one
    // whose decoding reaches as far with clearly fewer rare sequences is put back.
    std::optional<FlipCheckpoint> searchSilent(bool& outOfWork) {
        final_.assign(dec_.output(), dec_.output() + dec_.outSize());
        finalSize_ = final_.size();
        for (const uint64_t spot : hotspots()) {
            triedSpots_.insert(spot);
            const uint64_t spotEnd = std::min(spot + kSpotBytes, dec_.outSize());
            const uint64_t lead = spot > kSpotLead ? spot - kSpotLead : 0;
            auto at = std::upper_bound(
                map_.begin(), map_.end(), lead,
                [](uint64_t out, const FlipCheckpoint& cp) { return out < cp.out; });
            if (at == map_.begin())
                continue;
            const FlipCheckpoint originCp = *(at - 1);
            const Saved origin{originCp, warmJudge(originCp.out)};
            window_.clear();
            windowShort_.clear();
            mode_ = Mode::Replay;
            dec_.setTrial(false);
            dec_.restore(origin.cp);
            FlipJudge judge = origin.judge;
            while (dec_.run(spotEnd, &judge, this) == FlipStop::Judged) {
            }
            if (window_.empty())
                continue;
            const uint64_t hiByte =
                std::min<uint64_t>(dec_.bitPos() / 8 + kWindowAfterBytes, in_.size() - 1);
            const uint64_t loByte = origin.cp.bit / 8;
            const uint64_t limit = std::min(spotEnd + kSilentScoreBytes, finalSize_);
            // Score against the output outside the stretch judged.
            const uint64_t total = finalSize_;
            baseStart_ = origin.cp.out;
            baseEnd_ = total;
            base_.assign(final_.begin() + static_cast<ptrdiff_t>(baseStart_), final_.end());
            regionStart_ = origin.cp.out;
            noveltyFrom_ = regionStart_;
            excludeCounts(final_.data() + regionStart_, limit - regionStart_, -1);
            mode_ = Mode::Trial;
            dec_.setTrial(true);
            silent_ = true;
            outOfWork_ = false;
            Candidate baseline{loByte, in_[loByte], 0, false};
            score(baseline, limit, true);
            std::vector<Candidate> finalists;
            std::optional<Candidate> exact;
            for (uint64_t p = loByte; p <= hiByte && !outOfWork_ && !exact; ++p) {
                const auto after =
                    std::upper_bound(window_.begin(), window_.end(), p * 8,
                                     [](uint64_t bit, const Saved& sv) { return bit < sv.cp.bit; });
                if (after == window_.begin())
                    continue;
                const auto entry = static_cast<size_t>(after - window_.begin() - 1);
                const uint8_t was = in_[p];
                for (unsigned x = 1; x < 256 && !outOfWork_; ++x) {
                    Candidate c{p, static_cast<uint8_t>(was ^ x), entry, false};
                    const uint64_t reached = score(c, limit, true);
                    if (reached == kExactScore) {
                        exact = c;
                        break;
                    }
                    if (reached >= limit && baseline.novelty != kNoveltyUnknown &&
                        c.shortMatches <= baseline.shortMatches &&
                        c.novelty + kSilentGain <= baseline.novelty)
                        finalists.push_back(c);
                }
            }
            silent_ = false;
            excludeCounts(final_.data() + regionStart_, limit - regionStart_, +1);
            // Only the CRC can confirm text that was plausible before: the most likely few are
            // decoded to the end.
            std::sort(finalists.begin(), finalists.end(),
                      [](const Candidate& a, const Candidate& b) {
                          return std::tie(a.shortMatches, a.novelty) <
                                 std::tie(b.shortMatches, b.novelty);
                      });
            for (size_t i = 0;
                 i < finalists.size() && i < kSilentFinalists && !exact && !outOfWork_; ++i)
                if (score(finalists[i], UINT64_MAX) == kExactScore)
                    exact = finalists[i];
            outOfWork = outOfWork || outOfWork_;
            // Put the final reading back for the next spot.
            std::memcpy(dec_.output() + baseStart_, base_.data(), base_.size());
            if (outOfWork && !exact)
                return std::nullopt;
            if (!exact)
                continue;
            corrections_.push_back({exact->offset, in_[exact->offset], exact->value});
            in_[exact->offset] = exact->value;
            dec_.forgetTables();
            return window_[exact->entry].cp;
        }
        return std::nullopt;
    }

    void excludeCounts(const uint8_t* p, uint64_t n, int delta) {
        for (uint64_t i = 0; i + 4 <= n; ++i) {
            uint8_t& c = counts_[SeenSequences::hash(p + i)];
            if (c != UINT8_MAX)
                c = static_cast<uint8_t>(c + delta);
        }
    }

    // The stream decoded to its end but not to the record's CRC: a search may have kept the
    // wrong one of values that decoded equally well. Tries each other value in turn, decoding
    // from it to the end; on failure the first reading is put back.
    bool tryAlternatives() {
        if (alternatives_.empty())
            return false;
        dec_.setTrial(false);
        for (const Alternative& a : alternatives_) {
            const uint8_t was = in_[a.offset];
            in_[a.offset] = a.value;
            dec_.forgetTables();
            dec_.restore(a.from);
            const FlipStop stop = dec_.run(UINT64_MAX, nullptr, nullptr);
            if (stop == FlipStop::End && endScore() == kExactScore) {
                for (FlipCorrection& c : corrections_)
                    if (c.offset == a.offset)
                        c.now = a.value;
                return true;
            }
            in_[a.offset] = was;
            if (stop == FlipStop::OutOfWork)
                break;
        }
        return false;
    }

    uint64_t workDone() const { return dec_.work(); }

    void mark(const FlipCheckpoint& at, const FlipJudge& judge) override {
        if (mode_ == Mode::Replay) {
            window_.push_back({at, judge});
            windowShort_.push_back(dec_.shortMatches());
            return;
        }
        if (mode_ != Mode::Main)
            return;
        ++symbols_;
        if (symbols_ % kMapSymbols == 0 || at.phase == FlipPhase::Header)
            map_.push_back(at);
        if (at.phase == FlipPhase::Header) {
            headers_.push_back({at, judge});
            if (headers_.size() > kHeadersKept)
                headers_.pop_front();
        } else if (symbols_ % kCoarseSymbols != 0) {
            return;
        }
        coarse_.push_back({at, judge});
        if (coarse_.size() > kCoarseKept)
            coarse_.pop_front();
    }

  private:
    enum class Mode : uint8_t { Main, Replay, Trial };

    // A stream the file's end may have cut off broke where its data runs out: that is the
    // cut, and no byte put back there could be confirmed by data after it.
    bool cutHere() const { return target_.mayBeCut && brokeAtDataEnd(dec_, in_.size()); }

    // The stream ended with bytes or output still to come.
    bool endedEarly() const {
        if (target_.sizeKnown && dec_.outSize() < target_.size)
            return true;
        const uint64_t used = (dec_.bitPos() + 7) / 8;
        return used + kTrailingSlack < in_.size();
    }

    // Score of a decoding that reached the stream's end: exact when it matches the record.
    uint64_t endScore() {
        const uint64_t n = dec_.outSize();
        if (target_.sizeKnown && n != target_.size)
            return n;
        dec_.addWork(n);
        return crcOf(dec_.output(), n) == target_.crc ? kExactScore : n;
    }

    uint64_t unseenInCounts(const uint8_t* p, uint64_t n) const {
        uint64_t count = 0;
        for (uint64_t i = 0; i + 4 <= n; ++i)
            count += counts_[SeenSequences::hash(p + i)] == 0;
        return count;
    }

    void dropSavedAfter(uint64_t bit) {
        while (!map_.empty() && map_.back().bit > bit)
            map_.pop_back();
        while (!coarse_.empty() && coarse_.back().cp.bit > bit)
            coarse_.pop_back();
        while (!headers_.empty() && headers_.back().cp.bit > bit)
            headers_.pop_back();
    }

    // Decodes one trial from a saved state and scores it: how far it decodes (up to limit),
    // and, over the stretch up to noveltyFrom_, its new sequences and short matches. Puts the
    // baseline output back.
    uint64_t trial(const Saved& from, uint64_t limit, uint64_t* novelty = nullptr,
                   uint64_t shortBefore = 0, uint64_t* shortMatches = nullptr) {
        dec_.restore(from.cp);
        dec_.setShortMatches(shortBefore);
        FlipJudge judge = from.judge;
        const FlipStop stop = dec_.run(limit, &judge, nullptr);
        if (shortMatches)
            *shortMatches = dec_.shortMatches();
        if (novelty && stop == FlipStop::Limit && limit > noveltyFrom_) {
            const uint64_t n = limit - noveltyFrom_;
            dec_.addWork(n);
            *novelty = silent_ ? unseenInCounts(dec_.output() + noveltyFrom_, n)
                               : seen_.unseen(dec_.output() + noveltyFrom_, n);
        }
        uint64_t score = dec_.outSize();
        if (stop == FlipStop::Limit) {
            score = limit;
        } else if (stop == FlipStop::End) {
            score = endScore();
        } else if (stop == FlipStop::OutOfWork) {
            outOfWork_ = true;
        }
        const uint64_t end = std::min(dec_.outSize(), baseEnd_);
        if (end > from.cp.out)
            std::memcpy(dec_.output() + from.cp.out, base_.data() + (from.cp.out - baseStart_),
                        end - from.cp.out);
        return score;
    }

    uint64_t score(Candidate& c, uint64_t limit, bool novelty = false) {
        const Saved& from = c.header ? headers_[c.entry] : window_[c.entry];
        const uint8_t was = in_[c.offset];
        in_[c.offset] = c.value;
        const uint64_t shortBefore = c.header ? 0 : windowShort_[c.entry] - windowShort_.front();
        const uint64_t s = trial(from, limit, novelty && target_.markup ? &c.novelty : nullptr,
                                 shortBefore, novelty ? &c.shortMatches : nullptr);
        in_[c.offset] = was;
        return s;
    }

    // Looks for the changed byte behind the damage the decoder stands at; on success the
    // byte is put back and the state to decode on from is returned.
    std::optional<Saved> search(bool& outOfWork) {
        const uint64_t detBit = dec_.bitPos();
        const uint64_t detOut = dec_.outSize();
        const uint64_t detByte = std::min<uint64_t>(detBit / 8, in_.size() - 1);
        const uint64_t wantLo = detByte > kWindowBytes ? detByte - kWindowBytes : 0;
        const uint64_t hiByte = std::min<uint64_t>(detByte + kWindowAfterBytes, in_.size() - 1);
        // The replay starts at the last saved state at or before the window.
        size_t start = 0;
        while (start + 1 < coarse_.size() && coarse_[start + 1].cp.bit <= wantLo * 8)
            ++start;
        if (coarse_.empty())
            return std::nullopt;
        const Saved origin = coarse_[start];

        // Decode the window again, saving the state at every symbol.
        window_.clear();
        windowShort_.clear();
        mode_ = Mode::Replay;
        dec_.setTrial(false);
        dec_.restore(origin.cp);
        FlipJudge judge = origin.judge;
        while (dec_.run(detOut + 1, &judge, this) == FlipStop::Judged && dec_.bitPos() < detBit) {
            // a judged stretch the main decoding already took as real
        }
        mode_ = Mode::Trial;
        baseStart_ = origin.cp.out;
        for (const Saved& h : headers_)
            baseStart_ = std::min(baseStart_, h.cp.out);
        baseEnd_ = detOut;
        base_.assign(dec_.output() + baseStart_, dec_.output() + baseEnd_);
        dec_.setTrial(true);
        outOfWork_ = false;
        regionStart_ = origin.cp.out;
        if (target_.markup && seenUpTo_ < regionStart_) {
            const uint64_t from = seenUpTo_ >= 3 ? seenUpTo_ - 3 : 0;
            seen_.add(dec_.output() + from, regionStart_ - from);
            dec_.addWork(regionStart_ - from);
            seenUpTo_ = regionStart_;
        }

        std::vector<Candidate> all;
        uint64_t best = 0;
        const uint64_t limit = detOut + kScoreBytes;
        noveltyFrom_ = regionStart_;
        auto consider = [&](Candidate c) {
            c.score = score(c, limit, true);
            best = std::max(best, c.score);
            if (c.score >= detOut + kMinGain)
                all.push_back(c);
        };
        // The last-block flag of the current and previous block: a flip there ends the
        // stream early or runs it on past its end, far from the header itself.
        for (size_t h = 0; h < headers_.size(); ++h) {
            const uint64_t bit = headers_[h].cp.bit;
            if (bit > detBit || bit / 8 >= in_.size())
                continue;
            consider({bit / 8, static_cast<uint8_t>(in_[bit / 8] ^ (1u << (bit & 7))), h, true});
        }
        // Nearest bytes first: the changed byte mostly lies a few bytes before the point where
        // the damage showed. Once a byte lets decoding reach the limit, the search goes on
        // only kReachedMargin bytes further back (an earlier change can swallow the damage).
        std::optional<uint64_t> reachedAt;
        for (uint64_t p = hiByte + 1; p-- > wantLo && !outOfWork_;) {
            if (reachedAt && *reachedAt > p + kReachedMargin)
                break;
            const auto after =
                std::upper_bound(window_.begin(), window_.end(), p * 8,
                                 [](uint64_t bit, const Saved& s) { return bit < s.cp.bit; });
            if (after == window_.begin())
                break;
            const auto entry = static_cast<size_t>(after - window_.begin() - 1);
            if (window_[entry].cp.out + kWindowOutput < detOut)
                break;
            const uint8_t was = in_[p];
            for (unsigned x = 1; x < 256 && !outOfWork_; ++x)
                consider({p, static_cast<uint8_t>(was ^ x), entry, false});
            if (!reachedAt && best >= limit)
                reachedAt = p;
        }
        outOfWork = outOfWork_;

        // Among those that decoded past the judged stretch, the fewest short matches and about
        // the fewest new sequences win (the novelty of a stretch is a noisy measure, so a
        // margin keeps the true byte among them); then how far they got. A candidate that
        // ran further through later damage is no better for it.
        std::vector<Candidate> tied;
        for (const Candidate& c : all)
            if (c.score == best)
                tied.push_back(c);
        if (tied.empty() || best < detOut + kMinGain) {
            return std::nullopt;
        }
        // Those that got as far with about the fewest new sequences go on; the novelty of a
        // stretch is a noisy measure, so a margin keeps the true byte among them.
        auto byNovelty = [](const Candidate& a, const Candidate& b) {
            return std::tie(a.novelty, a.offset) < std::tie(b.novelty, b.offset);
        };
        std::sort(tied.begin(), tied.end(), byNovelty);
        if (best != kExactScore) {
            const uint64_t fewest = tied.front().novelty;
            const uint64_t margin = fewest == kNoveltyUnknown ? 0 : kNoveltySlack + fewest / 32;
            std::erase_if(tied, [&](const Candidate& c) { return c.novelty > fewest + margin; });
        }
        // Follow them further until one gets furthest (or to the end, where the CRC decides),
        // the fewest new ones first, as many as the round's share of work allows.
        uint64_t far = limit;
        for (unsigned round = 0;
             round < kTieRounds && tied.size() > 1 && best == far && !outOfWork_; ++round) {
            far = detOut + (far - detOut) * kTieGrowth;
            tied.resize(
                std::min<size_t>(tied.size(), std::max<uint64_t>(2, kTieWork / (far - detOut))));
            best = 0;
            for (Candidate& c : tied) {
                c.score = score(c, far);
                best = std::max(best, c.score);
                if (best == kExactScore)
                    break;
            }
            std::erase_if(tied, [&](const Candidate& c) { return c.score != best; });
        }
        const Candidate& pick = tied.front();
        for (size_t i = 1; i < tied.size() && alternatives_.size() < kMaxAlternatives; ++i) {
            const Candidate& c = tied[i];
            alternatives_.push_back(
                {c.offset, c.value, (c.header ? headers_[c.entry] : window_[c.entry]).cp});
        }
        corrections_.push_back({pick.offset, in_[pick.offset], pick.value});
        in_[pick.offset] = pick.value;
        dec_.forgetTables();
        return pick.header ? headers_[pick.entry] : window_[pick.entry];
    }

    std::vector<uint8_t> in_;
    FlipRepairTarget target_;
    FlipDecoder dec_;
    Mode mode_ = Mode::Main;
    uint64_t symbols_ = 0;
    std::deque<Saved> coarse_;
    std::deque<Saved> headers_;
    std::vector<Saved> window_;
    std::vector<uint64_t> windowShort_;  // the decoder's short-match count at each
    std::vector<uint8_t> base_;
    uint64_t baseStart_ = 0, baseEnd_ = 0;
    bool outOfWork_ = false;
    std::vector<FlipCorrection> corrections_;
    struct Alternative {
        uint64_t offset;
        uint8_t value;
        FlipCheckpoint from;
    };
    std::vector<Alternative> alternatives_;
    SeenSequences seen_;
    std::vector<uint8_t> counts_;      // per hash: how often a 4-byte sequence occurs
    std::vector<FlipCheckpoint> map_;  // every kMapSymbols-th symbol start of the decoding
    std::set<uint64_t> triedSpots_;
    std::vector<uint8_t> final_;  // the whole reading, while rare stretches are tried
    uint64_t finalSize_ = 0;
    bool silent_ = false;
    uint64_t noveltyFrom_ = 0;  // trials are judged for novelty on the output up to here
    unsigned searches_ = 0;
    uint64_t seenUpTo_ = 0;     // output added to seen_
    uint64_t regionStart_ = 0;  // output from here on is judged for novelty
};

}  // namespace

FlipRepairResult repairFlippedBytes(ByteSpan compressed, const FlipRepairTarget& target,
                                    uint64_t outputCap, uint64_t& work, ByteSpan reference) {
    if (compressed.absent() || compressed.empty() || outputCap == 0 || work == 0)
        return {};
    Repairer repairer(compressed, target, outputCap, work, reference);
    FlipRepairResult result = repairer.run();
    work -= std::min(work, repairer.workDone());
    return result;
}

}  // namespace morvel

namespace morvel {
namespace {

// Bytes of a markup reading that lie in stretches the judge finds nothing wrong with: text
// decoded from damage breaks the syntax, so a longer reading is not better for its noise.
constexpr size_t kPlausibleChunk = 512;

uint64_t plausibleBytes(const std::vector<uint8_t>& bytes) {
    FlipJudge judge(true);
    uint64_t good = 0;
    for (size_t at = 0; at < bytes.size(); at += kPlausibleChunk) {
        const size_t n = std::min(kPlausibleChunk, bytes.size() - at);
        const uint64_t before = judge.errors();
        judge.feed(bytes.data() + at, n);
        if (judge.errors() == before)
            good += n;
    }
    return good;
}

}  // namespace

RepairedStream inflateWithRepair(ByteSpan compressed, const FlipRepairTarget& target,
                                 uint64_t outputCap, uint64_t& work) {
    RepairedStream out;
    if (target.mayBeCut) {
        // A stream the end of the file cut off decodes cleanly until its data runs out: there
        // is nothing to put back, and a stream that still ends whole needs only its CRC.
        CutStreamReading clean = decodeCutStream(compressed, target.markup, outputCap);
        if (clean.end == CutStreamEnd::Cut) {
            out.bytes = std::move(clean.bytes);
            out.cut = true;
            return out;
        }
        if (clean.end == CutStreamEnd::Ended &&
            (!target.sizeKnown || clean.bytes.size() == target.size) &&
            crcOf(clean.bytes.data(), clean.bytes.size()) == target.crc) {
            out.bytes = std::move(clean.bytes);
            out.exact = true;
            return out;
        }
    }
    // The reading of the data as found: the fallback, and for markup the text the search
    // compares its trials with (most of it is right, and real text repeats itself).
    std::vector<uint8_t> found = inflateDamaged(compressed, outputCap).bytes;
    const ByteSpan reference =
        target.markup ? ByteSpan(found.data(),
                                 static_cast<uint32_t>(std::min<size_t>(found.size(), UINT32_MAX)))
                      : ByteSpan();
    FlipRepairResult r = repairFlippedBytes(compressed, target, outputCap, work, reference);
    if (r.exact) {
        out.bytes = std::move(r.bytes);
        out.exact = true;
        out.corrections = r.corrections.size();
        return out;
    }
    out.bytes = std::move(found);
    if (!target.markup || r.corrections.empty())
        return out;
    // With the corrections the stream decodes further before the damage left: decoded to its
    // end as corrected, or read tolerantly past what could not be put back. That reading is
    // kept when more of it is plausible markup than of the reading of the data as found.
    std::vector<uint8_t> corrected =
        r.complete ? std::move(r.bytes)
                   : inflateDamaged(
                         ByteSpan(r.corrected.data(), static_cast<uint32_t>(r.corrected.size())),
                         outputCap)
                         .bytes;
    if (plausibleBytes(corrected) >= plausibleBytes(out.bytes)) {
        out.bytes = std::move(corrected);
        out.corrections = r.corrections.size();
    }
    return out;
}

}  // namespace morvel
