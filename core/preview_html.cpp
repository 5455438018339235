#include "core/preview_html.h"

#include <string_view>

#include "core/preview_page.h"
#include "docx/package_part_reader.h"
#include "platform/tag_end.h"
#include "platform/utf8.h"
#include "platform/windows1252.h"

namespace morvel {

namespace {

void appendEscaped(std::string& out, char c) {
    switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
    }
}

// XML character data (entities decoded) as HTML-escaped UTF-8.
void appendXmlTextAsHtml(std::string& out, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            appendEscaped(out, text[i]);
            continue;
        }
        size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += "&amp;";
            continue;
        }
        std::string_view ent = text.substr(i + 1, semi - i - 1);
        uint32_t cp = 0;
        if (ent == "amp")
            cp = '&';
        else if (ent == "lt")
            cp = '<';
        else if (ent == "gt")
            cp = '>';
        else if (ent == "quot")
            cp = '"';
        else if (ent == "apos")
            cp = '\'';
        else if (ent.size() > 1 && ent[0] == '#') {
            bool hex = ent[1] == 'x' || ent[1] == 'X';
            for (char c : ent.substr(hex ? 2 : 1)) {
                int d = (c >= '0' && c <= '9')                          ? c - '0'
                        : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10
                                                                        : -1;
                if (d < 0 || cp > 0x10FFFF) {
                    cp = 0xFFFD;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
            }
        }
        if (cp == 0) {
            out += "&amp;";
            continue;
        }
        if (cp < 0x80) {
            appendEscaped(out, static_cast<char>(cp));
        } else {
            appendUtf8(out, cp);
        }
        i = semi;
    }
}

// One start, end or empty tag of the document part.
struct Tag {
    std::string_view name;
    std::string_view attributes;
    bool closing = false;
    bool empty = false;
};

std::string_view attribute(std::string_view attrs, std::string_view name) {
    size_t pos = 0;
    while ((pos = attrs.find(name, pos)) != std::string_view::npos) {
        size_t eq = pos + name.size();
        bool boundary = pos == 0 || attrs[pos - 1] == ' ' || attrs[pos - 1] == '\t' ||
                        attrs[pos - 1] == '\n' || attrs[pos - 1] == '\r';
        if (boundary && eq + 1 < attrs.size() && attrs[eq] == '=' &&
            (attrs[eq + 1] == '"' || attrs[eq + 1] == '\'')) {
            size_t close = attrs.find(attrs[eq + 1], eq + 2);
            if (close != std::string_view::npos)
                return attrs.substr(eq + 2, close - eq - 2);
        }
        pos = eq;
    }
    return {};
}

// A toggle property: on unless its value says off.
bool toggleOn(const Tag& tag) {
    std::string_view v = attribute(tag.attributes, "w:val");
    return !(v == "0" || v == "false" || v == "off" || v == "none");
}

// Turns the tags of a main document part into HTML as they come.
class DocumentHtmlWriter {
  public:
    explicit DocumentHtmlWriter(std::string& out) : out_(out) {}

    void tag(const Tag& t) {
        if (skipDepth_ > 0) {
            if (!t.empty)
                skipDepth_ += t.closing ? -1 : 1;
            return;
        }
        // Alternate content carries the same text twice; the fallback copy is left out.
        if (t.name == "mc:Fallback" && !t.closing && !t.empty) {
            skipDepth_ = 1;
            return;
        }
        if (t.name == "w:t") {
            inText_ = !t.closing && !t.empty;
        } else if (t.name == "w:p") {
            paragraph(t);
        } else if (t.name == "w:r") {
            inRun_ = !t.closing && !t.empty;
            if (!t.closing)
                bold_ = italic_ = underline_ = false;
        } else if (t.name == "w:rPr") {
            inRunProps_ = inRun_ && !t.closing && !t.empty;
        } else if (inRunProps_ && t.name == "w:b") {
            bold_ = toggleOn(t);
        } else if (inRunProps_ && t.name == "w:i") {
            italic_ = toggleOn(t);
        } else if (inRunProps_ && t.name == "w:u") {
            underline_ = toggleOn(t);
        } else if (inRun_ && (t.name == "w:br" || t.name == "w:cr")) {
            openParagraph();
            out_ += "<br/>";
        } else if (inRun_ && t.name == "w:tab") {
            openParagraph();
            out_ += "\t";
        } else if (t.name == "w:tbl") {
            closeParagraph();
            out_ +=
                t.closing ? "</table>" : "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">";
        } else if (t.name == "w:tr") {
            out_ += t.closing ? "</tr>" : "<tr>";
        } else if (t.name == "w:tc") {
            cell(t);
        } else if (t.name == "w:gridSpan" && cellPending_) {
            std::string_view v = attribute(t.attributes, "w:val");
            if (!v.empty() && v.size() < 3 && v.find_first_not_of("0123456789") == v.npos)
                colspan_ = std::string(v);
        }
    }

