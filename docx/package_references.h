#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// Names of the parts a package will hold, for lookups by std::string_view.
using PartNameSet = std::set<std::string, std::less<>>;

// The package entry a relationship target names, seen from a part in folder: relative
// targets are resolved against it ("../" climbs), absolute ones start at the package root.
std::string targetEntryName(ByteSpan target, std::string_view folder);

// The folder of the part that a relationships part belongs to: "word/" for
// "word/_rels/document.xml.rels", "" for "_rels/.rels".
std::string sourceFolderOf(std::string_view relsName);

// The relationships part without the internal relationships whose target is not in present;
// false when nothing had to go. The targets dropped are added to droppedTargets.
bool dropDanglingRelationships(ByteSpan relsData, std::string_view folder,
                               const PartNameSet& present, std::vector<ByteSpan>& segments,
                               std::vector<std::string>& droppedTargets);

// One Relationship element of a relationships part: its Id and Target as written, and
// whether its TargetMode is External.
struct RelationshipRecord {
    std::string id, target;
    bool external = false;
};

// The Relationship elements of a relationships part, in order: what the references are
// decided from, kept so the part's bytes need not stay in memory or be inflated again.
std::vector<RelationshipRecord> listRelationships(ByteSpan relsData);

// The Ids of the relationships that still lead somewhere: external ones, and internal ones
// whose target is among the salvaged parts. The Ids point into relationships.
std::vector<ByteSpan> keptRelationshipIds(const std::vector<RelationshipRecord>& relationships,
                                          const PartNameSet& salvaged);

// The package entries the internal relationships of a relationships part lead to.
std::vector<std::string> internalTargets(const std::vector<RelationshipRecord>& relationships,
                                         std::string_view folder);

// Part names of the Override elements of the content types, without their leading '/'.
std::vector<ByteSpan> overriddenParts(ByteSpan contentTypes);

// The content types without the Overrides of parts that are not in present; false when
// nothing had to go.
bool dropLostOverrides(ByteSpan contentTypes, const PartNameSet& present,
                       std::vector<ByteSpan>& segments);

// Every value of an "r:" attribute in an XML part: the relationship Ids it refers to.
void collectReferencedIds(ByteSpan part, PartNameSet& ids);

}  // namespace morvel
