#include "tests/support/prose_document.h"

#include <iterator>
#include <string_view>

namespace morvel::test {

namespace {

constexpr std::string_view kWords[] = {
    "the",     "of",       "and",       "report",  "quarter", "growth",  "market",  "customer",
    "within",  "between",  "results",   "figures", "review",  "budget",  "risk",    "analysis",
    "section", "annex",    "table",     "shown",   "above",   "below",   "further", "however",
    "to",      "in",       "on",        "for",     "with",    "by",      "a",       "is",
    "was",     "schedule", "committee", "whereas", "project", "delivery"};

}  // namespace

std::string proseDocument(size_t bytes, uint32_t seed) {
    uint32_t v = seed * 2654435761u + 2463534242u;
    const auto next = [&v] {
        v ^= v << 13, v ^= v >> 17, v ^= v << 5;
        return v;
    };
    std::string doc = kPartDeclaration;
    doc +=
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:body>";
    while (doc.size() < bytes) {
        doc += next() % 4 == 0 ? "<w:p><w:pPr><w:jc w:val=\"both\"/></w:pPr><w:r><w:t>"
                               : "<w:p><w:r><w:rPr><w:b/></w:rPr><w:t>";
        for (uint32_t n = 5 + next() % 20; n != 0; --n) {
            doc += kWords[next() % std::size(kWords)];
            doc += n == 1 ? '.' : ' ';
        }
        doc += "</w:t></w:r></w:p>";
    }
    return doc + "<w:sectPr/></w:body></w:document>";
}

}  // namespace morvel::test
