#include "docx/uni_data_store_package.h"

#include <cstring>
#include <random>
#include <span>

#include "docx/inflate_zip.h"
#include "platform/le_reader.h"

namespace morvel {

uint32_t storeCheckValue(ByteSpan bytes) {
    return ~InflateZip::Crc32(bytes);
}

void scrambleStoreData(uint8_t* bytes, uint32_t length, uint32_t seed) {
    std::mt19937 keys(seed);
    for (uint32_t i = 0; i < length; i += 4) {
        uint32_t k = static_cast<uint32_t>(keys());
        for (uint32_t b = 0; b < 4 && i + b < length; ++b)
            bytes[i + b] ^= static_cast<uint8_t>(k >> (8 * b));
    }
}

void UniDataStorePackage::Clear() {
    std::memset(header_, 0, sizeof header_);
    std::vector<ByteSpan>().swap(data_);
    std::vector<ByteSpan>().swap(names_);
    std::vector<uint8_t>().swap(file_);
}

int UniDataStorePackage::Load(const uint8_t* bytes, uint32_t length) {
    Clear();
    if (bytes == nullptr || length < kStoreHeadSize)
        return -1;
    std::memcpy(header_, bytes, kStoreHeadSize);
    std::span<const uint8_t> head(header_);
    const uint32_t payload = readU32LE(head, 4);
    if (readU32LE(head, 0) != kStoreMagic || uint64_t{payload} + kStoreHeadSize != length)
        return 3;
    file_.assign(bytes, bytes + length);
    std::span<uint8_t> buf(file_);
    if (storeCheckValue(ByteSpan(file_.data() + kStoreHeadSize, payload)) != readU32LE(head, 8))
        return 5;
    auto inside = [&](uint64_t off, uint64_t len) { return off <= length && len <= length - off; };

    uint64_t r = uint64_t{kStoreHeadSize} + readU32LE(head, 16);
    if (!inside(r, kStoreHeadSize))
        return 6;
    if (readU32LE(buf, r) == kStoreScrambledTag) {
        const uint32_t dataLength = readU32LE(buf, r + 4);
        if (!inside(r + kStoreHeadSize, dataLength))
            return 6;
        uint8_t* data = file_.data() + r + kStoreHeadSize;
        scrambleStoreData(data, dataLength, readU32LE(buf, r + 12));
        if (storeCheckValue(ByteSpan(data, dataLength)) != readU32LE(buf, r + 8))
            return 7;
        r += uint64_t{kStoreHeadSize} + readU32LE(buf, r + 16);
        if (!inside(r, kStoreHeadSize))
            return 6;
    }
    if (readU32LE(buf, r) != kStoreDirectoryTag)
        return 0;
    const uint32_t subRecords = readU32LE(buf, r + 12);
    const uint64_t first = r + kStoreHeadSize + readU32LE(buf, r + 16);
    // Walk the sub-records once to check them, then record the packages; the count is
    // bounded by the buffer since every sub-record takes at least a head.
    for (int pass = 0; pass < 2; ++pass) {
        uint64_t s = first;
        for (uint32_t n = 0; n < subRecords; ++n) {
            if (!inside(s, kStoreHeadSize))
                return 6;
            const uint32_t tag = readU32LE(buf, s);
            const uint32_t recordLength = readU32LE(buf, s + 4);
            const uint32_t nameLength = readU32LE(buf, s + 16);
            if ((tag & kStoreTagMark) != kStoreTagMark || !inside(s + kStoreHeadSize, recordLength))
                return 6;
            if (tag == kStorePackageTag) {
                if (nameLength > recordLength)
                    return 6;
                if (pass == 1) {
                    const uint8_t* p = file_.data() + s + kStoreHeadSize;
                    names_.emplace_back(p, nameLength);
                    data_.emplace_back(p + nameLength, recordLength - nameLength);
                }
            }
            s += uint64_t{kStoreHeadSize} + recordLength;
        }
    }
    return 0;
}

}  // namespace morvel
