#include "core/line_end_undo.h"

#include <cstring>
#include <span>

#include "doc/line_end_repair.h"
#include "docx/line_end_repair.h"
#include "platform/cfb_constants.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr uint32_t kZipLocalSignature = 0x04034B50;

LineEndRepair repairOf(std::span<const uint8_t> image) {
    // The first bytes of both containers hold no line-end byte, so they survive a conversion
    // and say which container's checks decide.
    if (image.size() >= sizeof kCfbSignature &&
        std::memcmp(image.data(), kCfbSignature, sizeof kCfbSignature) == 0)
        return undoCompoundFileLineEnds(image);
    if (readU32LE(image, 0) == kZipLocalSignature)
        return undoPackageLineEnds(image);
    return {};
}

}  // namespace

bool UndoLineEndConversion(DocumentRecord& record) {
    if (!record.fileData)
        return false;
    LineEndRepair repair = repairOf(*record.fileData);
    if (!repair.undone())
        return false;
    record.imageRepair = ImageRepair{kLineEndRepairCode, repair.describe()};
    record.fileData = std::move(repair.bytes);
    record.fileDataContent.reset();
    record.fileSize = static_cast<uint32_t>(record.fileData->size());
    return true;
}

}  // namespace morvel
