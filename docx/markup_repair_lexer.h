#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace morvel {

enum class RepairItemKind { Declaration, Text, CData, StartTag, EndTag };

struct RepairAttribute {
    std::string_view name;
    std::string_view raw;  // name="value" as written, a valid attribute on its own
    std::string_view value;
};

// One construct of a damaged part that is well-formed on its own.
struct RepairItem {
    RepairItemKind kind = RepairItemKind::Text;
    // Declaration: the whole declaration; Text, CData: the raw text (not yet cleaned);
    // StartTag, EndTag: the tag name.
    std::string_view text;
    bool selfClosing = false;
    std::vector<RepairAttribute> attributes;  // start tags; duplicates left out
};

// Cuts a damaged XML part into constructs that are each well-formed on their own, dropping
// the ones the damage broke: a tag with a bad name character, an attribute without '=' or
// with an unbalanced quote, a '<' inside a tag, invalid UTF-8, a control byte or a broken
// reference; comments, processing instructions and document type declarations (of no use in
// a package part); a declaration anywhere but at the start. A broken construct is skipped up
// to its '>' when that comes before the next '<', else up to the next '<', so text after it
// survives. Text is handed out raw: the writer cleans it.
class DamagedMarkupLexer {
  public:
    explicit DamagedMarkupLexer(std::string_view bytes);

    bool HasByteOrderMark() const { return bom_; }
    // The next construct, or false at the end of the part.
    bool Next(RepairItem& item);
    // How many broken constructs were dropped so far.
    uint32_t Dropped() const { return dropped_; }

  private:
    bool declaration(RepairItem& item);
    bool startTag(RepairItem& item);
    bool endTag(RepairItem& item);
    void skipBroken(size_t start);
    size_t nameLength(size_t at) const;
    size_t valueEnd(size_t from, char quote) const;

    std::string_view s_;
    size_t pos_ = 0;
    bool bom_ = false;
    uint32_t dropped_ = 0;
    std::vector<uint32_t> order_;  // scratch for the duplicate-attribute check
};

// The length of the character or entity reference at `at` (an '&'), or 0 when it is broken
// or names an entity that XML does not predefine.
size_t referenceLength(std::string_view s, size_t at);

}  // namespace morvel
