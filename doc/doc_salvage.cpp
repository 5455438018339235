#include "doc/doc_salvage.h"

#include <exception>
#include <optional>

#include "platform/cfb_constants.h"

namespace morvel {

namespace {

// A FAT with at most this share of damaged values (or two) holds mostly sound chains: the few
// bad values are replaced by guesses. More mean the FAT itself is not what it seems.
constexpr size_t kRepairableFatShare = 32;
constexpr int kAlwaysRepairable = 2;

bool repairable(int invalid, size_t fatSize) {
    return invalid <= kAlwaysRepairable ||
           static_cast<size_t>(invalid) * kRepairableFatShare <= fatSize;
}

// Rebuilds the values of a lost header, first for 512-byte sectors. Word writes 4096-byte
// sectors for large documents, so when the 512-byte result does not check out, 4096-byte
// sectors are tried, and that result is kept when it does check out. -1 when neither size
// gives a FAT sector list.
int rebuildLostHeader(CFileImage& image) {
    CFileImage large = image;
    image.SetSectorShift(kCfbShiftVersion3);
    const bool built = image.RebuildFatSectorList() == 0;
    if (built) {
        image.LocateDirectoryAndMiniFat();
        if (image.RebuildChecksOut())
            return 0;
    }
    large.SetSectorShift(kCfbShiftVersion4);
    if (large.RebuildFatSectorList() == 0) {
        large.LocateDirectoryAndMiniFat();
        if (large.RebuildChecksOut() || !built) {
            image = std::move(large);
            return 0;
        }
    }
    return built ? 0 : -1;
}

}  // namespace

DocSalvage SalvageDocFile(std::span<const uint8_t> bytes, DocContext& ctx, bool keepGoing) {
    DocSalvage out;
    ctx.findings.clear();
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
        image.TakeSectorShiftFromHeader();
        out.headerSound = image.HeaderLooksSound();
        if (!out.headerSound)
            image.headerPos = image.size;
        if (image.headerPos != 0 && image.headerPos >= image.size - 8) {
            out.headerSound = false;
            if (rebuildLostHeader(image) < 0) {
                ctx.findings.note(FindingGrade::Fatal, docfinding::kSalvageFailed);
                out.result = kSalvageFailed;
                return out;
            }
            ctx.findings.append(image.findings);
            ctx.findings.note(FindingGrade::Potential, docfinding::kHeaderRebuilt);
        }
    } catch (const std::exception&) {
        ctx.statusCode = kStatusSalvageFailed;
        out.result = kSalvageThrew;
        return out;
    }

    // The sector view and the directory are built once: the version probe reads the FIB
    // through them, and the salvage goes on with the same objects. The view is built with a
    // scratch context so that a failure is reported only when the salvage itself gets there.
    bool viewFailed = false;
    std::optional<CDocStorage> probeCopy;
    auto buildView = [&] {
        DocContext scratch;
        out.compound = std::make_unique<CCompoundFile>(*out.image, scratch);
        viewFailed = scratch.statusCode == kStatusSalvageFailed;
        if (viewFailed)
            return;
        out.invalidFatValues = out.compound->CountInvalidFatValues();
        // A few bad values are a few lost links, not a lost file.
        if (out.invalidFatValues != 0 && repairable(out.invalidFatValues, out.compound->fat.size()))
            out.fatValuesRepaired = out.compound->RepairInvalidFatValues();
        ctx.findings.append(out.compound->findings);
        out.storage = std::make_unique<CDocStorage>(*out.compound, ctx);
        out.storage->ReadDirectory();
    };
    out.version = out.image->ClassifyFormatVersion([&]() -> const CDocStorage* {
        buildView();
        if (viewFailed)
            return nullptr;
        // A FAT with damaged values ends the salvage before the tree walk, so the probe walks
        // a copy and the salvage's storage stays as it read the directory.
        if (out.invalidFatValues > out.fatValuesRepaired) {
            probeCopy.emplace(*out.storage);
            probeCopy->WalkDirectoryTree();
            return &*probeCopy;
        }
        out.storage->WalkDirectoryTree();
        return out.storage.get();
    });
    const bool spreadsheet = out.version == kVersionBook || out.version == kVersionWorkbook;
    if (out.version < kVersionWord97 && !keepGoing) {
        out.storage.reset();
        out.compound.reset();
        out.result = kSalvageNotWord97;
        return out;
    }
    if (!out.compound)
        buildView();
    if (viewFailed) {
        ctx.findings.note(FindingGrade::Fatal, docfinding::kSalvageFailed);
        ctx.statusCode = kStatusSalvageFailed;
        out.storage.reset();
        out.result = kSalvageThrew;
        return out;
    }
    if (out.invalidFatValues > out.fatValuesRepaired) {
        ctx.findings.note(FindingGrade::Fatal, docfinding::kFatInvalid);
        out.result = kSalvageFailed;
        return out;
    }
    if (out.storage->WalkDirectoryTree() != 0) {
        ctx.findings.note(FindingGrade::Potential, docfinding::kTreeWalkFailed);
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
