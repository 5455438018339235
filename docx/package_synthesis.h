#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace morvel {

// Writes the bookkeeping parts of a package anew from the names of the parts it holds, for a
// package whose own copies were lost: the content types, the package relationships and the
// main document's relationships. Only parts recognised by name are described; the rest keep
// the default content type of their extension.

// "[Content_Types].xml": a Default for "rels", "xml" and every known extension present, an
// Override for every well-known part present, with the content types Word writes.
std::string synthesiseContentTypes(const std::vector<std::string>& partNames);

// "_rels/.rels": the main document, and the core and extended properties when present.
std::string synthesisePackageRelationships(const std::vector<std::string>& partNames);

// "word/_rels/document.xml.rels": styles, settings, numbering, font table, web settings,
// theme, headers, footers, notes, comments and images under word/media. The Ids are fresh and
// avoid every Id in takenIds, so none can be mistaken for a reference the parts still hold.
std::string synthesiseDocumentRelationships(const std::vector<std::string>& partNames,
                                            const std::set<std::string, std::less<>>& takenIds);

// The content type Word gives a part of this name, or empty when the name is not one it knows.
std::string wellKnownContentType(std::string_view partName);

}  // namespace morvel
