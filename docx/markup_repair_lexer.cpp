#include "docx/markup_repair_lexer.h"

#include <algorithm>
#include <string>

#include "docx/markup_repair_chars.h"
#include "docx/xml_declaration.h"
#include "platform/tag_end.h"

namespace morvel {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t npos = std::string_view::npos;
// A tag with more attributes than this is not one Word wrote.
constexpr size_t kMaxAttributes = 1024;

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

size_t referenceLength(std::string_view s, size_t at) {
    size_t j = at + 1;
    if (j < s.size() && s[j] == '#') {
        const bool hex = j + 1 < s.size() && s[j + 1] == 'x';
        j += hex ? 2 : 1;
        uint32_t code = 0;
        const size_t first = j;
        while (j < s.size() && j - first < 8 &&
               (hex ? isHex(s[j]) : (s[j] >= '0' && s[j] <= '9'))) {
            const char c = s[j];
            const uint32_t digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
            code = code * (hex ? 16 : 10) + digit;
            ++j;
        }
        if (j == first || j >= s.size() || s[j] != ';' || !isXmlChar(code))
            return 0;
        return j + 1 - at;
    }
    for (std::string_view name : {"lt;", "gt;", "amp;", "quot;", "apos;"})
        if (s.substr(j, name.size()) == name)
            return name.size() + 1;
    return 0;
}

DamagedMarkupLexer::DamagedMarkupLexer(std::string_view bytes) : s_(bytes) {
    if (s_.starts_with(kByteOrderMark)) {
        bom_ = true;
        pos_ = kByteOrderMark.size();
    }
}

void DamagedMarkupLexer::skipBroken(size_t start) {
    ++dropped_;
    size_t next = s_.find('<', start + 1);
    if (next == npos)
        next = s_.size();
    const size_t gt = findTagEnd(s_.substr(0, next), start + 1);
    pos_ = gt != npos ? gt + 1 : next;
}

size_t DamagedMarkupLexer::nameLength(size_t at) const {
    size_t i = at;
    size_t colons = 0;
    while (i < s_.size()) {
        const char c = s_[i];
        if (c == ':') {
            if (i == at || ++colons > 1)
                return 0;
            ++i;
            continue;
        }
        const Utf8Char u = decodeUtf8(s_, i);
        if (u.length == 0 || !(i == at ? isNameStartChar(u.code) : isNameChar(u.code)))
            break;
        // A name part after the colon starts afresh.
        if (i > at && s_[i - 1] == ':' && !isNameStartChar(u.code))
            return 0;
        i += u.length;
    }
    if (i == at || s_[i - 1] == ':')
        return 0;
    return i - at;
}

size_t DamagedMarkupLexer::valueEnd(size_t from, char quote) const {
    size_t i = from;
    while (i < s_.size()) {
        const char c = s_[i];
        if (c == quote)
            return i;
        if (c == '<')
            return npos;
        if (c == '&') {
            const size_t n = referenceLength(s_, i);
            if (n == 0)
                return npos;
            i += n;
            continue;
        }
        const Utf8Char u = decodeUtf8(s_, i);
        if (u.length == 0 || !isXmlChar(u.code))
            return npos;
        i += u.length;
    }
    return npos;
}

bool DamagedMarkupLexer::declaration(RepairItem& item) {
    const size_t start = pos_;
    const size_t end = s_.find("?>", start);
    const size_t next = s_.find('<', start + 1);
    if (end == npos || (next != npos && next < end)) {
        skipBroken(start);
        return false;
    }
    const std::string_view decl = s_.substr(start, end + 2 - start);
    pos_ = end + 2;
    // Only a well-formed declaration naming UTF-8 (or no encoding) is kept; the writer puts
    // its own in place of any other.
    if (!isUtf8Declaration(decl))
        return false;
    item.kind = RepairItemKind::Declaration;
    item.text = decl;
    return true;
}

bool DamagedMarkupLexer::endTag(RepairItem& item) {
    const size_t start = pos_;
    const size_t n = nameLength(start + 2);
    size_t i = start + 2 + n;
    while (i < s_.size() && isXmlSpace(s_[i]))
        ++i;
    if (n == 0 || i >= s_.size() || s_[i] != '>') {
        skipBroken(start);
        return false;
    }
    item.kind = RepairItemKind::EndTag;
    item.text = s_.substr(start + 2, n);
    pos_ = i + 1;
    return true;
}

bool DamagedMarkupLexer::startTag(RepairItem& item) {
    const size_t start = pos_;
    const size_t n = nameLength(start + 1);
    if (n == 0) {
        skipBroken(start);
        return false;
    }
    item.kind = RepairItemKind::StartTag;
    item.text = s_.substr(start + 1, n);
    item.attributes.clear();
    size_t i = start + 1 + n;
    while (true) {
        const size_t space = i;
        while (i < s_.size() && isXmlSpace(s_[i]))
            ++i;
        if (i >= s_.size())
            break;
        if (s_[i] == '>' || (s_[i] == '/' && i + 1 < s_.size() && s_[i + 1] == '>')) {
            item.selfClosing = s_[i] == '/';
            pos_ = i + (item.selfClosing ? 2 : 1);
            break;
        }
        const size_t an =
            space == i || item.attributes.size() == kMaxAttributes ? 0 : nameLength(i);
        if (an == 0)
            break;
        const size_t nameAt = i;
        i += an;
        while (i < s_.size() && isXmlSpace(s_[i]))
            ++i;
        if (i >= s_.size() || s_[i] != '=')
            break;
        ++i;
        while (i < s_.size() && isXmlSpace(s_[i]))
            ++i;
        if (i >= s_.size() || (s_[i] != '"' && s_[i] != '\''))
            break;
        const size_t close = valueEnd(i + 1, s_[i]);
        if (close == npos)
            break;
        item.attributes.push_back({s_.substr(nameAt, an), s_.substr(nameAt, close + 1 - nameAt),
                                   s_.substr(i + 1, close - i - 1)});
        i = close + 1;
    }
    if (pos_ <= start) {
        skipBroken(start);
        return false;
    }
    // A damaged join can repeat an attribute; the first one stays.
    if (item.attributes.size() > 1) {
        order_.resize(item.attributes.size());
        for (uint32_t k = 0; k < order_.size(); ++k)
            order_[k] = k;
        auto& a = item.attributes;
        std::stable_sort(order_.begin(), order_.end(),
                         [&](uint32_t x, uint32_t y) { return a[x].name < a[y].name; });
        bool any = false;
        for (size_t k = 1; k < order_.size(); ++k)
            if (a[order_[k]].name == a[order_[k - 1]].name) {
                a[order_[k]].raw = {};
                any = true;
            }
        if (any)
            std::erase_if(a, [](const RepairAttribute& r) { return r.raw.empty(); });
    }
    return true;
}

bool DamagedMarkupLexer::Next(RepairItem& item) {
    const size_t first = bom_ ? kByteOrderMark.size() : 0;
    while (pos_ < s_.size()) {
        const size_t start = pos_;
        if (s_[start] != '<') {
            size_t next = s_.find('<', start);
            if (next == npos)
                next = s_.size();
            item.kind = RepairItemKind::Text;
            item.text = s_.substr(start, next - start);
            pos_ = next;
            return true;
        }
        const std::string_view rest = s_.substr(start);
        if (rest.starts_with("<!--")) {
            const size_t end = s_.find("-->", start + 4);
            if (end == npos) {
                ++dropped_;
                pos_ = start + 4;
            } else {
                pos_ = end + 3;
            }
        } else if (rest.starts_with("<![CDATA[")) {
            const size_t end = s_.find("]]>", start + 9);
            if (end == npos) {
                ++dropped_;
                pos_ = start + 9;
            } else {
                item.kind = RepairItemKind::CData;
                item.text = s_.substr(start + 9, end - start - 9);
                pos_ = end + 3;
                return true;
            }
        } else if (rest.starts_with("<?")) {
            if (start == first && rest.starts_with("<?xml") && rest.size() > 5 &&
                (isXmlSpace(rest[5]) || rest[5] == '?')) {
                if (declaration(item))
                    return true;
            } else {
                skipBroken(start);
            }
        } else if (rest.starts_with("<!")) {
            skipBroken(start);
        } else if (rest.starts_with("</")) {
            if (endTag(item))
                return true;
        } else if (startTag(item)) {
            return true;
        }
    }
    return false;
}

}  // namespace morvel
