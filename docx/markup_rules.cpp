#include "docx/markup_rules.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "docx/span_match.h"

namespace morvel {

namespace {

constexpr uint32_t kStatusCloseMismatch = 4;
constexpr uint32_t kStatusEmptyTag = 5;
constexpr uint32_t kStatusCloseWithoutOpen = 8;

// Tags kept in the text-only document.
constexpr std::array<std::string_view, 70> kTextOnlyTags = {"?xml",          "w:document",
                                                            "w:body",        "w:p",
                                                            "w:t",           "w:pPr",
                                                            "w:jc",          "w:rPr",
                                                            "w:b",           "w:i",
                                                            "w:lang",        "w:r",
                                                            "w:ind",         "w:adjustRightInd",
                                                            "w:autoSpaceDE", "w:autoSpaceDN",
                                                            "w:pBdr",        "w:bar",
                                                            "w:between",     "w:color",
                                                            "w:sz",          "w:imprint",
                                                            "w:rPrChange",   "w:dstrike",
                                                            "w:sdt",         "w:sdtPr",
                                                            "w:sdtContent",  "w:tbl",
                                                            "w:tblBorders",  "w:tblCellMar",
                                                            "w:tblGrid",     "w:tblHeader",
                                                            "w:tblInd",      "w:tblLayout",
                                                            "w:tblLook",     "w:tblPr",
                                                            "w:tblW",        "w:tc",
                                                            "w:tcBorders",   "w:tcMar",
                                                            "w:tcPr",        "w:tcW",
                                                            "w:top",         "w:tr",
                                                            "w:trHeight",    "w:trPr",
                                                            "w:left",        "w:bottom",
                                                            "w:right",       "w:insideH",
                                                            "w:insideV",     "w:gridCol",
                                                            "w:gridSpan",    "w:gridBefore",
                                                            "w:wBefore",     "w:vmerge",
                                                            "w:sectPr",      "w:pgSz",
                                                            "w:bidi",        "w:pgBorders",
                                                            "w:cols",        "w:col",
                                                            "w:docGrid",     "w:type",
                                                            "w:vAlign",      "w:textDirection",
                                                            "w:pgMar",       "w:lnNumType",
                                                            "w:pgNumType",   "w:rtlGutter"};

bool isTextOnlyTag(ByteSpan name) {
    return std::find(kTextOnlyTags.begin(), kTextOnlyTags.end(), name.view()) !=
           kTextOnlyTags.end();
}

// Run content that separates words; kept in the text-only document as bare empty elements.
std::string_view separatorLiteral(ByteSpan name) {
    if (Equals(name, "w:tab"))
        return "<w:tab/>";
    if (Equals(name, "w:br"))
        return "<w:br/>";
    if (Equals(name, "w:cr"))
        return "<w:cr/>";
    return {};
}

bool isTextElement(ByteSpan bare) {
    return Equals(bare, "w:t") || Equals(bare, "w:instrText") || Equals(bare, "w:delInstrText");
}

ByteSpan bareName(ByteSpan name) {
    return StartsWith(name, "/") ? ByteSpan(name.data + 1, name.length - 1) : name;
}

// Appends a piece; one that continues the last piece in memory extends it, so a part that
// keeps long runs of its own bytes becomes few segments to checksum and write.
void appendIfAny(std::vector<ByteSpan>& list, ByteSpan piece) {
    if (piece.length == 0)
        return;
    if (!list.empty() && list.back().end() == piece.data &&
        uint64_t{list.back().length} + piece.length <= 0xFFFFFFFFu)
        list.back().length += piece.length;
    else
        list.push_back(piece);
}

// Drop filters for references to lost styles, fonts and notes.
bool dropsForMissingPart(ByteSpan name, const MissingParts& missing) {
    if (missing.styles &&
        (Equals(name, "w:pStyle") || Equals(name, "w:tblStyle") || Equals(name, "w:rStyle")))
        return true;
    if (missing.fontTable && Equals(name, "w:rFonts"))
        return true;
    if (missing.endnotes && Equals(name, "w:endnoteReference"))
        return true;
    return missing.footnotes && Equals(name, "w:footnoteReference");
}

// The value of the first "r:" attribute when it names no kept relationship.
bool hasDanglingReference(const MarkUpStore& store, uint32_t index,
                          const std::vector<ByteSpan>& keptIds, TagAttributes& attrs) {
    // Without "r:" anywhere in the token there is no such attribute to parse for.
    if (Find(store.Token(index), "r:") == nullptr)
        return false;
    store.ParseAttributes(index, attrs);
    for (size_t a = 0; a < attrs.names.size(); ++a) {
        if (!StartsWith(attrs.names[a], "r:"))
            continue;
        for (ByteSpan id : keptIds)
            if (Equals(attrs.values[a], id))
                return false;
        return true;
    }
    return false;
}

}  // namespace

uint32_t applyFullDocumentRules(const MarkUpStore& store, const std::vector<ByteSpan>& keptIds,
                                const MissingParts& missing, std::vector<ByteSpan>& segments) {
    std::vector<ByteSpan> stack;
    std::vector<ByteSpan> paragraph;
    TagAttributes attrs;
    // Paragraphs nest (a text box holds paragraphs inside a run of its anchor paragraph);
    // the outermost one is kept or emptied as a whole.
    uint32_t paragraphDepth = 0;
    bool paragraphEnd = false;
    bool keepParagraph = true;
    const uint32_t count = store.TokenCount();
    for (uint32_t i = 0; i < count; ++i) {
        const ByteSpan token = store.Token(i);
        if (token.length <= 2)
            continue;
        const ByteSpan name = store.GetTagName(i);
        if (name.length == 0)
            return kStatusEmptyTag;
        const TagKind kind = store.Kind(i);
        const ByteSpan bare = bareName(name);
        if (kind == TagKind::Closing) {
            if (stack.empty())
                return kStatusCloseWithoutOpen;
            if (!Equals(bare, stack.back()))
                return kStatusCloseMismatch;
            stack.pop_back();
            if (Equals(bare, "w:p") && paragraphDepth > 0 && --paragraphDepth == 0)
                paragraphEnd = true;
        } else {
            if (Equals(name, "w:p")) {
                if (paragraphDepth == 0) {
                    keepParagraph = true;
                    paragraph.clear();
                    if (kind == TagKind::SelfClosing)
                        paragraphEnd = true;
                }
                if (kind == TagKind::Opening)
                    ++paragraphDepth;
            }
            if (kind == TagKind::Opening)
                stack.push_back(name);
        }
        const bool inParagraph = paragraphDepth > 0 || paragraphEnd;
        if (dropsForMissingPart(name, missing)) {
        } else if (hasDanglingReference(store, i, keptIds, attrs)) {
            if (!Equals(name, "v:imagedata"))
                keepParagraph = false;
        } else {
            // A leaf element keeps its text: w:t and its kind inside paragraphs, and any
            // element whose closing tag directly follows its opening tag (equation text,
            // deleted text, drawing text, picture positions).
            const bool leafText =
                kind == TagKind::Closing && ((inParagraph && isTextElement(bare)) ||
                                             (i > 0 && store.Kind(i - 1) == TagKind::Opening &&
                                              Equals(store.GetTagName(i - 1), bare)));
            std::vector<ByteSpan>& target = inParagraph ? paragraph : segments;
            if (leafText)
                appendIfAny(target, store.GapBefore(i));
            appendIfAny(target, token);
        }
        if (paragraphEnd) {
            if (keepParagraph) {
                for (ByteSpan piece : paragraph)
                    appendIfAny(segments, piece);
            } else
                appendIfAny(segments, spanOf("<w:p/>"));
            paragraph.clear();
            paragraphEnd = false;
        }
    }
    return 0;
}

uint32_t applyTextOnlyRules(const MarkUpStore& store, std::vector<ByteSpan>& segments) {
    std::vector<ByteSpan> stack;
    const uint32_t count = store.TokenCount();
    for (uint32_t i = 0; i < count; ++i) {
        const ByteSpan token = store.Token(i);
        if (token.length <= 2)
            continue;
        const ByteSpan name = store.GetTagName(i);
        if (name.length == 0)
            return kStatusEmptyTag;
        const TagKind kind = store.Kind(i);
        const ByteSpan bare = bareName(name);
        const bool inRun = !stack.empty() && Equals(stack.back(), "w:r");
        if (kind == TagKind::Closing) {
            if (!stack.empty()) {
                if (!Equals(bare, stack.back()))
                    return kStatusCloseMismatch;
                stack.pop_back();
            }
        } else if (kind == TagKind::Opening) {
            stack.push_back(name);
        }
        const std::string_view separator = separatorLiteral(bare);
        if (!separator.empty()) {
            // Tab stop definitions share the name; only run content is a separator.
            if (inRun && kind != TagKind::Closing)
                appendIfAny(segments, spanOf(separator));
            continue;
        }
        if (!isTextOnlyTag(bare))
            continue;
        if (kind == TagKind::Closing && Equals(bare, "w:t")) {
            appendIfAny(segments, store.GapBefore(i));
            appendIfAny(segments, token);
        } else if (kind != TagKind::Closing && Equals(name, "w:p")) {
            // Paragraph attributes (revision ids and the like) are left behind.
            appendIfAny(segments, ByteSpan(token.data, 1));
            appendIfAny(segments, name);
            const uint32_t tail = kind == TagKind::SelfClosing ? 2 : 1;
            appendIfAny(segments, ByteSpan(token.data + token.length - tail, tail));
        } else {
            appendIfAny(segments, token);
        }
    }
    return 0;
}

}  // namespace morvel
