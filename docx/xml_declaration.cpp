#include "docx/xml_declaration.h"

#include "docx/markup_repair_chars.h"
#include "docx/span_match.h"

namespace morvel {

namespace {

class DeclarationReader {
  public:
    explicit DeclarationReader(std::string_view s) : s_(s) {}

    // The encoding name read, empty when the declaration has none.
    std::string_view encoding() const { return encoding_; }

    bool read() {
        if (!literal("<?xml") || !attribute("version", &DeclarationReader::versionValue))
            return false;
        size_t mark = i_;
        if (!attribute("encoding", &DeclarationReader::encodingValue))
            i_ = mark;
        mark = i_;
        if (!attribute("standalone", &DeclarationReader::standaloneValue))
            i_ = mark;
        spaces();
        return literal("?>") && i_ == s_.size();
    }

  private:
    using ValueCheck = bool (DeclarationReader::*)(std::string_view);

    bool literal(std::string_view text) {
        if (s_.substr(i_).substr(0, text.size()) != text)
            return false;
        i_ += text.size();
        return true;
    }

    size_t spaces() {
        const size_t start = i_;
        while (i_ < s_.size() && isXmlSpace(s_[i_]))
            ++i_;
        return i_ - start;
    }

    // S name S? '=' S? quote value quote, the value checked by check.
    bool attribute(std::string_view name, ValueCheck check) {
        if (spaces() == 0 || !literal(name))
            return false;
        spaces();
        if (!literal("="))
            return false;
        spaces();
        if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\''))
            return false;
        const char quote = s_[i_++];
        const size_t close = s_.find(quote, i_);
        if (close == std::string_view::npos)
            return false;
        const std::string_view value = s_.substr(i_, close - i_);
        i_ = close + 1;
        return (this->*check)(value);
    }

    static bool digit(char c) { return c >= '0' && c <= '9'; }
    static bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

    bool versionValue(std::string_view v) {
        if (v.size() < 3 || !v.starts_with("1."))
            return false;
        for (char c : v.substr(2))
            if (!digit(c))
                return false;
        return true;
    }

    bool encodingValue(std::string_view v) {
        encoding_ = v;
        if (v.empty() || !letter(v[0]))
            return false;
        for (char c : v.substr(1))
            if (!letter(c) && !digit(c) && c != '.' && c != '_' && c != '-')
                return false;
        return true;
    }

    bool standaloneValue(std::string_view v) { return v == "yes" || v == "no"; }

    std::string_view s_;
    size_t i_ = 0;
    std::string_view encoding_;
};

}  // namespace

bool isWellFormedDeclaration(std::string_view decl) {
    return DeclarationReader(decl).read();
}

bool isUtf8Declaration(std::string_view decl) {
    DeclarationReader reader(decl);
    if (!reader.read())
        return false;
    const std::string_view name = reader.encoding();
    constexpr std::string_view kUtf8 = "UTF-8";
    // Of equal length, finding the name is matching it.
    return name.empty() ||
           (name.size() == kUtf8.size() && FindNoCase(spanOf(name), kUtf8) != nullptr);
}

}  // namespace morvel
