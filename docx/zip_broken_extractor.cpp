#include "docx/zip_broken_extractor.h"

#include <memory>

#include "docx/deflate_flip_repair.h"
#include "docx/inflate_zip.h"
#include "platform/file_io.h"
#include "platform/large_buffer.h"

namespace morvel {

namespace {

// Where an empty content points, so that it reads as present rather than absent.
constexpr uint8_t kNoBytes[1] = {0};

// An XML part (markup, relationships), whose decoded text can be judged.
bool isMarkupName(std::string_view name) {
    auto endsWith = [&](std::string_view suffix) {
        if (name.size() < suffix.size())
            return false;
        for (size_t i = 0; i < suffix.size(); ++i) {
            const char c = name[name.size() - suffix.size() + i];
            if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != suffix[i])
                return false;
        }
        return true;
    };
    return endsWith(".xml") || endsWith(".rels");
}

}  // namespace

void ZipBrokenExtractor::Reset() {
    std::vector<uint8_t>().swap(owned_);
    archive_ = {};
    scan_ = ZipScanResult();
    entryIndex_.clear();
    damagedIndex_.clear();
    inflations_.clear();
    repairWork_ = 0;
}

int ZipBrokenExtractor::OpenFile(const std::filesystem::path& path) {
    Reset();
    if (readWholeFile(path, owned_) != ReadStatus::Ok || owned_.empty()) {
        Reset();
        return 1;
    }
    archive_ = owned_;
    scan();
    return 0;
}

int ZipBrokenExtractor::OpenMemory(const uint8_t* bytes, uint32_t length) {
    Reset();
    if (bytes == nullptr || length == 0)
        return 0;
    owned_.assign(bytes, bytes + length);
    archive_ = owned_;
    scan();
    return 0;
}

int ZipBrokenExtractor::OpenSpan(std::span<const uint8_t> bytes) {
    Reset();
    if (bytes.data() == nullptr || bytes.empty())
        return 0;
    archive_ = bytes;
    scan();
    return 0;
}

void ZipBrokenExtractor::scan() {
    scan_ = scanDamagedZip(archive_);
    inflations_.assign(scan_.entries.size(), 0);
    uint64_t damagedBytes = 0;
    for (const DamagedEntry& d : scan_.damaged)
        if (d.entry.method == kMethodDeflate)
            damagedBytes += d.entry.data.length;
    repairWork_ = flipRepairBudget(damagedBytes, archive_.size());
    // First in scan order wins for a name that occurs twice.
    for (uint32_t i = 0; i < scan_.entries.size(); ++i)
        entryIndex_.try_emplace(scan_.entries[i].name.view(), i);
    for (uint32_t i = 0; i < scan_.damaged.size(); ++i)
        damagedIndex_.try_emplace(scan_.damaged[i].entry.name.view(), i);
}

uint32_t ZipBrokenExtractor::FindEntry(ByteSpan name) const {
    auto found = entryIndex_.find(name.view());
    return found == entryIndex_.end() ? kEntryNotFound : found->second;
}

uint32_t ZipBrokenExtractor::FindDamaged(ByteSpan name) const {
    auto found = damagedIndex_.find(name.view());
    return found == damagedIndex_.end() ? kEntryNotFound : found->second;
}

ByteSpan ZipBrokenExtractor::GetEntryData(uint32_t index) {
    if (index >= scan_.entries.size())
        return {};
    const LocalEntry& e = scan_.entries[index];
    if (e.method != kMethodDeflate)
        return e.data;
    InflatedBytes& content = scan_.inflated[index];
    if (!scan_.held[index]) {
        if (e.uncompressedSize > maxInflatedSize(e.compressedSize))
            return {};
        ++inflations_[index];
        InflatedBytes out(std::max<uint32_t>(e.uncompressedSize, 1));
        adviseHugePages(out.data(), out.size());
        uint32_t crc = 0;
        if (InflateZip().Inflate(e.data, out.data(), e.uncompressedSize, crc) != 0 || crc != e.crc)
            return {};
        out.resize(e.uncompressedSize);
        content = std::move(out);
        scan_.held[index] = true;
    }
    return ByteSpan(content.empty() ? kNoBytes : content.data(),
                    static_cast<uint32_t>(content.size()));
}

void ZipBrokenExtractor::ReleaseEntryData(uint32_t index) {
    if (index >= scan_.entries.size())
        return;
    InflatedBytes().swap(scan_.inflated[index]);
    scan_.held[index] = false;
}

ZipBrokenExtractor::DecodedPart ZipBrokenExtractor::DecodeDamaged(uint32_t index) const {
    DecodedPart part;
    if (index >= scan_.damaged.size())
        return part;
    const DamagedEntry& d = scan_.damaged[index];
    const LocalEntry& e = d.entry;
    part.declaredSize = d.declaredSize;
    if (e.method == kMethodDeflate) {
        const uint64_t cap = d.declaredTrusted
                                 ? d.declaredSize
                                 : uint64_t{e.data.length} * kDamagedExpansionLimit + 1024;
        FlipRepairTarget target;
        target.crc = d.declaredCrc;
        target.size = d.declaredSize;
        target.sizeKnown = d.declaredTrusted;
        target.markup = isMarkupName(e.name.view());
        target.mayBeCut = e.data.end() == archive_.data() + archive_.size();
        RepairedStream decoded = inflateWithRepair(e.data, target, cap, repairWork_);
        part.bytes = std::move(decoded.bytes);
        if (decoded.exact) {
            part.state = PartState::Repaired;
            return part;
        }
    } else {
        const uint64_t take =
            d.declaredTrusted ? std::min<uint64_t>(d.declaredSize, e.data.length) : e.data.length;
        part.bytes.assign(e.data.begin(), e.data.begin() + take);
    }
    part.state = d.declaredTrusted && part.bytes.size() == d.declaredSize ? PartState::Repaired
                                                                          : PartState::Partial;
    return part;
}

}  // namespace morvel
