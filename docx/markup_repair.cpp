#include "docx/markup_repair.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "docx/markup_repair_chars.h"
#include "docx/markup_repair_lexer.h"
#include "docx/markup_repair_roots.h"
#include "docx/markup_store.h"

namespace morvel {

namespace {

constexpr std::string_view kStandardDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kTextOpen = "<w:t xml:space=\"preserve\">";
constexpr std::string_view kTableOpen =
    "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/></w:tblPr><w:tblGrid/>";
// How many open elements a misplaced paragraph, run or text may close to reach its place.
constexpr size_t kMaxClosedForPlace = 64;
// Room left under the depth bound for the elements the repair adds.
constexpr size_t kDepthReserve = 4;

bool isWordml(PartRole role) {
    return role == PartRole::MainDocument || role == PartRole::Header || role == PartRole::Footer ||
           role == PartRole::Footnotes || role == PartRole::Endnotes || role == PartRole::Comments;
}

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> list) {
    for (std::string_view n : list)
        if (n == name)
            return true;
    return false;
}

// What an element may hold, as far as placing paragraphs, runs and text goes.
enum class Holds { Blocks, RunsOnly, TextOnly, Rows, Cells, Anything, Other };

Holds holdsOf(std::string_view name) {
    if (isOneOf(name, {"w:body", "w:tc", "w:txbxContent", "w:hdr", "w:ftr", "w:footnote",
                       "w:endnote", "w:comment", "w:docPartBody"}))
        return Holds::Blocks;
    if (isOneOf(name, {"w:p", "w:hyperlink", "w:fldSimple", "w:smartTag", "w:ins", "w:del",
                       "w:moveFrom", "w:moveTo", "w:dir", "w:bdo", "w:rt", "w:rubyBase"}))
        return Holds::RunsOnly;
    if (isOneOf(name, {"w:r", "m:r"}))
        return Holds::TextOnly;
    if (name == "w:tbl")
        return Holds::Rows;
    if (name == "w:tr")
        return Holds::Cells;
    if (isOneOf(name,
                {"w:sdtContent", "w:customXml", "mc:AlternateContent", "mc:Choice", "mc:Fallback"}))
        return Holds::Anything;
    return Holds::Other;
}

// Where an element must sit.
enum class Needs { Nothing, Block, Paragraph, Run, Table, Row };

Needs needsOf(std::string_view name, std::string_view parent) {
    if (name == "w:p" || name == "w:tbl")
        return Needs::Block;
    if (isOneOf(name, {"w:r", "w:hyperlink", "w:fldSimple"}))
        return Needs::Paragraph;
    if (name == "w:tab" && parent == "w:tabs")
        return Needs::Nothing;  // a tab stop, not a tab character
    if (isOneOf(name, {"w:t", "w:delText", "w:instrText", "w:delInstrText", "w:tab", "w:br", "w:cr",
                       "w:drawing", "w:pict", "w:object", "w:fldChar", "w:lastRenderedPageBreak",
                       "w:footnoteReference", "w:endnoteReference"}))
        return Needs::Run;
    if (name == "w:tr")
        return Needs::Table;
    if (name == "w:tc")
        return Needs::Row;
    return Needs::Nothing;
}

// The wrappers to open inside an element that holds `holds` so that something that needs
// `needs` fits; false when none make it fit.
bool wrappersFor(Holds holds, Needs needs, std::vector<std::string_view>& wrappers) {
    wrappers.clear();
    if (holds == Holds::Anything)
        return true;
    switch (needs) {
        case Needs::Nothing:
            return true;
        case Needs::Block:
            return holds == Holds::Blocks;
        case Needs::Paragraph:
            if (holds == Holds::Blocks)
                wrappers = {"w:p"};
            return holds == Holds::Blocks || holds == Holds::RunsOnly;
        case Needs::Run:
            if (holds == Holds::Blocks)
                wrappers = {"w:p", "w:r"};
            else if (holds == Holds::RunsOnly)
                wrappers = {"w:r"};
            return holds == Holds::Blocks || holds == Holds::RunsOnly || holds == Holds::TextOnly;
        case Needs::Table:
            if (holds == Holds::Blocks)
                wrappers = {"w:tbl"};
            return holds == Holds::Blocks || holds == Holds::Rows;
        case Needs::Row:
            if (holds == Holds::Blocks)
                wrappers = {"w:tbl", "w:tr"};
            else if (holds == Holds::Rows)
                wrappers = {"w:tr"};
            return holds == Holds::Blocks || holds == Holds::Rows || holds == Holds::Cells;
    }
    return false;
}

bool isTextHolder(std::string_view name) {
    return isOneOf(name, {"w:t", "w:delText", "w:instrText", "w:delInstrText", "w:fldData"});
}

std::string_view prefixOf(std::string_view qname) {
    const size_t colon = qname.find(':');
    return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

// The prefixes XML binds itself; a part may not declare them.
bool isReservedPrefix(std::string_view declaration) {
    return declaration == "xmlns:xml" || declaration == "xmlns:xmlns";
}

bool declaresNamespaces(const RepairItem& tag) {
    for (const RepairAttribute& a : tag.attributes)
        if (a.name == "xmlns" || a.name.starts_with("xmlns:"))
            return true;
    return false;
}

bool isSpaceOnly(std::string_view text) {
    for (char c : text)
        if (!isXmlSpace(c))
            return false;
    return true;
}

class RepairWriter {
  public:
    RepairWriter(PartRole role, std::vector<uint8_t>& out)
        : role_(role), wordml_(isWordml(role)), root_(repairRootOf(role)), out_(out) {}

    void run(std::string_view in) {
        DamagedMarkupLexer lexer(in);
        RepairItem item;
        bool first = true;
        while (lexer.Next(item)) {
            if (first) {
                if (lexer.HasByteOrderMark())
                    write(kByteOrderMark);
                write(item.kind == RepairItemKind::Declaration ? item.text : kStandardDeclaration);
                first = false;
                if (item.kind == RepairItemKind::Declaration)
                    continue;
            }
            if (lexer.Dropped() > 0 || item.kind == RepairItemKind::EndTag ||
                ((item.kind == RepairItemKind::Text || item.kind == RepairItemKind::CData) &&
                 !isSpaceOnly(item.text)))
                cleanStart_ = false;
            switch (item.kind) {
                case RepairItemKind::Declaration:
                    break;
                case RepairItemKind::Text:
                case RepairItemKind::CData:
                    text(item.text, item.kind == RepairItemKind::CData);
                    break;
                case RepairItemKind::StartTag:
                    startTag(item);
                    break;
                case RepairItemKind::EndTag:
                    endTag(item.text);
                    break;
            }
        }
        if (first)
            write(kStandardDeclaration);
        // A part with nothing left still gets its root, so it is a document.
        if (!rooted_ && !root_.name.empty())
            openRoot();
        while (!stack_.empty())
            closeTop();
        if (!rooted_)
            out_.clear();
    }

  private:
    struct Open {
        std::string_view name;
        uint32_t prefixMark;  // declared prefixes before this element's own
        bool sticky;          // the root and the body: closed only at the end
    };

    void write(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }

    void push(std::string_view name, bool sticky) {
        stack_.push_back({name, static_cast<uint32_t>(prefixes_.size()), sticky});
        ++openCount_[name];
    }

    void closeTop() {
        const Open top = stack_.back();
        write("</");
        write(top.name);
        write(">");
        --openCount_[top.name];
        prefixes_.resize(top.prefixMark);
        stack_.pop_back();
    }

    void openSynthetic(std::string_view name) {
        if (name == "w:tbl") {
            write(kTableOpen);
        } else {
            write("<");
            write(name);
            write(">");
        }
        push(name, false);
    }

    // Writes the role's root (and, for a main document, its body) in place of a lost one.
    void openRoot() {
        rooted_ = true;
        write(root_.openTag);
        push(root_.name, true);
        DamagedMarkupLexer lexer(root_.openTag);
        RepairItem tag;
        lexer.Next(tag);
        for (const RepairAttribute& a : tag.attributes)
            if (a.name.starts_with("xmlns:"))
                prefixes_.push_back(a.name.substr(6));
        if (role_ == PartRole::MainDocument) {
            write("<w:body>");
            push("w:body", true);
        }
    }

    // Before the first text that needs a place: rebuild a lost root. False when the text
    // has nowhere to go (the part's root is closed, or no root is known for the role).
    bool placeRoot() {
        if (rooted_)
            return !stack_.empty();
        if (root_.name.empty())
            return false;
        openRoot();
        return true;
    }

    // A main document whose body tag was lost gets one before its content.
    void enterBody(std::string_view name) {
        if (role_ == PartRole::MainDocument && stack_.size() == 1 && stack_[0].name == root_.name &&
            name != "w:body" && name != "w:background") {
            write("<w:body>");
            push("w:body", true);
        }
    }

    // Closes what stands between the top and the nearest element that can hold something
    // that needs `needs`, and opens the wrappers it lacks. False when there is no such
    // element within reach, or the direct parent is one whose content is not known here.
    bool place(Needs needs) {
        if (needs == Needs::Nothing || stack_.empty())
            return true;
        std::vector<std::string_view>& wrappers = wrappers_;
        const std::string_view parent = stack_.back().name;
        if (!parent.starts_with("w:") && holdsOf(parent) == Holds::Other)
            return false;
        size_t k = stack_.size();
        const size_t lowest =
            stack_.size() > kMaxClosedForPlace ? stack_.size() - kMaxClosedForPlace : 0;
        while (k > lowest) {
            --k;
            if (wrappersFor(holdsOf(stack_[k].name), needs, wrappers))
                break;
            if (stack_[k].sticky || k == lowest)
                return false;
        }
        while (stack_.size() > k + 1)
            closeTop();
        if (stack_.size() + wrappers.size() + kDepthReserve > kMaxMarkupDepth)
            return false;
        for (std::string_view w : wrappers)
            openSynthetic(w);
        return true;
    }

    void text(std::string_view raw, bool cdata) {
        if (!rooted_ || stack_.empty()) {
            // Space may stand around the root; other text needs the root first.
            if (isSpaceOnly(raw)) {
                if (!cdata)
                    write(raw);
                return;
            }
            if (!placeRoot())
                return;
        }
        const size_t start = out_.size();
        writeText(raw, cdata);
        const std::string_view clean(reinterpret_cast<const char*>(out_.data()) + start,
                                     out_.size() - start);
        if (!wordml_ || isSpaceOnly(clean))
            return;
        // Text that stands where no text element holds it gets the run and text element it
        // needs, so readers show it.
        scratch_.assign(clean);
        out_.resize(start);
        enterBody("");
        const std::string_view top = stack_.back().name;
        const bool wrap = top.starts_with("w:") && !isTextHolder(top) && place(Needs::Run);
        if (wrap)
            write(kTextOpen);
        write(scratch_);
        if (wrap)
            write("</w:t>");
    }

    // Text with everything that is no XML left out and markup characters escaped.
    void writeText(std::string_view raw, bool cdata) {
        size_t i = 0;
        // Characters kept as they are go out in runs: a part's text is megabytes, and
        // writing it one character at a time costs more than reading it.
        size_t run = SIZE_MAX;  // start of the pending run; none when SIZE_MAX
        const auto flush = [&] {
            if (run < i)
                write(raw.substr(run, i - run));
            run = SIZE_MAX;
        };
        while (i < raw.size()) {
            const char c = raw[i];
            if (c == '&' || c == '<' || c == '>')
                flush();
            if (c == '&') {
                const size_t n = cdata ? 0 : referenceLength(raw, i);
                if (n > 0) {
                    write(raw.substr(i, n));
                    i += n;
                } else {
                    write("&amp;");
                    ++i;
                }
                continue;
            }
            if (c == '<') {
                write("&lt;");
                ++i;
                continue;
            }
            if (c == '>') {
                // "]]>" may not stand in text.
                const bool afterBrackets = out_.size() >= 2 && out_[out_.size() - 1] == ']' &&
                                           out_[out_.size() - 2] == ']';
                write(cdata || afterBrackets ? "&gt;" : ">");
                ++i;
                continue;
            }
            const Utf8Char u = decodeUtf8(raw, i);
            if (u.length != 0 && isXmlChar(u.code)) {
                if (run > i)
                    run = i;
                i += u.length;
                continue;
            }
            flush();
            i += u.length == 0 ? 1 : u.length;  // a byte of a broken sequence, or no XML
        }
        flush();
    }

    bool declared(std::string_view prefix) const {
        if (prefix.empty() || prefix == "xml")
            return true;
        for (size_t k = prefixes_.size(); k > 0; --k)
            if (prefixes_[k - 1] == prefix)
                return true;
        return false;
    }

    void startTag(const RepairItem& item) {
        const std::string_view name = item.text;
        if (rooted_ && stack_.empty())
            return;  // the part's root was one empty element: nothing goes after it
        // The first element is the part's own root when it has the role's root name, or
        // when it declares namespaces and nothing came before it (a part of another kind);
        // otherwise the root was lost.
        if (!rooted_ && !root_.name.empty() && name != root_.name &&
            !(cleanStart_ && declaresNamespaces(item)))
            openRoot();
        if (!stack_.empty()) {
            enterBody(name);
            if (wordml_)
                place(needsOf(name, stack_.back().name));
        }
        if (!item.selfClosing && stack_.size() + kDepthReserve >= kMaxMarkupDepth)
            return;
        // Namespaces: the tag's own declarations count for itself; an element whose prefix
        // is declared nowhere is left out (its content stays), an attribute likewise.
        const uint32_t mark = static_cast<uint32_t>(prefixes_.size());
        for (const RepairAttribute& a : item.attributes)
            if (a.name.starts_with("xmlns:") && !a.value.empty() && !isReservedPrefix(a.name))
                prefixes_.push_back(a.name.substr(6));
        const std::string_view prefix = prefixOf(name);
        if (prefix == "xmlns" || !declared(prefix)) {
            prefixes_.resize(mark);
            return;
        }
        write("<");
        write(name);
        for (const RepairAttribute& a : item.attributes) {
            const std::string_view p = prefixOf(a.name);
            const bool declaration = p == "xmlns" || a.name == "xmlns";
            if (declaration ? (p == "xmlns" && (a.value.empty() || isReservedPrefix(a.name)))
                            : !declared(p))
                continue;
            write(" ");
            write(a.raw);
        }
        write(item.selfClosing ? "/>" : ">");
        rooted_ = true;
        if (item.selfClosing) {
            prefixes_.resize(mark);
            return;
        }
        const bool sticky = stack_.empty() || (role_ == PartRole::MainDocument &&
                                               stack_.size() == 1 && name == "w:body");
        stack_.push_back({name, mark, sticky});
        ++openCount_[name];
    }

    void endTag(std::string_view name) {
        const auto it = openCount_.find(name);
        if (it == openCount_.end() || it->second == 0)
            return;  // closes nothing that is open
        // The root and the body close at the end, so nothing after them is lost.
        if (it->second == 1 && (name == stack_.front().name ||
                                (stack_.size() > 1 && stack_[1].sticky && name == stack_[1].name)))
            return;
        size_t k = stack_.size();
        while (k > 0 && stack_[k - 1].name != name)
            --k;
        if (k == 0 || stack_[k - 1].sticky)
            return;
        while (stack_.size() >= k)
            closeTop();
    }

    PartRole role_;
    bool wordml_;
    RepairRoot root_;
    std::vector<uint8_t>& out_;
    std::vector<Open> stack_;
    std::vector<std::string_view> prefixes_;
    std::unordered_map<std::string_view, uint32_t> openCount_;
    std::vector<std::string_view> wrappers_;
    std::string scratch_;
    bool rooted_ = false;
    bool cleanStart_ = true;  // nothing but space before the first element so far
};

bool containsTag(std::string_view s, std::string_view name) {
    for (size_t at = s.find(name); at != std::string_view::npos; at = s.find(name, at + 1)) {
        const size_t after = at + name.size();
        if (after < s.size() && (isXmlSpace(s[after]) || s[after] == '>' || s[after] == '/'))
            return true;
    }
    return false;
}

PartRole guessRole(std::string_view s) {
    const std::pair<std::string_view, PartRole> roots[] = {
        {"<w:document", PartRole::MainDocument},
        {"<w:hdr", PartRole::Header},
        {"<w:ftr", PartRole::Footer},
        {"<w:footnotes", PartRole::Footnotes},
        {"<w:endnotes", PartRole::Endnotes},
        {"<w:comments", PartRole::Comments},
        {"<w:styles", PartRole::Styles},
        {"<Relationships", PartRole::Relationships},
        {"<Types", PartRole::ContentTypes}};
    const std::string_view head = s.substr(0, 4096);
    for (const auto& [tag, role] : roots)
        if (containsTag(head, tag))
            return role;
    if (containsTag(s, "<w:style"))
        return PartRole::Styles;
    if (containsTag(s, "<Relationship"))
        return PartRole::Relationships;
    if (containsTag(s, "<Override") || containsTag(s, "<Default"))
        return PartRole::ContentTypes;
    if (containsTag(s, "<w:p") || containsTag(s, "<w:r") || containsTag(s, "<w:t"))
        return PartRole::MainDocument;
    return PartRole::Other;
}

}  // namespace

PartRole partRoleOf(std::string_view partName) {
    const size_t slash = partName.rfind('/');
    const std::string_view file =
        slash == std::string_view::npos ? partName : partName.substr(slash + 1);
    if (file.ends_with(".rels"))
        return PartRole::Relationships;
    if (file == "[Content_Types].xml")
        return PartRole::ContentTypes;
    if (file == "document.xml" && partName.find("glossary/") == std::string_view::npos)
        return PartRole::MainDocument;
    if (file.starts_with("header") && file.ends_with(".xml"))
        return PartRole::Header;
    if (file.starts_with("footer") && file.ends_with(".xml"))
        return PartRole::Footer;
    if (file == "footnotes.xml")
        return PartRole::Footnotes;
    if (file == "endnotes.xml")
        return PartRole::Endnotes;
    if (file == "comments.xml")
        return PartRole::Comments;
    if (file == "styles.xml" || file == "stylesWithEffects.xml")
        return PartRole::Styles;
    return PartRole::Other;
}

std::vector<uint8_t> repairMarkup(ByteSpan damaged, PartRole role) {
    std::vector<uint8_t> out;
    if (damaged.absent() || damaged.length == 0)
        return out;
    out.reserve(damaged.length + damaged.length / 8 + 4096);
    RepairWriter(role, out).run(damaged.view());
    return out;
}

std::vector<uint8_t> repairMarkup(ByteSpan damaged) {
    return repairMarkup(damaged, guessRole(damaged.view()));
}

}  // namespace morvel
