#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "docx/docx_status.h"
#include "docx/markup_store.h"
#include "docx/part_report.h"
#include "docx/template_package.h"
#include "docx/zip_broken_extractor.h"
#include "docx/zip_save_and_store.h"
#include "platform/byte_span.h"

namespace morvel {

// The DOCX repair engine: salvages the entries of a damaged package once and builds from them
// the full document (its own parts cleaned of references to lost parts, lost parts filled from
// the template, rebuilt from the parts present or left out with every reference to them) and
// the text-only document (the template package around a main document reduced to text,
// paragraphs, runs, basic formatting and tables). Parts found damaged are decoded as far as
// their data goes; an intact copy always wins. Every write fills a PackageReport.
// Every operation returns 0 on success; an exception inside one sets status 13 and is
// raised again.
class OfficeBrokenRepair_2007 {
  public:
    // 0, or 1 when nothing could be read.
    int OpenDamaged(const std::filesystem::path& path);
    // Scans a file image held in memory, without copying it: the image must outlive the
    // writes that follow. 1 when it is empty.
    int OpenDamaged(std::span<const uint8_t> image);
    // Loads a template store of the engine's own (the store's result, 0 success).
    int LoadTemplateStore(const uint8_t* bytes, uint32_t length);
    // Borrows a template package loaded by the caller, shared by every engine of a run.
    void UseTemplate(const TemplatePackage* shared) { template_ = shared; }

    // Build a package into out (left empty when none is built) and return the status. The
    // full package is built whenever the main document was salvaged, even when the status
    // reports lost content types (9) or a lost part the template lacks (10).
    int WriteTextPackage(std::vector<uint8_t>& out);
    int WriteFullPackage(std::vector<uint8_t>& out);
    // As above, writing the package (when one is built) to outPath; 14 when that fails.
    int WriteTextPackage(const std::filesystem::path& outPath);
    int WriteFullPackage(const std::filesystem::path& outPath);

    uint32_t Status() const { return status; }
    ByteSpan Message() const { return message; }
    // What became of every part of the last package built.
    const PackageReport& Report() const { return report_; }
    // The salvage both packages are built from.
    const ZipBrokenExtractor& Salvage() const { return damaged; }

  private:
    // One part as the salvage gives it: intact, or decoded from a damaged entry.
    struct SalvagedPart {
        const LocalEntry* entry = nullptr;  // null when the part is lost
        ByteSpan bytes;
        PartState state = PartState::Intact;
        uint64_t decodedBytes = 0, declaredBytes = 0;
        bool usable() const { return entry != nullptr; }
    };

    // A part deflated ahead of its place in the package, with what its rewrite dropped.
    struct RewrittenPart {
        LocalEntry entry;  // header fields and data of the new content
        std::vector<uint8_t> data;
        std::vector<std::string> droppedTargets;
    };

    int guarded(int (OfficeBrokenRepair_2007::*write)(std::vector<uint8_t>&),
                std::vector<uint8_t>& out);
    int toFile(int (OfficeBrokenRepair_2007::*write)(std::vector<uint8_t>&),
               const std::filesystem::path& outPath);
    const ZipBrokenExtractor* linkTemplate();
    int finish();
    int writeTextPackage(std::vector<uint8_t>& out);
    int writeFullPackage(std::vector<uint8_t>& out);
    // The steps of the full package, in the order writeFullPackage takes them.
    struct FullPlan;
    void releasePart(uint32_t index);
    void planFullParts(FullPlan& plan, const SalvagedPart& contentTypes);
    void readFullRelationships(FullPlan& plan);
    void writeRewrittenParts(ZipSaveAndStore& zip, FullPlan& plan);
    void writeSalvagedEntries(ZipSaveAndStore& zip, FullPlan& plan);
    void writeStandInParts(ZipSaveAndStore& zip, FullPlan& plan, const SalvagedPart& main);
    void reportLeftOut(FullPlan& plan);
    void indexEntries();
    uint32_t findEntry(std::string_view name) const;
    const SalvagedPart& salvaged(std::string_view name, uint32_t damagedIndex = kEntryNotFound);
    bool usable(std::string_view name);
    const MarkUpStore& tokensOf(std::string_view name, const SalvagedPart& part,
                                MarkUpStore& scratch);
    void addReport(std::string_view name, const SalvagedPart& part);
    void addReport(std::string_view name, PartState state);

    uint32_t status = 0;
    ByteSpan message;
    ZipBrokenExtractor damaged;
    std::unique_ptr<TemplatePackage> ownTemplate_;
    const TemplatePackage* template_ = nullptr;
    // Parts looked up so far, with the bytes decoded from damaged entries; both packages of
    // one engine share them.
    std::map<std::string, SalvagedPart, std::less<>> parts_;
    // The first intact entry of each name, so lookups stay cheap in a crafted archive with a
    // great many entries.
    std::unordered_map<std::string_view, uint32_t> firstEntry_;
    std::deque<std::vector<uint8_t>> decoded_;
    // The main document's tokens, cut once for both packages.
    std::unique_ptr<MarkUpStore> mainTokens_;
    PackageReport report_;
};

}  // namespace morvel
