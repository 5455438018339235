#include "docx/office_broken_repair_2007.h"

#include <array>
#include <cctype>
#include <map>
#include <string_view>

#include "docx/deflate_splice.h"
#include "docx/left_open_elements.h"
#include "docx/markup_repair.h"
#include "docx/markup_rules.h"
#include "docx/markup_store.h"
#include "docx/package_references.h"
#include "docx/package_synthesis.h"
#include "docx/span_match.h"
#include "docx/zip_save_and_store.h"

namespace morvel {

namespace {

constexpr std::string_view kContentTypes = "[Content_Types].xml";
constexpr std::string_view kMainDocument = "word/document.xml";
constexpr std::string_view kMainRelationships = "word/_rels/document.xml.rels";
constexpr std::string_view kPackageRelationships = "_rels/.rels";
// Room beyond the expected size of a new package: headers, directory, rebuilt parts.
constexpr size_t kOutputSlack = 1 << 16;
// DOS date of parts written anew: 1 January 1980, the earliest a ZIP header can hold.
constexpr uint16_t kNewPartDosDate = 0x0021;

// Parts rewritten by the full-document rules, in the order they are processed.
constexpr std::array<std::string_view, 9> kRewritableParts = {
    "word/document.xml", "word/footnotes.xml", "word/endnotes.xml",
    "word/footer1.xml",  "word/footer2.xml",   "word/footer3.xml",
    "word/header1.xml",  "word/header2.xml",   "word/header3.xml"};

bool found(uint32_t index) {
    return index != kEntryNotFound;
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) != suffix[i])
            return false;
    return true;
}

bool isRelationshipsPart(std::string_view name) {
    return endsWithNoCase(name, ".rels");
}

bool isXmlPart(std::string_view name) {
    return endsWithNoCase(name, ".xml") || isRelationshipsPart(name);
}

// "word/_rels/" + the part name less "word/" + ".rels".
std::string relationshipsPartOf(std::string_view part) {
    return "word/_rels/" + std::string(part.substr(5)) + ".rels";
}

