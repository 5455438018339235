#include "docx/zip_data_checker.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "platform/large_buffer.h"

namespace morvel {

namespace {

// Prefix CRCs are kept every this many bytes: a range's CRC then costs at most two such
// steps of CRC work plus a combination, whatever the range's length.
constexpr size_t kCheckpointStep = 4096;
// Largest output a stream is inflated into in one buffer; a larger cap is run in chunks.
constexpr uint64_t kWholeInflateLimit = uint64_t{1} << 30;

}  // namespace

ZipDataChecker::ZipDataChecker(std::span<const uint8_t> archive, uint64_t inflateBudget,
                               uint64_t keepAllowance)
    : archive_(archive), budgetLeft_(inflateBudget), keepLeft_(keepAllowance) {}

void ZipDataChecker::raiseCap(size_t dataStart, uint64_t declaredSize) {
    auto [it, added] = caps_.try_emplace(dataStart, declaredSize);
    if (!added)
        it->second = std::max(it->second, declaredSize);
}

const InflateZip::StreamRun& ZipDataChecker::inflateAt(size_t dataStart, bool keep) {
    if (auto found = runs_.find(dataStart); found != runs_.end())
        return found->second;
    const auto capAt = caps_.find(dataStart);
    const uint64_t cap = capAt == caps_.end() ? kUnbounded : capAt->second;
    InflateZip::StreamRun& run = runs_[dataStart];
    if (dataStart >= archive_.size())
        return run;
    if (budgetLeft_ == 0) {
        run.stop = InflateZip::RunStop::OutOfWork;
        exhausted_ = true;
        return run;
    }
    const size_t rest = std::min<size_t>(archive_.size() - dataStart, 0xFFFFFFFFu);
    const ByteSpan input(archive_.data() + dataStart, static_cast<uint32_t>(rest));
    InflatedBytes held;
    const bool holding = keep && cap != kUnbounded && cap <= keepLeft_;
    // A stream whose cap is known and whose whole run fits the budget is first inflated in
    // one call: straight into the buffer that keeps it, or into a scratch buffer of the cap
    // reused from stream to stream (pages either does not reach are never touched); one that
    // does not end there is run in chunks, which says why.
    bool whole = false;
    if (cap <= kWholeInflateLimit && rest + cap <= budgetLeft_) {
        if (holding) {
            held.resize(std::max<uint64_t>(cap, 1));
            adviseHugePages(held.data(), held.size());
            whole = InflateZip().InflateWhole(input, held.data(), cap, run);
            held.resize(whole ? run.produced : 0);
        } else {
            if (scratchSize_ < cap || !scratch_) {
                scratch_.reset();
                scratch_ = std::make_unique_for_overwrite<uint8_t[]>(std::max<uint64_t>(cap, 1));
                scratchSize_ = cap;
            }
            whole = InflateZip().InflateWhole(input, scratch_.get(), cap, run);
        }
    }
    if (!whole) {
        std::vector<uint8_t> chunked;
        if (holding)
            chunked.reserve(cap);
        run = InflateZip().Run(input, cap, budgetLeft_, holding ? &chunked : nullptr);
        held.assign(chunked.begin(), chunked.end());
    }
    budgetLeft_ -= std::min(budgetLeft_, run.consumed + run.produced);
    if (run.stop == InflateZip::RunStop::OutOfWork)
        exhausted_ = true;
    if (holding && run.stop == InflateZip::RunStop::Ended) {
        keepLeft_ -= held.size();
        kept_.emplace(dataStart, std::move(held));
    }
    return run;
}

InflatedBytes ZipDataChecker::takeKept(size_t dataStart) {
    auto found = kept_.find(dataStart);
    if (found == kept_.end())
        return {};
    InflatedBytes out = std::move(found->second);
    kept_.erase(found);
    return out;
}

uint32_t ZipDataChecker::prefixCrc(size_t end) {
    if (checkpoints_.empty()) {
        checkpoints_.reserve(archive_.size() / kCheckpointStep + 1);
        uint32_t crc = InflateZip::Crc32(ByteSpan());
        checkpoints_.push_back(crc);
        for (size_t at = 0; at + kCheckpointStep <= archive_.size(); at += kCheckpointStep) {
            crc = InflateZip::Crc32Update(ByteSpan(archive_.data() + at, kCheckpointStep), crc);
            checkpoints_.push_back(crc);
        }
    }
    const size_t step = end / kCheckpointStep;
    const size_t from = step * kCheckpointStep;
    return InflateZip::Crc32Update(
        ByteSpan(archive_.data() + from, static_cast<uint32_t>(end - from)), checkpoints_[step]);
}

uint32_t ZipDataChecker::crcOf(size_t begin, size_t end) {
    if (end - begin <= 2 * kCheckpointStep)
        return InflateZip::Crc32(
            ByteSpan(archive_.data() + begin, static_cast<uint32_t>(end - begin)));
    // CRC(A || B) = shift(CRC(A), |B|) xor CRC(B), and zlib's combine with a zero second
    // CRC gives exactly the shifted first one.
    const uLong shifted = crc32_combine(prefixCrc(begin), 0, static_cast<z_off_t>(end - begin));
    return static_cast<uint32_t>(prefixCrc(end) ^ shifted);
}

}  // namespace morvel
