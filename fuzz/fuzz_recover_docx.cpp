// Runs the whole .docx rebuild on a fuzzed file: both packages built in memory by one engine
// against a small template made here. Every package built must read back whole (every entry
// found intact by the salvage scan) and a full package must hold the main document.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "docx/office_broken_repair_2007.h"
#include "docx/template_package.h"
#include "docx/template_store_writer.h"
#include "docx/zip_save_and_store.h"

namespace {

using morvel::ByteSpan;

const char* const kTemplateParts[][2] = {
    {"[Content_Types].xml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
     "package/2006/content-types\"><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
     "</Types>"},
    {"_rels/.rels",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://"
     "schemas.openxmlformats.org/package/2006/relationships\"/>"},
    {"word/_rels/document.xml.rels",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://"
     "schemas.openxmlformats.org/package/2006/relationships\"/>"},
    {"word/styles.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:styles/>"},
    {"word/settings.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:settings/>"},
};

std::unique_ptr<morvel::TemplatePackage> makeTemplate() {
    morvel::ZipSaveAndStore zip;
    zip.OpenMemory();
    for (const auto& part : kTemplateParts) {
        morvel::LocalEntry e;
        e.name = morvel::spanOf(part[0]);
        e.nameLength = static_cast<uint16_t>(e.name.length);
        const ByteSpan content = morvel::spanOf(part[1]);
        zip.AddEntry(e, &content, 1, false);
    }
    zip.Finish();
    std::vector<uint8_t> store = morvel::buildTemplateStore({{"blank", zip.TakeBytes()}}, "n", 7);
    auto t = std::make_unique<morvel::TemplatePackage>();
    if (t->Load(store.data(), static_cast<uint32_t>(store.size())) != 0)
        __builtin_trap();
    return t;
}

// Every entry of a package we built must pass the salvage scan's CRC check.
void checkReadsBack(const std::vector<uint8_t>& package, bool needsMain) {
    if (package.empty())
        return;
    morvel::ZipBrokenExtractor z;
    z.OpenMemory(package.data(), static_cast<uint32_t>(package.size()));
    if (z.EntryCount() == 0 || z.DamagedCount() != 0)
        __builtin_trap();
    if (needsMain && z.FindEntry(morvel::spanOf("word/document.xml")) == morvel::kEntryNotFound)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::unique_ptr<morvel::TemplatePackage> templates = makeTemplate();
    morvel::OfficeBrokenRepair_2007 engine;
    if (engine.OpenDamaged(std::span<const uint8_t>(data, size)) != 0)
        return 0;
    engine.UseTemplate(templates.get());
    std::vector<uint8_t> text, full;
    engine.WriteTextPackage(text);
    checkReadsBack(text, true);
    engine.WriteFullPackage(full);
    checkReadsBack(full, true);
    // The report must be printable whatever happened.
    (void)engine.Report().summary();
    return 0;
}
