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
// Nesting beyond kMaxMarkupDepth is reported as markup that does not balance.
constexpr uint32_t kStatusTooDeep = kStatusCloseMismatch;

// Tags kept in the text-only document, sorted for a binary search.
constexpr std::array<std::string_view, 70> kTextOnlyTags = {"?xml",          "w:adjustRightInd",
                                                            "w:autoSpaceDE", "w:autoSpaceDN",
                                                            "w:b",           "w:bar",
                                                            "w:between",     "w:bidi",
                                                            "w:body",        "w:bottom",
                                                            "w:col",         "w:color",
                                                            "w:cols",        "w:docGrid",
                                                            "w:document",    "w:dstrike",
                                                            "w:gridBefore",  "w:gridCol",
                                                            "w:gridSpan",    "w:i",
                                                            "w:imprint",     "w:ind",
                                                            "w:insideH",     "w:insideV",
                                                            "w:jc",          "w:lang",
                                                            "w:left",        "w:lnNumType",
                                                            "w:p",           "w:pBdr",
                                                            "w:pPr",         "w:pgBorders",
                                                            "w:pgMar",       "w:pgNumType",
                                                            "w:pgSz",        "w:r",
                                                            "w:rPr",         "w:rPrChange",
                                                            "w:right",       "w:rtlGutter",
                                                            "w:sdt",         "w:sdtContent",
                                                            "w:sdtPr",       "w:sectPr",
                                                            "w:sz",          "w:t",
                                                            "w:tbl",         "w:tblBorders",
                                                            "w:tblCellMar",  "w:tblGrid",
                                                            "w:tblHeader",   "w:tblInd",
                                                            "w:tblLayout",   "w:tblLook",
                                                            "w:tblPr",       "w:tblW",
                                                            "w:tc",          "w:tcBorders",
                                                            "w:tcMar",       "w:tcPr",
                                                            "w:tcW",         "w:textDirection",
                                                            "w:top",         "w:tr",
                                                            "w:trHeight",    "w:trPr",
                                                            "w:type",        "w:vAlign",
                                                            "w:vmerge",      "w:wBefore"};
static_assert(std::is_sorted(kTextOnlyTags.begin(), kTextOnlyTags.end()));

