#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// Tags of the template store format; all carry 0xAB08 in their low half.
inline constexpr uint32_t kStoreMagic = 0x5C28AB08;
inline constexpr uint32_t kStoreScrambledTag = 0x8CE5AB08;
inline constexpr uint32_t kStoreDirectoryTag = 0x2B20AB08;
inline constexpr uint32_t kStoreSkippedTag = 0x7E4FAB08;
inline constexpr uint32_t kStorePackageTag = 0xC93FAB08;
inline constexpr uint32_t kStoreTagMark = 0xAB08;
inline constexpr uint32_t kStoreHeadSize = 20;

// The CRC-32 register left uncomplemented: the complement of the ordinary ZIP CRC-32.
uint32_t storeCheckValue(ByteSpan bytes);
// XORs bytes in place with the MT19937 keystream of seed; the same call undoes it.
void scrambleStoreData(uint8_t* bytes, uint32_t length, uint32_t seed);

// The template store: named packages (each a whole ZIP archive) behind a checked header and
// an optional scrambled record.
class UniDataStorePackage {
  public:
    virtual ~UniDataStorePackage() = default;

    void Clear();
    // 0 success; -1 shorter than the header; 3 wrong magic or payload length; 5 payload check
    // value wrong; 6 damaged structure; 7 scrambled data check value wrong.
    int Load(const uint8_t* bytes, uint32_t length);

    uint32_t PackageCount() const { return static_cast<uint32_t>(data_.size()); }
    ByteSpan PackageData(uint32_t index) const {
        return index < data_.size() ? data_[index] : ByteSpan();
    }
    ByteSpan PackageName(uint32_t index) const {
        return index < names_.size() ? names_[index] : ByteSpan();
    }

  private:
    uint8_t header_[kStoreHeadSize] = {};
    std::vector<ByteSpan> data_;
    std::vector<ByteSpan> names_;
    std::vector<uint8_t> file_;
};

}  // namespace morvel
