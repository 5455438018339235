#include "docx/markup_rules.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "docx/docx_status.h"
#include "docx/span_match.h"

namespace morvel {

namespace {

// Nesting beyond kMaxMarkupDepth is reported as markup that does not balance.
constexpr uint32_t kStatusTooDeep = kDocxCloseTagMismatch;
// Pieces beyond the estimate a text-only walk reserves room for: the closing tags its caller
// adds, and a tiny part's few pieces.
constexpr uint32_t kSegmentSlack = 16;

// Tags kept in the text-only document, looked up by length first.
bool isTextOnlyTag(ByteSpan name) {
    const std::string_view v = name.view();
    switch (v.size()) {
        case 3:
            return v == "w:b" || v == "w:i" || v == "w:p" || v == "w:r" || v == "w:t";
        case 4:
            return v == "?xml" || v == "w:jc" || v == "w:sz" || v == "w:tc" || v == "w:tr";
        case 5:
            return v == "w:bar" || v == "w:col" || v == "w:ind" || v == "w:pPr" || v == "w:rPr" ||
                   v == "w:sdt" || v == "w:tbl" || v == "w:tcW" || v == "w:top";
        case 6:
            return v == "w:bidi" || v == "w:body" || v == "w:cols" || v == "w:lang" ||
                   v == "w:left" || v == "w:pBdr" || v == "w:pgSz" || v == "w:tblW" ||
                   v == "w:tcPr" || v == "w:trPr" || v == "w:type";
        case 7:
            return v == "w:color" || v == "w:pgMar" || v == "w:right" || v == "w:sdtPr" ||
                   v == "w:tblPr" || v == "w:tcMar";
        case 8:
            return v == "w:bottom" || v == "w:sectPr" || v == "w:tblInd" || v == "w:vAlign" ||
                   v == "w:vmerge";
        case 9:
            return v == "w:between" || v == "w:docGrid" || v == "w:dstrike" || v == "w:gridCol" ||
                   v == "w:imprint" || v == "w:insideH" || v == "w:insideV" || v == "w:tblGrid" ||
                   v == "w:tblLook" || v == "w:wBefore";
        case 10:
            return v == "w:document" || v == "w:gridSpan" || v == "w:trHeight";
        case 11:
            return v == "w:lnNumType" || v == "w:pgBorders" || v == "w:pgNumType" ||
                   v == "w:rPrChange" || v == "w:rtlGutter" || v == "w:tblHeader" ||
                   v == "w:tblLayout" || v == "w:tcBorders";
        case 12:
            return v == "w:gridBefore" || v == "w:sdtContent" || v == "w:tblBorders" ||
                   v == "w:tblCellMar";
        case 13:
            return v == "w:autoSpaceDE" || v == "w:autoSpaceDN";
        case 15:
            return v == "w:textDirection";
        case 16:
            return v == "w:adjustRightInd";
        default:
            return false;
    }
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

inline ByteSpan bareName(ByteSpan name) {
    return StartsWith(name, "/") ? ByteSpan(name.data + 1, name.length - 1) : name;
}

// Appends a piece; one that continues the last piece in memory extends it, so a part that
// keeps long runs of its own bytes becomes few segments to checksum and write.
// Called for almost every token by both walks: the common case, extending the last piece, is
// kept inline and the list's growth out of line.
[[gnu::noinline]] void appendPiece(std::vector<ByteSpan>& list, ByteSpan piece) {
    list.push_back(piece);
}

[[gnu::always_inline]] inline void appendIfAny(std::vector<ByteSpan>& list, ByteSpan piece) {
    if (piece.length == 0)
        return;
    if (!list.empty() && list.back().end() == piece.data &&
        uint64_t{list.back().length} + piece.length <= 0xFFFFFFFFu)
        list.back().length += piece.length;
    else
        appendPiece(list, piece);
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

// Whether "r:" occurs in a token, eight bytes at a time: almost no token holds it, and most
// hold several 'r's, each of which would stop a search for the first byte.
bool holdsRelationshipPrefix(ByteSpan token) {
    if (std::endian::native != std::endian::little || token.length < 8) {
        for (uint32_t i = 1; i < token.length; ++i)
            if (token.data[i] == ':' && token.data[i - 1] == 'r')
                return true;
        return false;
    }
    constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7Full;
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    // The high bit of each byte of word equal to c, exactly (no borrow between bytes).
    const auto equalBytes = [](uint64_t word, uint8_t c) {
        const uint64_t x = word ^ (kOnes * c);
        return ~(((x & kLows) + kLows) | x | kLows);
    };
    uint64_t carry = 0;  // the high bit of byte 0 when the byte before this word was 'r'
    for (uint32_t i = 0; i < token.length; i += 8) {
        // The last, short word is read as the token's last eight bytes, shifted so that the
        // bytes already tested leave and zero bytes, which match neither byte, come in.
        uint64_t word;
        if (token.length - i >= 8) {
            std::memcpy(&word, token.data + i, 8);
        } else {
            std::memcpy(&word, token.data + token.length - 8, 8);
            word >>= 8 * (8 - (token.length - i));
        }
        const uint64_t r = equalBytes(word, 'r');
        if (equalBytes(word, ':') & ((r << 8) | carry))
            return true;
        carry = r >> 56;
    }
    return false;
}

// The value of the first "r:" attribute when it names no kept relationship.
bool hasDanglingReference(const MarkUpStore& store, uint32_t index, ByteSpan token,
                          const std::unordered_set<std::string_view>& keptIds,
                          TagAttributes& attrs) {
    // Without "r:" anywhere in the token there is no such attribute to parse for.
    if (!holdsRelationshipPrefix(token))
        return false;
    store.ParseAttributes(index, attrs);
    for (size_t a = 0; a < attrs.names.size(); ++a) {
        if (!StartsWith(attrs.names[a], "r:"))
            continue;
        return !keptIds.count(attrs.values[a].view());
    }
    return false;
}

// An element open during the full-document walk.
struct OpenElement {
    ByteSpan name;           // its tag name
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
    // Looked up once per reference: a package may hold a hundred thousand relationships.
    std::unordered_set<std::string_view> kept;
    kept.reserve(keptIds.size());
    for (ByteSpan id : keptIds)
        kept.insert(id.view());
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
            return stop(kDocxEmptyTag);
        const TagKind kind = store.Kind(i);
        const ByteSpan bare = bareName(name);
        if (kind == TagKind::Closing) {
            if (stack.empty())
                return stop(kDocxCloseWithoutOpen);
            const OpenElement top = stack.back();
            if (!Equals(bare, top.name))
                return stop(kDocxCloseTagMismatch);
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
            stack.push_back({name, object, markOf(segments)});
            if (Equals(name, "w:p"))
                ++paragraphDepth;
        }
        OpenElement* self = kind == TagKind::Opening ? &stack.back() : nullptr;
        if (dropsForMissingPart(name, missing)) {
            if (self)
                self->dropWhole = true;
        } else if (hasDanglingReference(store, i, token, kept, attrs)) {
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
    // Names of the open elements; the depth bound keeps the stack small.
    std::vector<ByteSpan> stack;
    const uint32_t count = store.TokenCount();
    // Real documents give one piece for every four to six tokens: room for one in two, taken
    // once, spares the list its copies while it grows (pages it never reaches stay untouched).
    segments.reserve(segments.size() + count / 2 + kSegmentSlack);
    for (uint32_t i = 0; i < count; ++i) {
        const ByteSpan token = store.Token(i);
        if (token.length <= 2)
            continue;
        const ByteSpan name = store.GetTagName(i);
        if (name.length == 0)
            return kDocxEmptyTag;
        const TagKind kind = store.Kind(i);
        const ByteSpan bare = bareName(name);
        const bool inRun = !stack.empty() && Equals(stack.back(), "w:r");
        if (kind == TagKind::Closing) {
            if (!stack.empty()) {
                if (!Equals(bare, stack.back()))
                    return kDocxCloseTagMismatch;
                stack.pop_back();
            }
        } else if (kind == TagKind::Opening) {
            if (stack.size() >= kMaxMarkupDepth)
                return kStatusTooDeep;
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
    return store.TooDeep() ? kStatusTooDeep : 0;
}

}  // namespace morvel
