#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvel::test {

// Hostile .docx inputs: small files that make a careless reader do work or take memory out of
// all proportion to their size. Each takes a size factor (1, 2, 4, ...) that scales what makes
// it hostile, so a survey can see whether the cost grows linearly or worse.

// About factor MiB of back-to-back stored local headers of word/document.xml, each declaring
// its data to run to the end of the file (with the right sizes and CRC), and no directory.
std::vector<uint8_t> storedHeadersToTheEnd(unsigned factor);

// 2,000 x factor local headers that overlap: each one's deflate data first quotes the next
// header in a stored block, and all of them end in one shared stream that inflates to 1 GiB.
// A central directory lists every header. About 1.1 MB at factor 1.
std::vector<uint8_t> overlappingHeadersSharingOneStream(unsigned factor);

// A package of 100,000 x factor small media entries, each named in [Content_Types].xml, in
// word/_rels/document.xml.rels and by a hyperlink in word/document.xml.
std::vector<uint8_t> manyEntriesAndRelationships(unsigned factor);

// A package with 6 x factor relationship parts (_rels/.rels, word/_rels/document.xml.rels and
// more) of 512 MiB each, highly compressible: about 3 MB at factor 1.
std::vector<uint8_t> hugeRelationshipParts(unsigned factor);

// A package whose word/document.xml is a flood of <a> tokens inflating to about
// 270 MB x factor.
std::vector<uint8_t> tokenFloodPart(unsigned factor);

// About factor MB of package whose 4 x factor body, header and footer parts of well-formed
// paragraphs inflate to 256 MiB each: rewritten without compression they take GiBs.
std::vector<uint8_t> partsThatRewriteToGigabytes(unsigned factor);

struct HostileInput {
    const char* name;  // short name, usable as a file name
    std::vector<uint8_t> (*make)(unsigned factor);
};

// Every case above, in order.
const std::vector<HostileInput>& hostileDocxInputs();

}  // namespace morvel::test
