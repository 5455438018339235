#include "doc/picture_type.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/le_reader.h"

namespace morvel {

namespace {

struct Signature {
    int type;
    std::vector<uint8_t> bytes;
};

const std::array<Signature, 7>& signatures() {
    static const std::array<Signature, 7> table = {{
        {kPictureJpeg, {0xFF, 0xD8, 0xFF}},
        {kPicturePng, {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}},
        {kPictureWmfRecord, {0x60, 0x21, 0x1B, 0xF0}},
        {kPictureEmfRecord, {0x40, 0x3D, 0x1A, 0xF0}},
        {kPictureOther, {0x08, 0xD0, 0xC9, 0xEA}},
        {kPictureHeaderOnly, {0x44, 0x00, 0x64, 0x00}},
        {kPictureHeaderOnly, {0x44, 0x00, 0x00, 0x00}},
    }};
    return table;
}

}  // namespace

int pictureTypeAt(std::span<const uint8_t> data, int64_t offset, int64_t length) {
    if (offset < 0 || length < 0)
        return kPictureUnreadable;
    const int64_t size = static_cast<int64_t>(data.size());
    const int64_t from = std::min(offset, size);
    const int64_t to = std::min(offset + length, size);
    std::span<const uint8_t> block = data.subspan(from, to - from);
    for (const Signature& s : signatures())
        if (std::search(block.begin(), block.end(), s.bytes.begin(), s.bytes.end()) != block.end())
            return s.type;
    return readU8(data, static_cast<size_t>(offset) + 6) == 8 ? kPictureHeaderOnly
                                                              : kPictureUnreadable;
}

}  // namespace morvel