    void text(std::string_view chars) {
        if (!inText_ || skipDepth_ > 0 || chars.empty())
            return;
        openParagraph();
        if (bold_)
            out_ += "<b>";
        if (italic_)
            out_ += "<i>";
        if (underline_)
            out_ += "<u>";
        appendXmlTextAsHtml(out_, chars);
        if (underline_)
            out_ += "</u>";
        if (italic_)
            out_ += "</i>";
        if (bold_)
            out_ += "</b>";
    }

    void finish() { closeParagraph(); }

  private:
    void paragraph(const Tag& t) {
        if (t.closing) {
            if (!paragraphOpen_) {
                openParagraph();
                out_ += "&nbsp;";  // an empty paragraph still takes a line
            }
            closeParagraph();
        } else {
            closeParagraph();
            if (t.empty) {
                openParagraph();
                out_ += "&nbsp;";
                closeParagraph();
            }
        }
    }

    void cell(const Tag& t) {
        if (t.closing) {
            closeParagraph();
            flushCell();
            out_ += "</td>";
        } else {
            cellPending_ = true;
            colspan_.clear();
            if (t.empty) {
                flushCell();
                out_ += "</td>";
            }
        }
    }

    void flushCell() {
        if (!cellPending_)
            return;
        cellPending_ = false;
        out_ += colspan_.empty() ? "<td>" : "<td colspan=\"" + colspan_ + "\">";
    }

    void openParagraph() {
        if (paragraphOpen_)
            return;
        flushCell();
        out_ += "<p>";
        paragraphOpen_ = true;
    }

    void closeParagraph() {
        if (!paragraphOpen_)
            return;
        out_ += "</p>";
        paragraphOpen_ = false;
    }

    std::string& out_;
    int skipDepth_ = 0;
    bool inText_ = false, inRun_ = false, inRunProps_ = false;
    bool bold_ = false, italic_ = false, underline_ = false;
    bool paragraphOpen_ = false, cellPending_ = false;
    std::string colspan_;
};

// The end of the markup construct starting at '<' (index of its last character), or npos.
size_t markupEnd(std::string_view xml, size_t lt) {
    if (xml.substr(lt, 4) == "<!--") {
        size_t e = xml.find("-->", lt + 4);
        return e == std::string_view::npos ? e : e + 2;
    }
    if (xml.substr(lt, 9) == "<![CDATA[") {
        size_t e = xml.find("]]>", lt + 9);
        return e == std::string_view::npos ? e : e + 2;
    }
    return findTagEnd(xml, lt + 1);
}

Tag parseTag(std::string_view inner) {
    Tag t;
    if (!inner.empty() && inner.front() == '/') {
        t.closing = true;
        inner.remove_prefix(1);
    }
    if (!inner.empty() && inner.back() == '/') {
        t.empty = true;
        inner.remove_suffix(1);
    }
    size_t nameEnd = inner.find_first_of(" \t\r\n");
    t.name = inner.substr(0, nameEnd);
    if (nameEnd != std::string_view::npos)
        t.attributes = inner.substr(nameEnd + 1);
    return t;
}

}  // namespace

std::string docxPreviewHtml(std::span<const uint8_t> package) {
    auto part = readPackagePart(package, "word/document.xml");
    if (!part)
        return {};
    std::string_view xml(reinterpret_cast<const char*>(part->data()), part->size());
    std::string out(kPreviewPageHead);
    DocumentHtmlWriter writer(out);
    size_t pos = 0;
    while (pos < xml.size()) {
        size_t lt = xml.find('<', pos);
        writer.text(xml.substr(pos, lt == std::string_view::npos ? xml.npos : lt - pos));
        if (lt == std::string_view::npos)
            break;
        size_t gt = markupEnd(xml, lt);
        if (gt == std::string_view::npos)
            break;  // a cut-off tag ends what can be shown
        std::string_view inner = xml.substr(lt + 1, gt - lt - 1);
        if (!inner.empty() && inner[0] != '?' && inner[0] != '!')
            writer.tag(parseTag(inner));
        pos = gt + 1;
    }
    writer.finish();
    return out.append(kPreviewPageTail);
}

std::string textPreviewHtml(std::span<const uint8_t> text) {
    std::string utf8 = windows1252ToUtf8(text);
    std::string out(kPreviewPageHead);
    size_t start = 0;
    while (start <= utf8.size()) {
        size_t nl = utf8.find('\n', start);
        std::string_view line(utf8.data() + start,
                              (nl == std::string::npos ? utf8.size() : nl) - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (nl == std::string::npos && line.empty() && start > 0)
            break;
        out += "<p>";
        if (line.empty())
            out += "&nbsp;";
        for (char c : line)
            appendEscaped(out, c);
        out += "</p>";
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return out.append(kPreviewPageTail);
}

}  // namespace morvel
