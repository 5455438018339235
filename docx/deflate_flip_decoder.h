#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "docx/deflate_flip_judge.h"

namespace morvel {

// Where a decoding stands between two symbols: enough to go on from there later.
enum class FlipPhase : uint8_t { Header, Codes, Stored };

struct FlipCheckpoint {
    uint64_t bit = 0;         // next bit to read
    uint64_t out = 0;         // bytes decoded before it
    uint64_t header = 0;      // bit where the current block's header starts
    uint32_t storedLeft = 0;  // bytes left in a stored block
    FlipPhase phase = FlipPhase::Header;
    bool last = false;  // the current block is the stream's last
};

enum class FlipStop : uint8_t {
    End,        // the last block ended
    Broken,     // the data cannot be deflate here (bad code, header, distance, or cut off)
    Judged,     // the output stopped looking like the content
    Limit,      // the output reached the limit the caller set
    Capped,     // the output reached its cap
    OutOfWork,  // the work limit ran out
    Rejoined,   // the recorder found the decoding back in step with an earlier one
};

// Told about every symbol start (and block header) of a decoding, with the judge's state there;
// returning false stops the decoding there (FlipStop::Rejoined).
class FlipRecorder {
  public:
    virtual ~FlipRecorder() = default;
    virtual bool mark(const FlipCheckpoint& at, const FlipJudge& judge) = 0;
};

// A strict raw-deflate decoder over input bytes the caller may change between runs. Its state
// between two symbols is a FlipCheckpoint: restoring one goes on from there with the output
// cut back to it, so a trial change of a byte costs only the decoding after it. Block code
// tables are rebuilt from the block header when needed, and the last few are kept.
class FlipDecoder {
  public:
    FlipDecoder(const std::vector<uint8_t>& input, uint64_t outputCap);

    // Goes back (or on) to a saved state; the output is cut to cp.out bytes.
    void restore(const FlipCheckpoint& cp);
    FlipCheckpoint checkpoint() const;
    // Decodes until one of the stops; the output never exceeds outLimit by more than one match.
    // The judge, when given, sees every byte; the recorder every symbol start.
    FlipStop run(uint64_t outLimit, FlipJudge* judge, FlipRecorder* recorder);

    // In a trial, tables read from headers are not kept, since the bytes may change back.
    void setTrial(bool trial) { trial_ = trial; }
    // Drops every kept table: a header byte was changed for good.
    void forgetTables();

    const uint8_t* output() const { return out_.data(); }
    uint8_t* output() { return out_.data(); }
    uint64_t outSize() const { return outLen_; }
    uint64_t bitPos() const { return bytePos_ * 8 - count_; }
    uint64_t work() const { return work_; }
    void addWork(uint64_t w) { work_ += w; }
    void setWorkLimit(uint64_t limit) { workLimit_ = limit; }
    // Matches decoded that could have been longer at their distance: an encoder takes the
    // longest match there is at a distance, so real data has few and a decoding from a wrong
    // byte (a length or distance off) has more.
    uint64_t shortMatches() const { return shortMatches_; }
    void setShortMatches(uint64_t n) { shortMatches_ = n; }

    struct Tables {
        std::vector<uint32_t> lit, dist;
        uint64_t header = UINT64_MAX;  // header bit they were read from; none for fixed
    };

  private:
    static constexpr unsigned kCachedTables = 4;

    void seek(uint64_t bit);
    void refill();
    uint32_t bits(unsigned n);
    void drop(unsigned n) {
        buf_ >>= n;
        count_ -= n;
    }
    bool overrun() const { return bitPos() > totalBits_; }
    bool decodeSymbol(const std::vector<uint32_t>& table, unsigned primary, uint32_t& sym);
    bool readHeader();
    bool readDynamic(Tables& t);
    const Tables* cachedTables(uint64_t header) const;
    bool reserve(uint64_t n);

    const std::vector<uint8_t>& in_;
    uint64_t totalBits_;
    uint64_t cap_;
    std::vector<uint8_t> out_;
    uint64_t outLen_ = 0;
    uint64_t bytePos_ = 0;
    uint64_t buf_ = 0;
    unsigned count_ = 0;
    FlipPhase phase_ = FlipPhase::Header;
    bool last_ = false;
    uint64_t header_ = 0;
    uint32_t storedLeft_ = 0;
    const Tables* tables_ = nullptr;
    Tables fixed_;
    std::array<Tables, kCachedTables> cache_;
    unsigned nextCache_ = 0;
    Tables scratch_;
    bool trial_ = false;
    uint64_t work_ = 0;
    uint64_t workLimit_ = UINT64_MAX;
    uint64_t shortMatches_ = 0;
    uint64_t pendingEnd_ = UINT64_MAX;  // end of the last match shorter than the longest
    uint32_t pendingDist_ = 0;
};

}  // namespace morvel
