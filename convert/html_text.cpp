#include "convert/html_text.h"

#include <string_view>

#include "convert/markup_entities.h"
#include "convert/text_builder.h"
#include "convert/text_decoding.h"
#include "platform/code_pages.h"
#include "platform/tag_end.h"

namespace morvel {

namespace {

// How far into a page its charset declaration is looked for.
constexpr size_t kCharsetSearchSpan = 64 * 1024;
// An unclosed tag at the end of a page longer than this is text after a stray '<', not a tag
// cut off by the end of the file.
constexpr size_t kLongestCutTag = 1024;

// Elements whose start and end both end a paragraph.
constexpr std::string_view kBlockElements[] = {
    "p",          "div",   "li",      "tr",         "h1",      "h2",       "h3",       "h4",
    "h5",         "h6",    "table",   "ul",         "ol",      "dl",       "dt",       "dd",
    "blockquote", "hr",    "address", "center",     "section", "article",  "header",   "footer",
    "nav",        "aside", "figure",  "figcaption", "form",    "fieldset", "legend",   "caption",
    "body",       "html",  "option",  "main",       "menu",    "dir",      "frameset", "noscript",
};

// Elements whose content is no text of the page: it is skipped up to the end tag.
constexpr std::string_view kRawSkippedElements[] = {"script", "style", "xml", "title", "template"};

template <size_t N>
bool listed(const std::string_view (&list)[N], std::string_view name) {
    for (std::string_view w : list)
        if (w == name)
            return true;
    return false;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The element name of a tag's text (after '<', '/' dropped), in lower case.
std::string tagName(std::string_view tag) {
    size_t i = tag.empty() || tag[0] != '/' ? 0 : 1;
    const size_t start = i;
    while (i < tag.size() && !isSpace(tag[i]) && tag[i] != '/' && tag[i] != '>')
        ++i;
    return asciiLower(tag.substr(start, i - start));
}

// Case-insensitive search for `needle` (lower case) in `text` from `from`.
size_t findNoCase(std::string_view text, std::string_view needle, size_t from) {
    if (needle.empty() || text.size() < needle.size())
        return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < needle.size()) {
            char c = text[i + k];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != needle[k])
                break;
            ++k;
        }
        if (k == needle.size())
            return i;
    }
    return std::string_view::npos;
}

class HtmlReader {
  public:
    explicit HtmlReader(std::string_view page) : s_(page) {}

    std::string read() {
        constexpr size_t npos = std::string_view::npos;
        size_t i = 0;
        while (i < s_.size()) {
            const size_t lt = s_.find('<', i);
            if (lt == npos) {
                text(s_.substr(i));
                break;
            }
            text(s_.substr(i, lt - i));
            const char next = lt + 1 < s_.size() ? s_[lt + 1] : '\0';
            if (!isNameStart(next) && next != '/' && next != '!' && next != '?') {
                text(s_.substr(lt, 1));  // a '<' that opens no tag is text
                i = lt + 1;
                continue;
            }
            if (s_.compare(lt, 4, "<!--") == 0) {
                i = commentEnd(lt);
                continue;
            }
            const size_t gt = findTagEnd(s_, lt + 1);
            if (gt == npos) {
                // No '>' follows, so no tag can end after here: a tag cut off by the end of
                // the file holds no text, and a stray '<' long before the end is text with all
                // that follows it.
                if (s_.size() - lt > kLongestCutTag)
                    text(s_.substr(lt));
                break;
            }
            i = tag(s_.substr(lt + 1, gt - lt - 1), gt + 1);
        }
        return out_.finish();
    }

  private:
    // Where reading goes on after a comment that starts at `lt`. A comment left open by
    // damage must not swallow the page: it then ends at the next '>'.
    size_t commentEnd(size_t lt) {
        // Once no "-->" follows, none follows any later comment either: no search again.
        const size_t end = commentsLeftOpen_ ? std::string_view::npos : s_.find("-->", lt + 4);
        if (end != std::string_view::npos)
            return end + 3;
        commentsLeftOpen_ = true;
        const size_t gt = s_.find('>', lt + 4);
        return gt == std::string_view::npos ? s_.size() : gt + 1;
    }

