#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "docx/local_entry.h"
#include "docx/part_report.h"
#include "docx/zip_findings.h"
#include "docx/zip_salvage_scan.h"
#include "platform/byte_span.h"

namespace morvel {

inline constexpr uint32_t kEntryNotFound = 0xFFFFFFFF;

// Finds the entries of a damaged ZIP archive without trusting any one of its maps: every
// record signature is examined, local entries are accepted when their CRC holds, and the
// central directory records that survive vouch for entries whose local header is damaged
// or lies. Once an open call returns, the intact and damaged lists are final.
class ZipBrokenExtractor {
  public:
    // 1 when the file is missing, unreadable or empty; else 0 (even with no entries found).
    int OpenFile(const std::filesystem::path& path);
    // Copies the bytes and scans them; null or empty input leaves the extractor empty.
    int OpenMemory(const uint8_t* bytes, uint32_t length);
    // Scans the caller's bytes without copying them; they must outlive the extractor's use
    // (until Reset, another open, or destruction).
    int OpenSpan(std::span<const uint8_t> bytes);
    void Reset();

    uint32_t EntryCount() const { return static_cast<uint32_t>(scan_.entries.size()); }
    const LocalEntry& Entry(uint32_t index) const { return scan_.entries.at(index); }
    uint32_t ArchiveSize() const { return static_cast<uint32_t>(archive_.size()); }

    // First entry in scan order with exactly this name, or kEntryNotFound.
    uint32_t FindEntry(ByteSpan name) const;
    // The entry's uncompressed content; empty when it cannot be had whole. Deflated content
    // lives in a buffer owned by the extractor until ReleaseEntryData or Reset; asking again
    // gives the same buffer.
    ByteSpan GetEntryData(uint32_t index);
    // Frees the inflated content GetEntryData keeps for an entry; a later call inflates again.
    void ReleaseEntryData(uint32_t index);
    // How many times GetEntryData had to inflate an entry (content the scan kept is not
    // inflated again), so that tests can see a large part is not inflated over and over.
    uint32_t InflationsOf(uint32_t index) const {
        return index < inflations_.size() ? inflations_[index] : 0;
    }

    // Entries found damaged (CRC fails, data cut off, stream broken) whose name has no
    // intact copy; one per name.
    uint32_t DamagedCount() const { return static_cast<uint32_t>(scan_.damaged.size()); }
    const LocalEntry& Damaged(uint32_t index) const { return scan_.damaged.at(index).entry; }
    // The damaged entry with exactly this name, or kEntryNotFound.
    uint32_t FindDamaged(ByteSpan name) const;

    struct DecodedPart {
        std::vector<uint8_t> bytes;
        PartState state = PartState::Partial;  // Repaired or Partial
        uint64_t declaredSize = 0;
    };
    // Decodes a damaged entry as far as its data goes. Bytes of its deflate stream that were
    // replaced are first looked for and put back, within the document's repair budget; the
    // part is Repaired when the stream then decodes to the record's CRC. An entry whose data
    // the end of the file cut off, and which decodes cleanly up to there, has nothing to look
    // for: its clean decoding is kept and the budget is left to others.
    DecodedPart DecodeDamaged(uint32_t index) const;

    // The per-document inflate budget ran out during the open: entries past it were not
    // checked and are listed as damaged rather than intact.
    bool InflateBudgetExhausted() const { return scan_.inflateBudgetExhausted; }
    // What the salvage met and decided, record by record, for `inspect`.
    const std::vector<ZipFinding>& Findings() const { return scan_.findings; }

  private:
    void scan();

    std::vector<uint8_t> owned_;
    std::span<const uint8_t> archive_;
    ZipScanResult scan_;
    std::unordered_map<std::string_view, uint32_t> entryIndex_;
    std::unordered_map<std::string_view, uint32_t> damagedIndex_;
    std::vector<uint32_t> inflations_;
    // Work left for putting back replaced bytes of damaged entries, shared by all of them so
    // that a file of many damaged entries cannot make the search run long.
    mutable uint64_t repairWork_ = 0;
};

// Bounded multiple of a damaged entry's compressed length its decoding may produce when
// the declared size cannot be trusted (real packages compress XML 20 to 50 times).
inline constexpr uint64_t kDamagedExpansionLimit = 64;

}  // namespace morvel
