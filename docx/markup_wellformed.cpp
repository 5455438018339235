#include "docx/markup_wellformed.h"

#include <set>
#include <vector>

#include "docx/markup_repair_chars.h"
#include "docx/xml_declaration.h"

namespace morvel {

namespace {

constexpr size_t npos = std::string_view::npos;

class Checker {
  public:
    explicit Checker(std::string_view s) : s_(s) {}

    std::string check() {
        if (s_.starts_with("\xEF\xBB\xBF"))
            i_ = 3;
        if (s_.substr(i_).starts_with("<?xml")) {
            const size_t end = s_.find("?>", i_);
            if (end == npos)
                return fault("declaration not ended");
            if (!isWellFormedDeclaration(s_.substr(i_, end + 2 - i_)))
                return fault("declaration not well-formed");
            i_ = end + 2;
        }
        while (i_ < s_.size()) {
            std::string f = s_[i_] == '<' ? markup() : text();
            if (!f.empty())
                return f;
        }
        if (!open_.empty())
            return fault("element left open: " + std::string(open_.back().name));
        if (!hadRoot_)
            return fault("no root element");
        return {};
    }

  private:
    struct Element {
        std::string_view name;
        size_t prefixMark;
    };

    std::string fault(const std::string& what) const { return what + " at " + std::to_string(i_); }

    bool space(char c) const { return isXmlSpace(c); }

    // A valid reference at i_ ('&'); advances past it.
    bool reference() {
        size_t j = i_ + 1;
        if (j < s_.size() && s_[j] == '#') {
            const bool hex = j + 1 < s_.size() && s_[j + 1] == 'x';
            j += hex ? 2 : 1;
            const size_t first = j;
            uint64_t code = 0;
            while (j < s_.size() && j - first < 10) {
                const char c = s_[j];
                int d = c >= '0' && c <= '9'          ? c - '0'
                        : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : -1;
                if (d < 0)
                    break;
                code = code * (hex ? 16 : 10) + static_cast<uint64_t>(d);
                ++j;
            }
            if (j == first || j >= s_.size() || s_[j] != ';' || code > 0x10FFFF ||
                !isXmlChar(static_cast<uint32_t>(code)))
                return false;
            i_ = j + 1;
            return true;
        }
        for (std::string_view name : {"lt;", "gt;", "amp;", "quot;", "apos;"})
            if (s_.substr(j, name.size()) == name) {
                i_ = j + name.size();
                return true;
            }
        return false;
    }

    // One character of content at i_; advances past it.
    bool character() {
        const Utf8Char u = decodeUtf8(s_, i_);
        if (u.length == 0 || !isXmlChar(u.code))
            return false;
        i_ += u.length;
        return true;
    }

    std::string text() {
        while (i_ < s_.size() && s_[i_] != '<') {
            const char c = s_[i_];
            if (open_.empty() && !space(c))
                return fault("text outside the root");
            if (c == '&') {
                if (!reference())
                    return fault("broken reference");
            } else if (c == '>' && i_ >= 2 && s_.substr(i_ - 2, 3) == "]]>") {
                return fault("]]> in text");
            } else if (!character()) {
                return fault("invalid character");
            }
        }
        return {};
    }

    size_t name() {
        const size_t from = i_;
        size_t colons = 0;
        while (i_ < s_.size()) {
            if (s_[i_] == ':') {
                ++colons;
                ++i_;
                continue;
            }
            const Utf8Char u = decodeUtf8(s_, i_);
            const bool startsPart = i_ == from || s_[i_ - 1] == ':';
            if (u.length == 0 || !(startsPart ? isNameStartChar(u.code) : isNameChar(u.code)))
                break;
            i_ += u.length;
        }
        const size_t n = i_ - from;
        if (n == 0 || colons > 1 || s_[from] == ':' || s_[i_ - 1] == ':')
            return 0;
        return n;
    }

    bool declared(std::string_view qname) const {
        const size_t colon = qname.find(':');
        if (colon == npos)
            return true;
        const std::string_view prefix = qname.substr(0, colon);
        if (prefix == "xml")
            return true;
        for (size_t k = prefixes_.size(); k > 0; --k)
            if (prefixes_[k - 1] == prefix)
                return true;
        return false;
    }

    std::string skipTo(std::string_view end, const char* what) {
        const size_t at = s_.find(end, i_);
        if (at == npos)
            return fault(std::string(what) + " not ended");
        i_ = at + end.size();
        return {};
    }

