#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "docx/inflate_zip.h"
#include "docx/inflated_bytes.h"

namespace morvel {

// Checks entry data found by the salvage scan without doing the same work twice, so that
// any number of headers pointing into one archive costs time linear in the archive plus
// what is actually inflated: the deflate stream at a data start is inflated at most once
// (whatever number of headers claim it), a stored range's CRC comes from prefix CRCs kept
// at fixed steps, and all inflating of one archive is held to a work budget.
class ZipDataChecker {
  public:
    static constexpr uint64_t kUnbounded = std::numeric_limits<uint64_t>::max();

    ZipDataChecker(std::span<const uint8_t> archive, uint64_t inflateBudget,
                   uint64_t keepAllowance);

    // Raises the output cap of the stream at dataStart to the largest size a claim on it
    // declares; inflating stops once the output passes it.
    void raiseCap(size_t dataStart, uint64_t declaredSize);

    // The stream at dataStart inflated once: later calls return the same result. With keep,
    // the output is held (when the cap is known and within the keep allowance) for takeKept.
    const InflateZip::StreamRun& inflateAt(size_t dataStart, bool keep);
    // The held output of the stream at dataStart, moved out; empty when none was held.
    InflatedBytes takeKept(size_t dataStart);

    // CRC-32 of archive bytes [begin, end); end must not pass the archive's end.
    uint32_t crcOf(size_t begin, size_t end);

    bool budgetExhausted() const { return exhausted_; }

  private:
    uint32_t prefixCrc(size_t end);

    std::span<const uint8_t> archive_;
    uint64_t budgetLeft_;
    uint64_t keepLeft_;
    bool exhausted_ = false;
    std::unordered_map<size_t, uint64_t> caps_;
    std::unordered_map<size_t, InflateZip::StreamRun> runs_;
    std::unordered_map<size_t, InflatedBytes> kept_;
    std::vector<uint32_t> checkpoints_;  // CRC of [0, i * kCheckpointStep)
    // Output buffer of whole-stream inflates, as large as the largest cap met so far.
    std::unique_ptr<uint8_t[]> scratch_;
    uint64_t scratchSize_ = 0;
};

}  // namespace morvel
