#include "docx/office_broken_repair_2007.h"

#include <array>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "docx/markup_rules.h"
#include "docx/markup_store.h"
#include "docx/span_match.h"
#include "docx/zip_save_and_store.h"

namespace morvel {

namespace {

constexpr std::array<std::string_view, 15> kMessages = {
    "O'k",
    "Error in InZip.",
    "Error in InZip_Template.",
    "Error: InZip or InZip_Template do not has data.",
    "Error: Close tag is different from open tag.",
    "Error: Empty tag in Document found.",
    "Error in size of document.",
    "word/document.xml - NotFound.",
    "close tag without any ohers.",
    "Content_Types not found.",
    "Files lost in Content_Types not found in Template too",
    "Templates not linked",
    "Error in Teplates Link",
    "Exception!",
    "Error: the new package could not be written.",
};

constexpr std::string_view kContentTypes = "[Content_Types].xml";
constexpr std::string_view kMainDocument = "word/document.xml";
constexpr std::string_view kMainRelationships = "word/_rels/document.xml.rels";

// Parts rewritten by the full-document rules, in the order they are processed.
constexpr std::array<std::string_view, 9> kRewritableParts = {
    "word/document.xml", "word/footnotes.xml", "word/endnotes.xml",
    "word/footer1.xml",  "word/footer2.xml",   "word/footer3.xml",
    "word/header1.xml",  "word/header2.xml",   "word/header3.xml"};

bool found(uint32_t index) {
    return index != kEntryNotFound;
}

// "word/_rels/" + the part name less "word/" + ".rels".
std::string relationshipsPartOf(std::string_view part) {
    return "word/_rels/" + std::string(part.substr(5)) + ".rels";
}

// The folder of the part that a relationships part belongs to: "word/" for
// "word/_rels/document.xml.rels", "" for "_rels/.rels".
std::string sourceFolderOf(std::string_view relsName) {
    size_t at = relsName.rfind("_rels/");
    return at == std::string_view::npos ? std::string() : std::string(relsName.substr(0, at));
}

// The package entry a relationship target names, seen from a part in folder: relative
// targets are resolved against it ("../" climbs), absolute ones start at the package root.
std::string targetEntryName(ByteSpan target, const std::string& folder) {
    std::string_view t = target.view();
    std::vector<std::string> parts;
    std::string path = t.starts_with("/") ? std::string(t.substr(1)) : folder + std::string(t);
    size_t from = 0;
    while (from <= path.size()) {
        size_t slash = path.find('/', from);
        std::string seg =
            path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        if (seg == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        if (slash == std::string::npos)
            break;
        from = slash + 1;
    }
    std::string name;
    for (const std::string& seg : parts)
        name += (name.empty() ? "" : "/") + seg;
    return name;
}

struct Relationship {
    ByteSpan id, target;
    bool external = false;
};

// Reads the Id, Target and TargetMode of a "Relationship" token, in attribute order; a
// TargetMode ends the reading.
Relationship readRelationship(const MarkUpStore& rels, uint32_t index, TagAttributes& attrs) {
    Relationship r;
    rels.ParseAttributes(index, attrs);
    for (size_t a = 0; a < attrs.names.size(); ++a) {
        if (Equals(attrs.names[a], "TargetMode")) {
            r.external = Equals(attrs.values[a], "External");
            break;
        }
        if (Equals(attrs.names[a], "Id"))
            r.id = attrs.values[a];
        else if (Equals(attrs.names[a], "Target"))
            r.target = attrs.values[a];
    }
    return r;
}

// The relationships part without the internal relationships whose target is not among the
// entries the new package will hold; false when nothing had to go.
bool dropDanglingRelationships(ByteSpan relsData, const std::string& folder,
                               const std::set<std::string, std::less<>>& present,
                               std::vector<ByteSpan>& segments) {
    MarkUpStore rels;
    rels.Tokenize(relsData);
    if (rels.TokenCount() == 0)
        return false;
    TagAttributes attrs;
    bool dropped = false, droppedLast = false;
    for (uint32_t i = 0; i < rels.TokenCount(); ++i) {
        segments.push_back(rels.GapBefore(i));
        const ByteSpan name = rels.GetTagName(i);
        bool drop = false;
        if (Equals(name, "Relationship")) {
            Relationship r = readRelationship(rels, i, attrs);
            drop = !r.external && !present.count(targetEntryName(r.target, folder));
        } else if (Equals(name, "/Relationship")) {
            drop = droppedLast;
        }
        if (!drop)
            segments.push_back(rels.Token(i));
        dropped = dropped || drop;
        droppedLast = drop;
    }
    const ByteSpan last = rels.Token(rels.TokenCount() - 1);
    segments.emplace_back(last.end(), static_cast<uint32_t>(relsData.end() - last.end()));
    return dropped;
}

// The Ids of the relationships in a relationships part that still lead somewhere: external
// ones, and internal ones whose target entry was salvaged.
std::vector<ByteSpan> keptRelationshipIds(ZipBrokenExtractor& damaged, ByteSpan relsData) {
    std::vector<ByteSpan> kept;
    MarkUpStore rels;
    rels.Tokenize(relsData);
    TagAttributes attrs;
    for (uint32_t i = 0; i < rels.TokenCount(); ++i) {
        if (!Equals(rels.GetTagName(i), "Relationship"))
            continue;
        Relationship r = readRelationship(rels, i, attrs);
        if (r.external) {
            kept.push_back(r.id);
        } else if (r.id.length != 0 && r.target.length != 0) {
            std::string entry = targetEntryName(r.target, "word/");
            if (found(damaged.FindEntry(spanOf(entry))))
                kept.push_back(r.id);
        }
    }
    return kept;
}

// Part names of the Override elements of the content types, without their leading '/'.
std::vector<ByteSpan> overriddenParts(ByteSpan contentTypes) {
    std::vector<ByteSpan> parts;
    MarkUpStore store;
    store.Tokenize(contentTypes);
    TagAttributes attrs;
    for (uint32_t i = 0; i < store.TokenCount(); ++i) {
        if (!Equals(store.GetTagName(i), "Override"))
            continue;
        store.ParseAttributes(i, attrs);
        ByteSpan partName;
        for (size_t a = 0; a < attrs.names.size(); ++a)
            if (Equals(attrs.names[a], "PartName"))
                partName = attrs.values[a];
        if (StartsWith(partName, "/"))
            partName = ByteSpan(partName.data + 1, partName.length - 1);
        parts.push_back(partName);
    }
    return parts;
}

void copyRaw(ZipSaveAndStore& out, const LocalEntry& entry) {
    out.AddEntry(entry, &entry.data, 1, true);
}

}  // namespace

ByteSpan docxStatusMessage(uint32_t status) {
    return status < kMessages.size() ? spanOf(kMessages[status]) : ByteSpan();
}

int OfficeBrokenRepair_2007::OpenDamaged(const std::filesystem::path& path) {
    try {
        return damaged.OpenFile(path);
    } catch (...) {
        status = kDocxException;
        message = docxStatusMessage(status);
        throw;
    }
}

int OfficeBrokenRepair_2007::LoadTemplateStore(const uint8_t* bytes, uint32_t length) {
    try {
        templateStore.Clear();
        storeLoaded = 0;
        linkedTemplate = -1;
        int rc = templateStore.Load(bytes, length);
        if (rc == 0)
            storeLoaded = 1;
        return rc;
    } catch (...) {
        status = kDocxException;
        message = docxStatusMessage(status);
        storeLoaded = 0;
        throw;
    }
}

int OfficeBrokenRepair_2007::WriteTextPackage(const std::filesystem::path& outPath) {
    try {
        return writeTextPackage(outPath);
    } catch (...) {
        status = kDocxException;
        message = docxStatusMessage(status);
        throw;
    }
}

int OfficeBrokenRepair_2007::WriteFullPackage(const std::filesystem::path& outPath) {
    try {
        return writeFullPackage(outPath);
    } catch (...) {
        status = kDocxException;
        message = docxStatusMessage(status);
        throw;
    }
}

void OfficeBrokenRepair_2007::linkTemplate() {
    if (storeLoaded == 0) {
        status = kDocxTemplatesNotLinked;
        return;
    }
    if (linkedTemplate == 0)
        return;
    if (templateStore.PackageCount() == 0) {
        status = kDocxTemplateLinkError;
        return;
    }
    ByteSpan package = templateStore.PackageData(0);
    templatePackage.Reset();
    if (templatePackage.OpenMemory(package.data, package.length) != 0)
        status = kDocxTemplateLinkError;
    else
        linkedTemplate = 0;
}

int OfficeBrokenRepair_2007::finish() {
    message = docxStatusMessage(status);
    return static_cast<int>(status);
}

int OfficeBrokenRepair_2007::writeTextPackage(const std::filesystem::path& outPath) {
    status = kDocxOk;
    linkTemplate();
    if (damaged.ArchiveSize() == 0 || templatePackage.ArchiveSize() == 0) {
        status = kDocxNoData;
        return finish();
    }
    const uint32_t main = damaged.FindEntry(spanOf(kMainDocument));
    if (status != kDocxOk)
        return finish();
    if (!found(main)) {
        status = kDocxDocumentNotFound;
        return finish();
    }
    ByteSpan content = damaged.GetEntryData(main);
    if (content.length == 0 || content.absent()) {
        status = kDocxBadDocumentSize;
        return finish();
    }
    MarkUpStore store;
    store.Tokenize(content);
    std::vector<ByteSpan> segments;
    status = applyTextOnlyRules(store, segments);
    if (segments.empty()) {
        // Nothing usable came out of the main document: no package, and no success either.
        if (status == kDocxOk)
            status = kDocxBadDocumentSize;
        return finish();
    }
    ZipSaveAndStore out;
    out.OpenOutput(outPath);
    for (uint32_t i = 0; i < templatePackage.EntryCount(); ++i)
        copyRaw(out, templatePackage.Entry(i));
    out.AddEntry(damaged.Entry(main), segments.data(), static_cast<uint32_t>(segments.size()),
                 false);
    out.Finish();
    if (out.Failed())
        status = kDocxWriteError;
    return finish();
}

int OfficeBrokenRepair_2007::writeFullPackage(const std::filesystem::path& outPath) {
    status = kDocxOk;
    linkTemplate();
    const uint32_t contentTypes = damaged.FindEntry(spanOf(kContentTypes));
    const uint32_t main = damaged.FindEntry(spanOf(kMainDocument));
    if (status != kDocxOk)
        return finish();
    if (!found(contentTypes)) {
        status = kDocxContentTypesNotFound;
        return finish();
    }
    const std::vector<ByteSpan> overrides = overriddenParts(damaged.GetEntryData(contentTypes));
    MissingParts missing;
    missing.styles = !found(damaged.FindEntry(spanOf("word/styles.xml")));
    missing.fontTable = !found(damaged.FindEntry(spanOf("word/fontTable.xml")));
    missing.endnotes = !found(damaged.FindEntry(spanOf("word/endnotes.xml")));
    missing.footnotes = !found(damaged.FindEntry(spanOf("word/footnotes.xml")));
    if (!found(main)) {
        status = kDocxDocumentNotFound;
        return finish();
    }

    ZipSaveAndStore out;
    out.OpenOutput(outPath);
    std::vector<bool> written(damaged.EntryCount(), false);
    for (std::string_view part : kRewritableParts) {
        const std::string relsName = relationshipsPartOf(part);
        std::vector<ByteSpan> keptIds;
        const uint32_t rels = damaged.FindEntry(spanOf(relsName));
        if (found(rels))
            keptIds = keptRelationshipIds(damaged, damaged.GetEntryData(rels));
        const uint32_t index = damaged.FindEntry(spanOf(part));
        if (!found(index))
            continue;
        MarkUpStore store;
        store.Tokenize(damaged.GetEntryData(index));
        std::vector<ByteSpan> segments;
        const uint32_t rc = applyFullDocumentRules(store, keptIds, missing, segments);
        if (rc != kDocxOk)
            status = rc;
        // A part that yields nothing (no declaration, markup left open) is copied as
        // salvaged below rather than lost from the package.
        if (segments.empty())
            continue;
        out.AddEntry(damaged.Entry(index), segments.data(), static_cast<uint32_t>(segments.size()),
                     false);
        written[index] = true;
    }
    // Entries the new package will hold, so that relationships to lost parts can be left
    // out: a relationship whose target is missing makes the whole package unreadable.
    std::set<std::string, std::less<>> present;
    for (uint32_t i = 0; i < damaged.EntryCount(); ++i)
        present.emplace(damaged.Entry(i).name.view());
    if (!present.count(kMainRelationships) &&
        found(templatePackage.FindEntry(spanOf(kMainRelationships))))
        present.emplace(kMainRelationships);
    for (ByteSpan part : overrides)
        if (found(templatePackage.FindEntry(part)))
            present.emplace(part.view());

    for (uint32_t i = 0; i < damaged.EntryCount(); ++i) {
        if (written[i])
            continue;
        const LocalEntry& entry = damaged.Entry(i);
        std::vector<ByteSpan> segments;
        if (entry.name.view().ends_with(".rels") &&
            dropDanglingRelationships(damaged.GetEntryData(i), sourceFolderOf(entry.name.view()),
                                      present, segments))
            out.AddEntry(entry, segments.data(), static_cast<uint32_t>(segments.size()), false);
        else
            copyRaw(out, entry);
    }
    if (!found(damaged.FindEntry(spanOf(kMainRelationships)))) {
        const uint32_t t = templatePackage.FindEntry(spanOf(kMainRelationships));
        if (found(t))
            copyRaw(out, templatePackage.Entry(t));
        else
            status = kDocxLostPartNotInTemplate;
    }
    for (ByteSpan part : overrides) {
        if (found(damaged.FindEntry(part)))
            continue;
        const uint32_t t = templatePackage.FindEntry(part);
        if (found(t))
            copyRaw(out, templatePackage.Entry(t));
        else
            status = kDocxLostPartNotInTemplate;
    }
    out.Finish();
    if (out.Failed())
        status = kDocxWriteError;
    return finish();
}

}  // namespace morvel