bool isTextOnlyTag(ByteSpan name) {
    // Every listed name but the declaration's is in the "w:" namespace.
    if (!StartsWith(name, "w:") && !Equals(name, "?xml"))
        return false;
    return std::binary_search(kTextOnlyTags.begin(), kTextOnlyTags.end(), name.view());
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

// Elements that hold a picture, a drawing or an embedded object: one that refers to a lost
// part goes whole, since a reader cannot show it anyway.
bool isObjectElement(ByteSpan name) {
    return Equals(name, "w:drawing") || Equals(name, "w:pict") || Equals(name, "w:object");
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

// A point in a segment list to go back to: its size and the length of its last piece.
struct Mark {
    uint32_t count = 0;
    uint32_t lastLength = 0;
};

Mark markOf(const std::vector<ByteSpan>& list) {
    return {static_cast<uint32_t>(list.size()), list.empty() ? 0 : list.back().length};
}

void rewindTo(std::vector<ByteSpan>& list, Mark mark) {
    if (mark.count > list.size())
        return;
    list.resize(mark.count);
    if (!list.empty())
        list.back().length = mark.lastLength;
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

// An element open during the full-document walk.
struct OpenElement {
    uint32_t token;          // its opening tag
    uint32_t object;         // stack index of the innermost object element holding it, or
                             // kNoObject
    Mark mark;               // the main list before its opening tag
    bool dropWhole = false;  // leaves with everything inside when it closes
    bool dropTags = false;   // its tags go, its content stays
};

constexpr uint32_t kNoObject = 0xFFFFFFFFu;

}  // namespace

uint32_t applyFullDocumentRules(const MarkUpStore& store, const std::vector<ByteSpan>& keptIds,
                                const MissingParts& missing, std::vector<ByteSpan>& segments) {
    std::vector<OpenElement> stack;
    TagAttributes attrs;
    // Paragraphs nest (a text box holds paragraphs inside a run of its anchor paragraph);
    // a walk that stops inside the outermost one loses that paragraph.
    uint32_t paragraphDepth = 0;
    Mark paragraphStart;
    // A stop keeps what was gathered before the unfinished paragraph and before any element
    // that was still to leave whole.
    auto stop = [&](uint32_t status) {
        Mark keep = markOf(segments);
        if (paragraphDepth > 0)
            keep = paragraphStart;
        for (const OpenElement& e : stack)
            if (e.dropWhole && e.mark.count < keep.count)
                keep = e.mark;
        rewindTo(segments, keep);
        return status;
    };
    const uint32_t count = store.TokenCount();
    for (uint32_t i = 0; i < count; ++i) {
        const ByteSpan token = store.Token(i);
        if (token.length <= 2)
            continue;
        const ByteSpan name = store.GetTagName(i);
        if (name.length == 0)
            return stop(kStatusEmptyTag);
        const TagKind kind = store.Kind(i);
        const ByteSpan bare = bareName(name);
        if (kind == TagKind::Closing) {
            if (stack.empty())
                return stop(kStatusCloseWithoutOpen);
            const OpenElement top = stack.back();
            if (!Equals(bare, store.GetTagName(top.token)))
                return stop(kStatusCloseMismatch);
            stack.pop_back();
            if (Equals(bare, "w:p") && paragraphDepth > 0)
                --paragraphDepth;
            if (top.dropWhole) {
                rewindTo(segments, top.mark);
                continue;
            }
            if (top.dropTags)
                continue;
            // A leaf element keeps its text: w:t and its kind inside paragraphs, and any
            // element whose closing tag directly follows its opening tag (equation text,
            // deleted text, drawing text, picture positions).
            const bool leafText = (paragraphDepth > 0 && isTextElement(bare)) ||
                                  (i > 0 && store.Kind(i - 1) == TagKind::Opening &&
                                   Equals(store.GetTagName(i - 1), bare));
            if (leafText)
                appendIfAny(segments, store.GapBefore(i));
            appendIfAny(segments, token);
            continue;
        }
        if (Equals(name, "w:p") && paragraphDepth == 0)
            paragraphStart = markOf(segments);
        if (kind == TagKind::Opening) {
            if (stack.size() >= kMaxMarkupDepth)
                return stop(kStatusTooDeep);
            const uint32_t object = isObjectElement(name) ? static_cast<uint32_t>(stack.size())
                                    : stack.empty()       ? kNoObject
                                                          : stack.back().object;
            stack.push_back({i, object, markOf(segments)});
            if (Equals(name, "w:p"))
                ++paragraphDepth;
        }
        OpenElement* self = kind == TagKind::Opening ? &stack.back() : nullptr;
        if (dropsForMissingPart(name, missing)) {
            if (self)
                self->dropWhole = true;
        } else if (hasDanglingReference(store, i, keptIds, attrs)) {
            // The innermost element that holds the reference goes, not its paragraph: a
            // picture or object whole, a hyperlink only its tags (its runs keep their text),
            // a picture fill in a shape only itself, any other element whole.
            if (Equals(name, "v:imagedata")) {
                if (self)
                    self->dropWhole = true;
            } else if (Equals(name, "w:hyperlink")) {
                if (self)
                    self->dropTags = true;
            } else {
                const uint32_t object = self            ? self->object
                                        : stack.empty() ? kNoObject
                                                        : stack.back().object;
                if (object != kNoObject)
                    stack[object].dropWhole = true;
                else if (self)
                    self->dropWhole = true;
            }
        } else {
            appendIfAny(segments, token);
        }
    }
    if (store.TooDeep())
        return stop(kStatusTooDeep);
    // A part that ends inside a paragraph loses that paragraph, as a stop does.
    stop(0);
    return 0;
}

uint32_t applyTextOnlyRules(const MarkUpStore& store, std::vector<ByteSpan>& segments) {
    // Open elements as the indices of their opening tags.
    std::vector<uint32_t> stack;
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
        const bool inRun = !stack.empty() && Equals(store.GetTagName(stack.back()), "w:r");
        if (kind == TagKind::Closing) {
            if (!stack.empty()) {
                if (!Equals(bare, store.GetTagName(stack.back())))
                    return kStatusCloseMismatch;
                stack.pop_back();
            }
        } else if (kind == TagKind::Opening) {
            if (stack.size() >= kMaxMarkupDepth)
                return kStatusTooDeep;
            stack.push_back(i);
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
    return store.TooDeep() ? kStatusTooDeep : 0;
}

}  // namespace morvel
