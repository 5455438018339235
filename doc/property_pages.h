#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "doc/doc_findings.h"
#include "doc/piece_table.h"
#include "doc/property_run.h"

namespace morvel {

// What the page readers need besides the bin table.
struct PropertySource {
    std::span<const uint8_t> wordDocument;
    const std::vector<Piece>* pieces = nullptr;  // with `text`: the table scan of damaged pages
    std::span<const uint8_t> text;               // the assembled UTF-16LE text
    std::function<void()> onPage;                // called once per page read
    DocFindings* findings = nullptr;             // gets each refused page; may be null
};

// Reads the character runs of every page of a character bin table. A page is accepted when
// it holds at most 100 runs, its first position lies in the stream and it continues the
// previous accepted page. Around a rejected page the runs are re-synchronised: a run without
// properties ends just after the last good position, and the first good page after the gap
// begins with a marked run of its own.
void readChpRuns(std::span<const uint8_t> binTable, const PropertySource& src, PropertyRuns& runs);

// Reads the paragraph runs of every page of a paragraph bin table (pages of fewer than 30
// runs). Table paragraphs are tracked across pages: the runs of a table row that a rejected
// page cut apart are ignored until the next complete row, and the text of the rejected range
// is scanned for cell marks to keep counting cells. When the last page is rejected a run with
// the plain style closes the text of its range.
void readPapRuns(std::span<const uint8_t> binTable, const PropertySource& src, PropertyRuns& runs);

// The pages a bin table of `lcb` bytes lists.
inline uint32_t binTablePageCount(uint32_t lcb) {
    return lcb < 4 ? 0 : (lcb / 4 - 1) / 2;
}

}  // namespace morvel