    // Handles one tag; returns where reading goes on.
    size_t tag(std::string_view t, size_t after) {
        if (t.empty() || t[0] == '!' || t[0] == '?')
            return after;  // declarations, conditional markers, processing instructions
        const bool closing = t[0] == '/';
        const std::string name = tagName(t);
        if (!closing && listed(kRawSkippedElements, name)) {
            // Once a title is known to be left open, later ones are too: no search again.
            const size_t end = name == "title" && titleLeftOpen_
                                   ? std::string_view::npos
                                   : findNoCase(s_, "</" + name, after);
            if (end != std::string_view::npos) {
                const size_t gt = s_.find('>', end);
                return gt == std::string_view::npos ? s_.size() : gt + 1;
            }
            // A title left open would swallow the page; a script or style cut off holds none.
            if (name != "title")
                return s_.size();
            titleLeftOpen_ = true;
            return after;
        }
        if (name == "br") {
            out_.lineBreak();
        } else if (name == "td" || name == "th") {
            if (!closing && !out_.lineEmpty())
                out_.tab();
        } else if (name == "pre") {
            out_.breakParagraph();
            if (closing)
                preDepth_ = preDepth_ > 0 ? preDepth_ - 1 : 0;
            else
                ++preDepth_;
        } else if (listed(kBlockElements, name)) {
            out_.breakParagraph();
        }
        return after;
    }

    void text(std::string_view t) {
        size_t runStart = 0;
        auto flush = [&](size_t end) {
            if (end > runStart)
                out_.text(t.substr(runStart, end - runStart));
        };
        for (size_t i = 0; i < t.size();) {
            const char c = t[i];
            if (c == '&') {
                uint32_t cp = 0;
                size_t len = 0;
                if (readCharacterReference(t, i, cp, len)) {
                    flush(i);
                    out_.character(cp);
                    i += len;
                    runStart = i;
                    continue;
                }
                ++i;
                continue;
            }
            if (!isSpace(c)) {
                ++i;
                continue;
            }
            flush(i);
            if (preDepth_ == 0) {
                out_.collapsibleSpace();
            } else if (c == '\n') {
                out_.lineBreak();
            } else if (c == '\t') {
                out_.tab();
            } else if (c != '\r') {
                out_.character(' ');
            }
            ++i;
            runStart = i;
        }
        flush(t.size());
    }

    std::string_view s_;
    unsigned preDepth_ = 0;
    bool titleLeftOpen_ = false;
    bool commentsLeftOpen_ = false;
    TextBuilder out_;
};

}  // namespace

uint32_t declaredHtmlCodePage(std::span<const uint8_t> bytes) {
    const std::string_view head(reinterpret_cast<const char*>(bytes.data()),
                                std::min(bytes.size(), kCharsetSearchSpan));
    size_t from = 0;
    while (true) {
        const size_t at = findNoCase(head, "<meta", from);
        if (at == std::string_view::npos)
            return 0;
        const size_t gt = findTagEnd(head, at + 1);
        const std::string_view t =
            head.substr(at, gt == std::string_view::npos ? head.size() - at : gt - at);
        const std::string charset = attributeValue(t, "charset");
        if (!charset.empty())
            return codePageOfCharsetName(charset);
        // Tags do not overlap: the next one starts after this one's end (and none ends when
        // this one does not).
        if (gt == std::string_view::npos)
            return 0;
        from = gt + 1;
    }
}

std::string htmlText(std::span<const uint8_t> bytes, uint32_t codePage) {
    if (codePage == 0 && !hasUtf16Mark(bytes))
        codePage = declaredHtmlCodePage(bytes);
    if (codePage == 0)
        codePage = looksLikeUtf8(bytes) ? kUtf8CodePage : kDefaultCodePage;
    const std::string page = decodeText(bytes, codePage);
    return HtmlReader(page).read();
}

}  // namespace morvel