    std::string markup() {
        const std::string_view rest = s_.substr(i_);
        if (rest.starts_with("<!--")) {
            const size_t end = s_.find("--", i_ + 4);
            if (end == npos || s_.substr(end, 3) != "-->")
                return fault("broken comment");
            i_ = end + 3;
            return {};
        }
        if (rest.starts_with("<![CDATA[")) {
            if (open_.empty())
                return fault("CDATA outside the root");
            return skipTo("]]>", "CDATA");
        }
        if (rest.starts_with("<?")) {
            if (rest.starts_with("<?xml") && (rest.size() < 6 || space(rest[5]) || rest[5] == '?'))
                return fault("declaration not at the start");
            return skipTo("?>", "processing instruction");
        }
        if (rest.starts_with("<!"))
            return fault("document type or other declaration");
        if (rest.starts_with("</")) {
            i_ += 2;
            const size_t from = i_;
            const size_t n = name();
            if (n == 0)
                return fault("bad closing name");
            while (i_ < s_.size() && space(s_[i_]))
                ++i_;
            if (i_ >= s_.size() || s_[i_] != '>')
                return fault("closing tag not ended");
            ++i_;
            if (open_.empty() || open_.back().name != s_.substr(from, n))
                return fault("closing tag does not match");
            prefixes_.resize(open_.back().prefixMark);
            open_.pop_back();
            return {};
        }
        return startTag();
    }

    std::string startTag() {
        ++i_;
        const size_t from = i_;
        const size_t n = name();
        if (n == 0)
            return fault("bad element name");
        const std::string_view element = s_.substr(from, n);
        if (open_.empty() && hadRoot_)
            return fault("second root element");
        const size_t mark = prefixes_.size();
        std::set<std::string_view> seen;
        std::vector<std::string_view> attributes;
        while (true) {
            const size_t before = i_;
            while (i_ < s_.size() && space(s_[i_]))
                ++i_;
            if (i_ >= s_.size())
                return fault("tag not ended");
            if (s_[i_] == '>' || s_.substr(i_, 2) == "/>")
                break;
            if (before == i_)
                return fault("attribute without space before it");
            const size_t at = i_;
            const size_t an = name();
            if (an == 0)
                return fault("bad attribute name");
            const std::string_view attr = s_.substr(at, an);
            if (!seen.insert(attr).second)
                return fault("attribute repeated");
            while (i_ < s_.size() && space(s_[i_]))
                ++i_;
            if (i_ >= s_.size() || s_[i_] != '=')
                return fault("attribute without =");
            ++i_;
            while (i_ < s_.size() && space(s_[i_]))
                ++i_;
            if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\''))
                return fault("attribute value without quote");
            const char quote = s_[i_++];
            const size_t valueFrom = i_;
            while (i_ < s_.size() && s_[i_] != quote) {
                if (s_[i_] == '<')
                    return fault("< in attribute value");
                if (s_[i_] == '&' ? !reference() : !character())
                    return fault("bad attribute value");
            }
            if (i_ >= s_.size())
                return fault("attribute value not ended");
            const std::string_view value = s_.substr(valueFrom, i_ - valueFrom);
            ++i_;
            if (attr.starts_with("xmlns:")) {
                if (value.empty())
                    return fault("empty namespace for a prefix");
                if (attr == "xmlns:xml" || attr == "xmlns:xmlns")
                    return fault("reserved prefix declared");
                prefixes_.push_back(attr.substr(6));
            }
            attributes.push_back(attr);
        }
        const bool empty = s_[i_] == '/';
        i_ += empty ? 2 : 1;
        if (!declared(element))
            return fault("undeclared prefix of " + std::string(element));
        for (std::string_view a : attributes)
            if (!a.starts_with("xmlns") && !declared(a))
                return fault("undeclared prefix of " + std::string(a));
        hadRoot_ = true;
        if (empty)
            prefixes_.resize(mark);
        else
            open_.push_back({element, mark});
        return {};
    }

    std::string_view s_;
    size_t i_ = 0;
    bool hadRoot_ = false;
    std::vector<Element> open_;
    std::vector<std::string_view> prefixes_;
};

}  // namespace

std::string markupFault(std::string_view xml) {
    return Checker(xml).check();
}

}  // namespace morvel