ByteSpan spanOfBytes(const std::vector<uint8_t>& bytes) {
    return ByteSpan(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// A local entry for a part written anew; name must outlive the archive's building.
LocalEntry newEntry(std::string_view name) {
    LocalEntry e;
    e.signature = kLocalHeaderSignature;
    e.modDate = kNewPartDosDate;
    e.name = spanOf(name);
    e.nameLength = static_cast<uint16_t>(e.name.length);
    return e;
}

void copyRaw(ZipSaveAndStore& out, const LocalEntry& entry) {
    out.AddEntry(entry, &entry.data, 1, true);
}

void addSegments(ZipSaveAndStore& out, LocalEntry entry, const std::vector<ByteSpan>& segments,
                 const DeflateOriginal* original = nullptr) {
    entry.nameLength = static_cast<uint16_t>(entry.name.length);
    out.AddEntry(entry, segments.data(), static_cast<uint32_t>(segments.size()), false, original);
}

bool hasMarkup(ByteSpan bytes) {
    MarkUpStore store;
    store.Tokenize(bytes);
    return store.TokenCount() != 0;
}

}  // namespace

int OfficeBrokenRepair_2007::OpenDamaged(const std::filesystem::path& path) {
    try {
        parts_.clear();
        decoded_.clear();
        mainTokens_.reset();
        const int rc = damaged.OpenFile(path);
        indexEntries();
        return rc;
    } catch (...) {
        status = kDocxException;
        message = docxStatusMessage(status);
        throw;
    }
}

int OfficeBrokenRepair_2007::OpenDamaged(std::span<const uint8_t> image) {
    try {
        parts_.clear();
        decoded_.clear();
        mainTokens_.reset();
        damaged.Reset();
        firstEntry_.clear();
        if (image.empty() || image.size() > 0xFFFFFFFFu)
            return 1;
        const int rc = damaged.OpenSpan(image);
        indexEntries();
        return rc;
    } catch (...) {
        status = kDocxException;
        message = docxStatusMessage(status);
        throw;
    }
}

int OfficeBrokenRepair_2007::LoadTemplateStore(const uint8_t* bytes, uint32_t length) {
    try {
        ownTemplate_ = std::make_unique<TemplatePackage>();
        template_ = ownTemplate_.get();
        return ownTemplate_->Load(bytes, length);
    } catch (...) {
        status = kDocxException;
        message = docxStatusMessage(status);
        ownTemplate_.reset();
        template_ = nullptr;
        throw;
    }
}

int OfficeBrokenRepair_2007::guarded(int (OfficeBrokenRepair_2007::*write)(std::vector<uint8_t>&),
                                     std::vector<uint8_t>& out) {
    try {
        return (this->*write)(out);
    } catch (...) {
        out.clear();
        status = kDocxException;
        message = docxStatusMessage(status);
        throw;
    }
}

int OfficeBrokenRepair_2007::toFile(int (OfficeBrokenRepair_2007::*write)(std::vector<uint8_t>&),
                                    const std::filesystem::path& outPath) {
    std::vector<uint8_t> bytes;
    int rc = guarded(write, bytes);
    if (!bytes.empty() && !writeArchiveFile(outPath, bytes)) {
        status = kDocxWriteError;
        rc = finish();
    }
    return rc;
}

int OfficeBrokenRepair_2007::WriteTextPackage(std::vector<uint8_t>& out) {
    return guarded(&OfficeBrokenRepair_2007::writeTextPackage, out);
}

int OfficeBrokenRepair_2007::WriteFullPackage(std::vector<uint8_t>& out) {
    return guarded(&OfficeBrokenRepair_2007::writeFullPackage, out);
}

int OfficeBrokenRepair_2007::WriteTextPackage(const std::filesystem::path& outPath) {
    return toFile(&OfficeBrokenRepair_2007::writeTextPackage, outPath);
}

int OfficeBrokenRepair_2007::WriteFullPackage(const std::filesystem::path& outPath) {
    return toFile(&OfficeBrokenRepair_2007::writeFullPackage, outPath);
}

const ZipBrokenExtractor* OfficeBrokenRepair_2007::linkTemplate() {
    if (template_ == nullptr || !template_->Loaded()) {
        status = kDocxTemplatesNotLinked;
        return nullptr;
    }
    if (!template_->Linked()) {
        status = kDocxTemplateLinkError;
        return nullptr;
    }
    return &template_->Package();
}

int OfficeBrokenRepair_2007::finish() {
    message = docxStatusMessage(status);
    return static_cast<int>(status);
}

void OfficeBrokenRepair_2007::indexEntries() {
    firstEntry_.clear();
    firstEntry_.reserve(damaged.EntryCount());
    for (uint32_t i = 0; i < damaged.EntryCount(); ++i)
        firstEntry_.emplace(damaged.Entry(i).name.view(), i);
}

uint32_t OfficeBrokenRepair_2007::findEntry(std::string_view name) const {
    const auto it = firstEntry_.find(name);
    return it == firstEntry_.end() ? kEntryNotFound : it->second;
}

// Looks a part up once: its intact entry, else its damaged entry decoded as far as it goes
// (XML parts then repaired as markup). A damaged part is usable when its markup survived (XML)
// or it decoded whole (anything else); the package's bookkeeping parts only when whole, since
// a cut-off list of content types or relationships is better rebuilt from the parts present.
const OfficeBrokenRepair_2007::SalvagedPart& OfficeBrokenRepair_2007::salvaged(
    std::string_view name, uint32_t damagedIndex) {
    if (auto it = parts_.find(name); it != parts_.end())
        return it->second;
    SalvagedPart p;
    const ByteSpan key = spanOf(name);
    if (const uint32_t i = findEntry(name); found(i)) {
        p.entry = &damaged.Entry(i);
        p.bytes = damaged.GetEntryData(i);
        p.decodedBytes = p.declaredBytes = p.entry->uncompressedSize;
    } else if (const uint32_t d = found(damagedIndex) ? damagedIndex : damaged.FindDamaged(key);
               found(d)) {
        ZipBrokenExtractor::DecodedPart part = damaged.DecodeDamaged(d);
        p.state = part.state;
        p.decodedBytes = part.bytes.size();
        p.declaredBytes = part.declaredSize;
        const bool xml = isXmlPart(name);
        const bool bookkeeping = name == kContentTypes || isRelationshipsPart(name);
        std::vector<uint8_t> bytes =
            xml ? repairMarkup(spanOfBytes(part.bytes)) : std::move(part.bytes);
        const bool usable = xml ? hasMarkup(spanOfBytes(bytes)) &&
                                      (!bookkeeping || part.state == PartState::Repaired)
                                : part.state == PartState::Repaired;
        if (usable) {
            decoded_.push_back(std::move(bytes));
            p.entry = &damaged.Damaged(d);
            p.bytes = spanOfBytes(decoded_.back());
        } else {
            p.state = PartState::LeftOut;
        }
    } else {
        p.state = PartState::LeftOut;
    }
    return parts_.emplace(std::string(name), p).first->second;
}

// Whether a part can be had, without inflating an intact entry's content to know it.
bool OfficeBrokenRepair_2007::usable(std::string_view name) {
    return found(findEntry(name)) || salvaged(name).usable();
}

// The tokens of a part: the main document's are kept for the other package, any other part
// is cut into scratch.
const MarkUpStore& OfficeBrokenRepair_2007::tokensOf(std::string_view name,
                                                     const SalvagedPart& part,
                                                     MarkUpStore& scratch) {
    if (name != kMainDocument) {
        scratch.Tokenize(part.bytes);
        return scratch;
    }
    if (!mainTokens_) {
        mainTokens_ = std::make_unique<MarkUpStore>();
        mainTokens_->Tokenize(part.bytes);
    }
    return *mainTokens_;
}

void OfficeBrokenRepair_2007::addReport(std::string_view name, const SalvagedPart& part) {
    report_.parts.push_back({std::string(name), part.state, part.decodedBytes, part.declaredBytes});
}

void OfficeBrokenRepair_2007::addReport(std::string_view name, PartState state) {
    report_.parts.push_back({std::string(name), state, 0, 0});
}

int OfficeBrokenRepair_2007::writeTextPackage(std::vector<uint8_t>& out) {
    status = kDocxOk;
    out.clear();
    report_ = PackageReport();
    report_.inflateBudgetExhausted = damaged.InflateBudgetExhausted();
    const ZipBrokenExtractor* tpl = linkTemplate();
    if (damaged.ArchiveSize() == 0 || tpl == nullptr || tpl->ArchiveSize() == 0) {
        status = kDocxNoData;
        return finish();
    }
    const SalvagedPart& main = salvaged(kMainDocument);
    if (!main.usable()) {
        status = kDocxDocumentNotFound;
        return finish();
    }
    if (main.bytes.length == 0 || main.bytes.absent()) {
        status = kDocxBadDocumentSize;
        return finish();
    }
    MarkUpStore scratch;
    std::vector<ByteSpan> segments;
    status = applyTextOnlyRules(tokensOf(kMainDocument, main, scratch), segments);
    if (segments.empty()) {
        // Nothing usable came out of the main document: no package, and no success either.
        if (status == kDocxOk)
            status = kDocxBadDocumentSize;
        return finish();
    }
    const std::string closing =
        main.state == PartState::Intact ? std::string() : closingTagsFor(segments);
    if (!closing.empty())
        segments.push_back(spanOf(closing));
    // Room for the template and the main document deflated at its worst case: its deflated
    // form is far smaller and the pages it does not reach are never touched, but the package
    // is then never copied while it grows.
    size_t textBytes = 0;
    for (ByteSpan s : segments)
        textBytes += s.length;
    ZipSaveAndStore zip;
    zip.OpenMemory();
    zip.Reserve(size_t{tpl->ArchiveSize()} + kOutputSlack +
                ZipSaveAndStore::EntryRoom(main.entry->name.length, textBytes));
    for (uint32_t i = 0; i < tpl->EntryCount(); ++i) {
        copyRaw(zip, tpl->Entry(i));
        addReport(tpl->Entry(i).name.view(), PartState::FromTemplate);
    }
    addSegments(zip, *main.entry, segments);
    addReport(kMainDocument, main);
    zip.Finish();
    if (zip.Failed())
        status = kDocxWriteError;
    else
        out = zip.TakeBytes();
    return finish();
}

// What the full package is made of, settled before and while it is written.
struct OfficeBrokenRepair_2007::FullPlan {
    const ZipBrokenExtractor* tpl = nullptr;
    PartNameSet salvagedNames;                   // intact entries and usable decoded parts
    std::vector<std::string_view> decodedNames;  // usable parts decoded from damaged entries
    MissingParts missing;
    std::vector<uint32_t> fromTemplate;  // template entries that stand in for lost parts
    PartNameSet leftOut;                 // lost parts named by an override the template lacks
    PartNameSet present;                 // every part the new package holds
    std::vector<std::string> presentNames;
    bool synthContentTypes = false, synthPackageRels = false, synthMainRels = false;
    // Each relationships part's list, and those rewritten (deflated) ahead of their place.
    std::map<std::string, std::vector<RelationshipRecord>, std::less<>> relationships;
    std::map<std::string, RewrittenPart, std::less<>> rewrittenRels;
    bool rewriteFailed = false;
    std::vector<bool> written;  // by salvaged entry: already in the package
    PartNameSet rewritten;      // parts rewritten by the rules
    PartNameSet reported;       // parts the report lists
    std::vector<std::string> droppedTargets;
    // Texts made for the package, kept until it is finished.
    std::deque<std::string> texts;
};

void OfficeBrokenRepair_2007::releasePart(uint32_t index) {
    // Inflated parts are freed once used; the main document stays for the other package. A
    // part needed again is inflated again, so at most one large part is held at a time.
    const LocalEntry& entry = damaged.Entry(index);
    if (entry.name.view() == kMainDocument)
        return;
    if (auto cached = parts_.find(entry.name.view());
        cached != parts_.end() && cached->second.entry == &entry)
        parts_.erase(cached);
    damaged.ReleaseEntryData(index);
}

void OfficeBrokenRepair_2007::planFullParts(FullPlan& plan, const SalvagedPart& contentTypes) {
    // The parts the salvage gives, intact or decoded; damaged ones are decoded here once.
    for (uint32_t i = 0; i < damaged.EntryCount(); ++i)
        plan.salvagedNames.emplace(damaged.Entry(i).name.view());
    for (uint32_t d = 0; d < damaged.DamagedCount(); ++d) {
        const std::string_view name = damaged.Damaged(d).name.view();
        if (salvaged(name, d).usable() && plan.salvagedNames.emplace(name).second)
            plan.decodedNames.push_back(name);
    }
    const std::vector<ByteSpan> overrides =
        contentTypes.usable() ? overriddenParts(contentTypes.bytes) : std::vector<ByteSpan>();
    plan.missing.styles = !plan.salvagedNames.count("word/styles.xml");
    plan.missing.fontTable = !plan.salvagedNames.count("word/fontTable.xml");
    plan.missing.endnotes = !plan.salvagedNames.count("word/endnotes.xml");
    plan.missing.footnotes = !plan.salvagedNames.count("word/footnotes.xml");

    // Lost parts named by an override come from the template; those it lacks are left out,
    // and with them their override and every relationship that leads to them.
    plan.present = plan.salvagedNames;
    for (ByteSpan part : overrides) {
        if (plan.present.count(part.view()))
            continue;
        const uint32_t t = plan.tpl->FindEntry(part);
        if (found(t)) {
            plan.fromTemplate.push_back(t);
            plan.present.emplace(part.view());
        } else {
            status = kDocxLostPartNotInTemplate;
            plan.leftOut.emplace(part.view());
        }
    }
    plan.synthContentTypes = !contentTypes.usable();
    plan.synthPackageRels = !usable(kPackageRelationships);
    plan.synthMainRels = !usable(kMainRelationships);
}

void OfficeBrokenRepair_2007::readFullRelationships(FullPlan& plan) {
    // Whether a part will be in the new package: salvaged, a bookkeeping part (rebuilt when
    // lost), or a lost part the template holds, which the loop below takes for every
    // relationship that leads to it.
    const auto willBePresent = [&](const std::string& name) {
        return plan.salvagedNames.count(name) || name == kContentTypes ||
               name == kPackageRelationships || name == kMainRelationships ||
               found(plan.tpl->FindEntry(spanOf(name)));
    };
    // Each relationships part is read once, here: its relationships are listed, and an intact
    // one that leads to parts the package will not hold is rewritten (deflated) at once, so
    // that its bytes are never needed, or inflated, again and only one is held at a time.
    // Lost parts that a relationship leads to are taken from the template too when it has
    // them; without content types these are the only names of lost parts the package keeps.
    for (const std::string& relsName : plan.salvagedNames) {
        if (!isRelationshipsPart(relsName))
            continue;
        const SalvagedPart& rels = salvaged(relsName);
        if (!rels.usable())
            continue;
        const std::vector<RelationshipRecord>& list =
            plan.relationships.emplace(relsName, listRelationships(rels.bytes)).first->second;
        const std::string folder = sourceFolderOf(relsName);
        for (const std::string& target : internalTargets(list, folder)) {
            if (plan.present.count(target))
                continue;
            const uint32_t t = plan.tpl->FindEntry(spanOf(target));
            if (found(t)) {
                plan.fromTemplate.push_back(t);
                plan.present.emplace(target);
            }
        }
        if (rels.state != PartState::Intact)
            continue;
        PartNameSet kept;
        for (const RelationshipRecord& r : list)
            if (!r.external)
                if (std::string t = targetEntryName(spanOf(r.target), folder); willBePresent(t))
                    kept.emplace(std::move(t));
        const uint32_t index = findEntry(relsName);
        std::vector<ByteSpan> segments;
        std::vector<std::string> dropped;
        if (dropDanglingRelationships(rels.bytes, folder, kept, segments, dropped)) {
            RewrittenPart& r = plan.rewrittenRels[relsName];
            r.entry = damaged.Entry(index);
            r.entry.nameLength = static_cast<uint16_t>(r.entry.name.length);
            r.droppedTargets = std::move(dropped);
            plan.rewriteFailed =
                plan.rewriteFailed ||
                !ZipSaveAndStore::DeflateEntry(r.entry, segments.data(),
                                               static_cast<uint32_t>(segments.size()), r.data);
        }
        releasePart(index);
    }
    plan.present.emplace(kContentTypes);
    plan.present.emplace(kPackageRelationships);
    plan.present.emplace(kMainRelationships);
    plan.presentNames.assign(plan.present.begin(), plan.present.end());
}

void OfficeBrokenRepair_2007::writeRewrittenParts(ZipSaveAndStore& zip, FullPlan& plan) {
    for (std::string_view part : kRewritableParts) {
        std::vector<ByteSpan> keptIds;
        if (const auto rels = plan.relationships.find(relationshipsPartOf(part));
            rels != plan.relationships.end())
            keptIds = keptRelationshipIds(rels->second, plan.salvagedNames);
        const SalvagedPart& p = salvaged(part);
        if (!p.usable())
            continue;
        MarkUpStore scratch;
        std::vector<ByteSpan> segments;
        const uint32_t rc =
            applyFullDocumentRules(tokensOf(part, p, scratch), keptIds, plan.missing, segments);
        if (rc != kDocxOk)
            status = rc;
        // An intact part that yields nothing (no declaration, markup left open) is copied as
        // salvaged below rather than lost from the package.
        if (segments.empty() && p.state == PartState::Intact)
            continue;
        if (p.state != PartState::Intact) {
            plan.texts.push_back(closingTagsFor(segments));
            segments.push_back(spanOf(plan.texts.back()));
        }
        // An intact part's new content is mostly its old bytes, which its compressed
        // stream already holds; its bytes were inflated from that stream and their CRC
        // checked.
        const DeflateOriginal original{p.entry->data, p.bytes, true};
        const bool reuse = p.state == PartState::Intact && p.entry->method == kMethodDeflate;
        addSegments(zip, *p.entry, segments, reuse ? &original : nullptr);
        addReport(part, p);
        plan.rewritten.emplace(part);
        if (p.state == PartState::Intact) {
            const uint32_t index = findEntry(part);
            plan.written[index] = true;
            releasePart(index);
        }
    }
}

void OfficeBrokenRepair_2007::writeSalvagedEntries(ZipSaveAndStore& zip, FullPlan& plan) {
    // Every other salvaged entry, in scan order: relationships and content types lose what
    // leads to lost parts, the rest is copied as it is.
    for (uint32_t i = 0; i < damaged.EntryCount(); ++i) {
        if (plan.written[i])
            continue;
        const LocalEntry& entry = damaged.Entry(i);
        const std::string_view name = entry.name.view();
        if (isRelationshipsPart(name) && i == findEntry(name)) {
            // Read, and rewritten where needed, before.
            if (auto r = plan.rewrittenRels.find(name); r != plan.rewrittenRels.end()) {
                zip.AddEntry(r->second.entry, &r->second.entry.data, 1, true);
                plan.droppedTargets.insert(plan.droppedTargets.end(),
                                           r->second.droppedTargets.begin(),
                                           r->second.droppedTargets.end());
                plan.rewrittenRels.erase(r);
            } else {
                copyRaw(zip, entry);
            }
        } else {
            std::vector<ByteSpan> segments;
            bool rewrite = false;
            if (name == kContentTypes || isRelationshipsPart(name)) {
                const auto cached = parts_.find(name);
                const bool reuse = cached != parts_.end() && cached->second.entry == &entry;
                const ByteSpan data = reuse ? cached->second.bytes : damaged.GetEntryData(i);
                rewrite = name == kContentTypes
                              ? dropLostOverrides(data, plan.present, segments)
                              : dropDanglingRelationships(data, sourceFolderOf(name), plan.present,
                                                          segments, plan.droppedTargets);
            }
            if (rewrite)
                addSegments(zip, entry, segments);
            else
                copyRaw(zip, entry);
        }
        releasePart(i);
        if (plan.reported.emplace(name).second)
            report_.parts.push_back({std::string(name), PartState::Intact, entry.uncompressedSize,
                                     entry.uncompressedSize});
    }
    // Parts decoded from damaged entries, as far as they go.
    for (std::string_view name : plan.decodedNames) {
        if (plan.rewritten.count(name))
            continue;
        const SalvagedPart& p = salvaged(name);
        std::vector<ByteSpan> segments;
        const bool rewrite =
            name == kContentTypes
                ? dropLostOverrides(p.bytes, plan.present, segments)
                : isRelationshipsPart(name) &&
                      dropDanglingRelationships(p.bytes, sourceFolderOf(name), plan.present,
                                                segments, plan.droppedTargets);
        if (!rewrite)
            segments.assign(1, p.bytes);
        addSegments(zip, *p.entry, segments);
        addReport(name, p);
        plan.reported.emplace(name);
    }
}

void OfficeBrokenRepair_2007::writeStandInParts(ZipSaveAndStore& zip, FullPlan& plan,
                                                const SalvagedPart& main) {
    // Bookkeeping parts that were lost are written anew from the parts present.
    if (plan.synthPackageRels) {
        plan.texts.push_back(synthesisePackageRelationships(plan.presentNames));
        const ByteSpan s = spanOf(plan.texts.back());
        zip.AddEntry(newEntry(kPackageRelationships), &s, 1, false);
        addReport(kPackageRelationships, PartState::Synthesised);
    }
    if (plan.synthMainRels) {
        // The main document's references cannot be matched to the new Ids: the rules have
        // removed them all, and the new Ids avoid every one so none can resolve wrongly.
        PartNameSet takenIds;
        collectReferencedIds(main.bytes, takenIds);
        plan.texts.push_back(synthesiseDocumentRelationships(plan.presentNames, takenIds));
        const ByteSpan s = spanOf(plan.texts.back());
        zip.AddEntry(newEntry(kMainRelationships), &s, 1, false);
        addReport(kMainRelationships, PartState::Synthesised);
    }
    for (uint32_t t : plan.fromTemplate) {
        copyRaw(zip, plan.tpl->Entry(t));
        addReport(plan.tpl->Entry(t).name.view(), PartState::FromTemplate);
    }
}

void OfficeBrokenRepair_2007::reportLeftOut(FullPlan& plan) {
    // What the package does without: damaged parts that could not be used, lost parts the
    // template lacks, and targets of relationships that were dropped.
    for (uint32_t d = 0; d < damaged.DamagedCount(); ++d) {
        const std::string_view name = damaged.Damaged(d).name.view();
        const SalvagedPart& p = salvaged(name);
        if (!p.usable() && !plan.present.count(name) && plan.reported.emplace(name).second)
            addReport(name, p);
    }
    for (const std::string& name : plan.leftOut)
        if (plan.reported.emplace(name).second)
            addReport(name, PartState::LeftOut);
    for (const std::string& name : plan.droppedTargets)
        if (plan.reported.emplace(name).second)
            addReport(name, PartState::LeftOut);
}

int OfficeBrokenRepair_2007::writeFullPackage(std::vector<uint8_t>& out) {
    status = kDocxOk;
    out.clear();
    report_ = PackageReport();
    report_.inflateBudgetExhausted = damaged.InflateBudgetExhausted();
    FullPlan plan;
    plan.tpl = linkTemplate();
    if (plan.tpl == nullptr)
        return finish();
    const SalvagedPart& contentTypes = salvaged(kContentTypes);
    const SalvagedPart& main = salvaged(kMainDocument);
    if (!contentTypes.usable())
        status = kDocxContentTypesNotFound;
    if (!main.usable()) {
        if (status == kDocxOk)
            status = kDocxDocumentNotFound;
        return finish();
    }
    planFullParts(plan, contentTypes);
    readFullRelationships(plan);

    ZipSaveAndStore zip;
    zip.OpenMemory();
    // Room for the salvaged archive's raw copies and for every part that is deflated anew at
    // its worst case (a large part at the faster level comes out larger than its original),
    // so the package is never copied while it grows; pages it does not reach stay untouched.
    size_t room = size_t{damaged.ArchiveSize()} + kOutputSlack;
    for (std::string_view part : kRewritableParts)
        if (const SalvagedPart& p = salvaged(part); p.usable())
            room += ZipSaveAndStore::EntryRoom(part.size(), p.bytes.length);
    for (std::string_view name : plan.decodedNames)
        room += ZipSaveAndStore::EntryRoom(name.size(), salvaged(name).bytes.length);
    zip.Reserve(room);
    if (plan.synthContentTypes) {
        plan.texts.push_back(synthesiseContentTypes(plan.presentNames));
        const ByteSpan s = spanOf(plan.texts.back());
        zip.AddEntry(newEntry(kContentTypes), &s, 1, false);
        addReport(kContentTypes, PartState::Synthesised);
        plan.reported.emplace(kContentTypes);
    }
    plan.written.assign(damaged.EntryCount(), false);
    writeRewrittenParts(zip, plan);
    plan.reported.insert(plan.rewritten.begin(), plan.rewritten.end());
    writeSalvagedEntries(zip, plan);
    writeStandInParts(zip, plan, main);
    reportLeftOut(plan);

    zip.Finish();
    if (zip.Failed() || plan.rewriteFailed)
        status = kDocxWriteError;
    else
        out = zip.TakeBytes();
    return finish();
}

}  // namespace morvel
