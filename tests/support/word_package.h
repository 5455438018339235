#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace morvel::test {

using PackageParts = std::vector<std::pair<std::string, std::string>>;

// A small but complete Word package that python-docx and LibreOffice open: content types,
// package and document relationships, styles, settings, a footer, an image, a chart, an
// external link and the document properties. The main document's paragraphs read "Alpha
// title", "Bravo paragraph", (an image), "Charlie chart", "Delta link", "Echo closing words".
PackageParts wordPackageParts();

// The package of those parts in order, deflated, with the parts named in lost left out
// entirely (as when their records are destroyed).
std::vector<uint8_t> buildWordPackage(const PackageParts& parts,
                                      const std::set<std::string>& lost = {});

// The package with the main document stored last and the archive cut inside it, right after
// the first occurrence of cutAfter in its text; nothing of the central directory remains.
std::vector<uint8_t> buildCutOffWordPackage(const PackageParts& parts, const std::string& cutAfter);

}  // namespace morvel::test
