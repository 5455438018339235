#pragma once

#include <cstdint>
#include <span>

namespace morvel {

// Type codes of picture data in the Data stream.
enum PictureType : int {
    kPictureUnreadable = -1,
    kPictureJpeg = 1,
    kPicturePng = 2,
    kPictureWmfRecord = 3,
    kPictureEmfRecord = 4,
    kPictureOther = 5,
    kPictureHeaderOnly = 6,
};

// The type of the picture block [offset, offset + length) of the Data stream. Signatures are
// tried in a fixed order (JPEG, PNG, WMF record, EMF record, other, bare picture header), each
// over the whole block, so an earlier one anywhere in the block wins; with none found, a
// picture header whose mapping-mode byte (offset 6) is 8 still counts as a picture.
int pictureTypeAt(std::span<const uint8_t> data, int64_t offset, int64_t length);

}  // namespace morvel
