#include "convert/xml_text.h"

#include <functional>
#include <string_view>

#include "convert/markup_entities.h"
#include "convert/text_builder.h"
#include "convert/text_decoding.h"
#include "platform/code_pages.h"
#include "platform/tag_end.h"

namespace morvel {

namespace {

constexpr size_t npos = std::string_view::npos;
// How far into a document its XML declaration is looked for.
constexpr size_t kDeclarationSpan = 512;

// The document as UTF-8: a byte-order mark, else the declaration's encoding, else UTF-8 (with
// stray 8-bit bytes read in the default code page, so none is lost).
std::string decodeXml(std::span<const uint8_t> bytes) {
    uint32_t codePage = kUtf8CodePage;
    if (!hasUtf16Mark(bytes)) {
        const std::string_view head(reinterpret_cast<const char*>(bytes.data()),
                                    std::min(bytes.size(), kDeclarationSpan));
        const size_t decl = head.find("<?xml");
        if (decl != npos) {
            const size_t end = head.find("?>", decl);
            const std::string name = attributeValue(
                head.substr(decl, end == npos ? head.size() - decl : end - decl), "encoding");
            if (const uint32_t cp = name.empty() ? 0 : codePageOfCharsetName(name))
                codePage = cp;
        }
    }
    return decodeText(bytes, codePage);
}

// One tag as the walk gives it: its name, whether it ends an element, whether it is empty
// (<x/>), and its whole text after '<'.
struct Tag {
    std::string_view name;
    bool closing = false;
    bool selfClosing = false;
    std::string_view text;
};

Tag parseTag(std::string_view t) {
    Tag tag;
    tag.text = t;
    size_t i = 0;
    if (!t.empty() && t[0] == '/') {
        tag.closing = true;
        i = 1;
    }
    const size_t start = i;
    while (i < t.size() && t[i] != ' ' && t[i] != '\t' && t[i] != '\r' && t[i] != '\n' &&
           t[i] != '/' && t[i] != '>')
        ++i;
    tag.name = t.substr(start, i - start);
    tag.selfClosing = !t.empty() && t.back() == '/';
    return tag;
}

// Walks a document's markup: `onTag` for each element tag, `onText` for each run of
// character data (raw: references are still in it) and for CDATA (`cdata` true).
void walkXml(std::string_view s, const std::function<void(const Tag&)>& onTag,
             const std::function<void(std::string_view, bool)>& onText) {
    size_t i = 0;
    bool commentsLeftOpen = false;  // no "-->" after some comment: none after later ones
    while (i < s.size()) {
        const size_t lt = s.find('<', i);
        if (lt == npos) {
            onText(s.substr(i), false);
            return;
        }
        if (lt > i)
            onText(s.substr(i, lt - i), false);
        if (s.compare(lt, 4, "<!--") == 0) {
            // A comment left open by damage ends at the next '>' rather than taking the rest.
            size_t end = commentsLeftOpen ? npos : s.find("-->", lt + 4);
            if (end != npos) {
                i = end + 3;
            } else {
                commentsLeftOpen = true;
                end = s.find('>', lt + 4);
                i = end == npos ? s.size() : end + 1;
            }
            continue;
        }
        if (s.compare(lt, 9, "<![CDATA[") == 0) {
            const size_t end = s.find("]]>", lt + 9);
            onText(s.substr(lt + 9, (end == npos ? s.size() : end) - lt - 9), true);
            i = end == npos ? s.size() : end + 3;
            continue;
        }
        const size_t gt = findTagEnd(s, lt + 1);
        if (gt == npos)
            return;  // a tag cut off by the end of the file
        const std::string_view t = s.substr(lt + 1, gt - lt - 1);
        i = gt + 1;
        if (t.empty() || t[0] == '?' || t[0] == '!')
            continue;
        onTag(parseTag(t));
    }
}

// Appends character data with its references decoded; `space` says what to do with white
// space characters (kept, or turned into something else by the caller).
template <typename SpaceFn>
void appendCharacters(TextBuilder& out, std::string_view raw, bool cdata, SpaceFn space) {
    for (size_t i = 0; i < raw.size();) {
        const char c = raw[i];
        if (c == '&' && !cdata) {
            uint32_t cp = 0;
            size_t len = 0;
            if (readCharacterReference(raw, i, cp, len)) {
                out.character(cp);
                i += len;
                continue;
            }
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            space(c);
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < raw.size() && raw[end] != '&' && raw[end] != ' ' && raw[end] != '\t' &&
               raw[end] != '\r' && raw[end] != '\n')
            ++end;
        out.text(raw.substr(i, end - i));
        i = end;
    }
}

// Reads WordprocessingML text from already decoded markup.
std::string wordText(std::string_view s) {
    TextBuilder out;
    int inText = 0;  // open w:t elements
    int inTabs = 0;  // open w:tabs (tab stops, not tab characters)
    walkXml(
        s,
        [&](const Tag& tag) {
            const std::string_view n = tag.name;
            if (n == "w:t") {
                if (!tag.selfClosing)
                    inText = tag.closing ? std::max(0, inText - 1) : inText + 1;
            } else if (n == "w:p") {
                if (tag.closing || tag.selfClosing)
                    out.paragraph();
            } else if (n == "w:tabs") {
                if (!tag.selfClosing)
                    inTabs = tag.closing ? std::max(0, inTabs - 1) : inTabs + 1;
            } else if ((n == "w:tab" || n == "w:ptab") && !tag.closing && inTabs == 0) {
                out.tab();
            } else if ((n == "w:br" || n == "w:cr") && !tag.closing) {
                out.lineBreak();
            } else if (n == "w:noBreakHyphen" && !tag.closing) {
                out.character(0x2011);
            }
        },
        [&](std::string_view raw, bool cdata) {
            if (inText == 0)
                return;
            appendCharacters(out, raw, cdata, [&](char c) {
                if (c == '\t')
                    out.tab();
                else
                    out.character(' ');
            });
        });
    return out.finish();
}

// True when a Flat OPC part's start tag names the main document part.
bool isMainDocumentPart(std::string_view tagText) {
    const std::string name = attributeValue(tagText, "pkg:name");
    if (name == "/word/document.xml")
        return true;
    const std::string type = asciiLower(attributeValue(tagText, "pkg:contentType"));
    return type.find("wordprocessingml") != std::string::npos && type.size() >= 9 &&
           type.compare(type.size() - 9, 9, ".main+xml") == 0;
}

}  // namespace

std::string wordXmlText(std::span<const uint8_t> bytes) {
    return wordText(decodeXml(bytes));
}

std::string flatOpcText(std::span<const uint8_t> bytes) {
    const std::string s = decodeXml(bytes);
    const std::string_view doc(s);
    for (size_t at = doc.find("<pkg:part"); at != npos; at = doc.find("<pkg:part", at + 1)) {
        const size_t gt = findTagEnd(doc, at + 1);
        if (gt == npos)
            break;
        if (!isMainDocumentPart(doc.substr(at, gt - at)))
            continue;
        const size_t end = doc.find("</pkg:part", gt);
        return wordText(doc.substr(gt + 1, end == npos ? npos : end - gt - 1));
    }
    return wordText(doc);
}

std::string xmlCharacterData(std::span<const uint8_t> bytes) {
    const std::string s = decodeXml(bytes);
    TextBuilder out;
    bool afterEndTag = false;
    walkXml(
        s,
        [&](const Tag& tag) {
            if (afterEndTag && !tag.closing)
                out.breakParagraph();
            afterEndTag = tag.closing;
        },
        [&](std::string_view raw, bool cdata) {
            afterEndTag = false;
            // White space that holds a line end separates items; other white space is a space.
            size_t i = 0;
            while (i < raw.size()) {
                size_t end = i;
                while (end < raw.size() && (raw[end] == ' ' || raw[end] == '\t' ||
                                            raw[end] == '\r' || raw[end] == '\n'))
                    ++end;
                if (end > i) {
                    const std::string_view ws = raw.substr(i, end - i);
                    if (ws.find('\n') != npos || ws.find('\r') != npos)
                        out.breakParagraph();
                    else
                        out.collapsibleSpace();
                    i = end;
                    continue;
                }
                while (end < raw.size() && raw[end] != ' ' && raw[end] != '\t' &&
                       raw[end] != '\r' && raw[end] != '\n')
                    ++end;
                appendCharacters(out, raw.substr(i, end - i), cdata, [](char) {});
                i = end;
            }
        });
    return out.finish();
}

}  // namespace morvel
