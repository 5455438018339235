#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "docx/local_entry.h"
#include "docx/part_report.h"
#include "platform/byte_span.h"

namespace morvel {

inline constexpr uint32_t kEntryNotFound = 0xFFFFFFFF;

// Finds the intact local entries of a damaged ZIP archive without trusting its central
// directory: every offset is tested for a record signature and a local entry is accepted
// only when its own header CRC matches its data.
class ZipBrokenExtractor {
  public:
    virtual ~ZipBrokenExtractor() = default;

    // 1 when the file is missing, unreadable or empty; else 0 (even with no entries found).
    int OpenFile(const std::filesystem::path& path);
    // Copies the bytes and scans them; null or empty input leaves the extractor empty.
    int OpenMemory(const uint8_t* bytes, uint32_t length);
    void Reset();

    uint32_t EntryCount() const { return static_cast<uint32_t>(entries_.size()); }
    const LocalEntry& Entry(uint32_t index) const { return entries_.at(index); }
    uint32_t ArchiveSize() const { return static_cast<uint32_t>(archive_.size()); }

    // First entry in scan order with exactly this name, or kEntryNotFound.
    uint32_t FindEntry(ByteSpan name) const;
    // The entry's uncompressed content; empty when it cannot be had whole. Deflated content
    // lives in a buffer owned by the extractor until Reset.
    ByteSpan GetEntryData(uint32_t index);
    // Frees the inflated content GetEntryData keeps for an entry; a later call inflates again.
    void ReleaseEntryData(uint32_t index);

    // Entries found damaged (CRC fails, data cut off, stream broken) whose name has no
    // intact copy; one per name.
    uint32_t DamagedCount() const { return static_cast<uint32_t>(damaged_.size()); }
    const LocalEntry& Damaged(uint32_t index) const { return damaged_.at(index); }
    // The damaged entry with exactly this name, or kEntryNotFound.
    uint32_t FindDamaged(ByteSpan name) const;

    struct DecodedPart {
        std::vector<uint8_t> bytes;
        PartState state = PartState::Partial;  // Repaired or Partial
        uint64_t declaredSize = 0;
    };
    // Decodes a damaged entry as far as its data goes.
    DecodedPart DecodeDamaged(uint32_t index) const;

  private:
    void SalvageScan();
    bool readLocalEntry(uint32_t p, LocalEntry& e) const;
    bool resolveDeferredSizes(LocalEntry& e) const;

    std::vector<uint8_t> archive_;
    std::vector<LocalEntry> entries_;
    std::vector<LocalEntry> damaged_;
    std::vector<std::unique_ptr<uint8_t[]>> inflated_;
};

}  // namespace morvel
