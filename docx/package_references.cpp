#include "docx/package_references.h"

#include "docx/markup_store.h"
#include "docx/span_match.h"

namespace morvel {

namespace {

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

// The PartName of an Override token without its leading '/'; the last such attribute wins.
ByteSpan overridePartName(const MarkUpStore& store, uint32_t index, TagAttributes& attrs) {
    store.ParseAttributes(index, attrs);
    ByteSpan partName;
    for (size_t a = 0; a < attrs.names.size(); ++a)
        if (Equals(attrs.names[a], "PartName"))
            partName = attrs.values[a];
    if (StartsWith(partName, "/"))
        partName = ByteSpan(partName.data + 1, partName.length - 1);
    return partName;
}

// Copies a tokenised part to segments, leaving out the tokens drop picks (and the closing tag
// that follows a dropped opening one); false when nothing was dropped.
template <typename Drop>
bool copyWithout(const MarkUpStore& store, ByteSpan data, std::vector<ByteSpan>& segments,
                 std::string_view element, Drop drop) {
    if (store.TokenCount() == 0)
        return false;
    bool dropped = false, droppedLast = false;
    const std::string closing = "/" + std::string(element);
    for (uint32_t i = 0; i < store.TokenCount(); ++i) {
        segments.push_back(store.GapBefore(i));
        const ByteSpan name = store.GetTagName(i);
        bool out = false;
        if (Equals(name, element))
            out = drop(i);
        else if (Equals(name, closing))
            out = droppedLast;
        if (!out)
            segments.push_back(store.Token(i));
        dropped = dropped || out;
        droppedLast = out;
    }
    const ByteSpan last = store.Token(store.TokenCount() - 1);
    segments.emplace_back(last.end(), static_cast<uint32_t>(data.end() - last.end()));
    return dropped;
}

}  // namespace

std::string targetEntryName(ByteSpan target, std::string_view folder) {
    std::string_view t = target.view();
    std::vector<std::string> parts;
    std::string path =
        t.starts_with("/") ? std::string(t.substr(1)) : std::string(folder) + std::string(t);
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

std::string sourceFolderOf(std::string_view relsName) {
    size_t at = relsName.rfind("_rels/");
    return at == std::string_view::npos ? std::string() : std::string(relsName.substr(0, at));
}

bool dropDanglingRelationships(ByteSpan relsData, std::string_view folder,
                               const PartNameSet& present, std::vector<ByteSpan>& segments,
                               std::vector<std::string>& droppedTargets) {
    MarkUpStore rels;
    rels.Tokenize(relsData);
    TagAttributes attrs;
    return copyWithout(rels, relsData, segments, "Relationship", [&](uint32_t i) {
        Relationship r = readRelationship(rels, i, attrs);
        if (r.external)
            return false;
        std::string target = targetEntryName(r.target, folder);
        if (present.count(target))
            return false;
        droppedTargets.push_back(std::move(target));
        return true;
    });
}

std::vector<RelationshipRecord> listRelationships(ByteSpan relsData) {
    std::vector<RelationshipRecord> list;
    MarkUpStore rels;
    rels.Tokenize(relsData);
    TagAttributes attrs;
    for (uint32_t i = 0; i < rels.TokenCount(); ++i) {
        if (!Equals(rels.GetTagName(i), "Relationship"))
            continue;
        const Relationship r = readRelationship(rels, i, attrs);
        list.push_back({std::string(r.id.view()), std::string(r.target.view()), r.external});
    }
    return list;
}

std::vector<ByteSpan> keptRelationshipIds(const std::vector<RelationshipRecord>& relationships,
                                          const PartNameSet& salvaged) {
    std::vector<ByteSpan> kept;
    for (const RelationshipRecord& r : relationships) {
        if (r.external) {
            kept.push_back(spanOf(r.id));
        } else if (!r.id.empty() && !r.target.empty()) {
            if (salvaged.count(targetEntryName(spanOf(r.target), "word/")))
                kept.push_back(spanOf(r.id));
        }
    }
    return kept;
}

std::vector<std::string> internalTargets(const std::vector<RelationshipRecord>& relationships,
                                         std::string_view folder) {
    std::vector<std::string> targets;
    for (const RelationshipRecord& r : relationships)
        if (!r.external && !r.target.empty())
            targets.push_back(targetEntryName(spanOf(r.target), folder));
    return targets;
}

std::vector<ByteSpan> overriddenParts(ByteSpan contentTypes) {
    std::vector<ByteSpan> parts;
    MarkUpStore store;
    store.Tokenize(contentTypes);
    TagAttributes attrs;
    for (uint32_t i = 0; i < store.TokenCount(); ++i)
        if (Equals(store.GetTagName(i), "Override"))
            parts.push_back(overridePartName(store, i, attrs));
    return parts;
}

bool dropLostOverrides(ByteSpan contentTypes, const PartNameSet& present,
                       std::vector<ByteSpan>& segments) {
    MarkUpStore store;
    store.Tokenize(contentTypes);
    TagAttributes attrs;
    return copyWithout(store, contentTypes, segments, "Override", [&](uint32_t i) {
        return !present.count(overridePartName(store, i, attrs).view());
    });
}

void collectReferencedIds(ByteSpan part, PartNameSet& ids) {
    MarkUpStore store;
    store.Tokenize(part);
    TagAttributes attrs;
    for (uint32_t i = 0; i < store.TokenCount(); ++i) {
        if (Find(store.Token(i), "r:") == nullptr)
            continue;
        store.ParseAttributes(i, attrs);
        for (size_t a = 0; a < attrs.names.size(); ++a)
            if (StartsWith(attrs.names[a], "r:"))
                ids.emplace(attrs.values[a].view());
    }
}

}  // namespace morvel
