#include "doc/doc_salvage.h"

#include <exception>

#include "doc/cfb_constants.h"

namespace morvel {

DocSalvage SalvageDocFile(std::span<const uint8_t> bytes, DocContext& ctx, bool keepGoing) {
    DocSalvage out;
    if (bytes.size() < static_cast<size_t>(kCfbSmallestFile)) {
        out.result = kSalvageFailed;
        return out;
    }
    ctx.statusCode = kStatusOk;
    ctx.imageSize = static_cast<uint32_t>(std::min<size_t>(bytes.size(), 0xFFFFFFFFu));
    try {
        out.image = std::make_unique<CFileImage>(bytes);
        CFileImage& image = *out.image;
        if (image.ScanSignature() == kScanFoundRtf) {
            out.result = kSalvageRtf;
            return out;
        }
        out.headerSound = image.HeaderLooksSound();
        if (!out.headerSound)
            image.headerPos = image.size;
        if (image.headerPos != 0 && image.headerPos >= image.size - 8) {
            out.headerSound = false;
            if (image.RebuildFatSectorList() < 0) {
                out.result = kSalvageFailed;
                return out;
            }
            image.LocateDirectoryAndMiniFat();
        }
    } catch (const std::exception&) {
        ctx.statusCode = kStatusSalvageFailed;
        out.result = kSalvageThrew;
        return out;
    }

    out.version = out.image->ClassifyFormatVersion();
    const bool spreadsheet = out.version == kVersionBook || out.version == kVersionWorkbook;
    if (out.version < kVersionWord97 && !keepGoing) {
        out.result = kSalvageNotWord97;
        return out;
    }
    out.compound = std::make_unique<CCompoundFile>(*out.image, ctx);
    if (ctx.statusCode == kStatusSalvageFailed) {
        out.result = kSalvageThrew;
        return out;
    }
    out.invalidFatValues = out.compound->CountInvalidFatValues();
    out.storage = std::make_unique<CDocStorage>(*out.compound, ctx);
    out.storage->ReadDirectory();
    if (out.invalidFatValues != 0) {
        out.result = kSalvageFailed;
        return out;
    }
    if (out.storage->WalkDirectoryTree() != 0) {
        out.walkFailed = true;
        out.storage->FallbackStreamSearch(*out.image);
    }
    if (spreadsheet)
        out.result = kSalvageSpreadsheet;
    else if (out.version < kVersionWord97)
        out.result = kSalvageNotWord97;
    else
        out.result = kSalvageReadable;
    return out;
}

}  // namespace morvel
