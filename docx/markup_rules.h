#pragma once

#include <cstdint>
#include <vector>

#include "docx/markup_store.h"
#include "platform/byte_span.h"

namespace morvel {

// Parts lost from the package whose references must leave the rewritten parts.
struct MissingParts {
    bool styles = false;
    bool fontTable = false;
    bool endnotes = false;
    bool footnotes = false;
};

// Rewrites one tokenised part of the full document into segments (pieces of the part or
// constant literals): references to lost relationships and parts are removed with the
// innermost element that holds them (a picture, drawing or embedded object whole; a
// hyperlink only its tags; a header or footer reference; a style, font or note reference),
// so the paragraph around them keeps its text. Returns 0, or 4, 5 or 8 when the walk stopped
// on broken markup or nesting deeper than kMaxMarkupDepth (segments gathered before the
// unfinished paragraph are kept).
uint32_t applyFullDocumentRules(const MarkUpStore& store, const std::vector<ByteSpan>& keptIds,
                                const MissingParts& missing, std::vector<ByteSpan>& segments);

// Reduces the main document to text, paragraphs, runs, basic formatting and tables.
// Returns 0, or 4 or 5 when the walk stopped on broken markup or too deep nesting.
uint32_t applyTextOnlyRules(const MarkUpStore& store, std::vector<ByteSpan>& segments);

}  // namespace morvel
