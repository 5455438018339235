#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvel {

// The marks of converted text: every paragraph ends with kParagraphEnd, a line break inside a
// paragraph is kLineBreak (as Word stores it) and a tab is itself. Everything else is UTF-8.
inline constexpr char kParagraphEnd = '\n';
inline constexpr char kLineBreak = '\v';
inline constexpr char kTab = '\t';

// Collects a converted document's text as UTF-8 with the marks above. Control characters of
// the source are left out, so only the marks carry structure.
class TextBuilder {
  public:
    // One character; controls below U+0020, U+FFFE and U+FFFF are dropped.
    void character(uint32_t codePoint);
    // UTF-8 text taken as it is (already decoded), with controls dropped.
    void text(std::string_view utf8);
    void tab();
    void lineBreak();
    // Ends the paragraph, empty or not (an empty paragraph is a blank line of the document).
    void paragraph();
    // Ends the paragraph unless nothing was written on its line since the last break: block
    // boundaries of markup, which must not pile up blank lines.
    void breakParagraph();
    // A space that collapses with the spaces next to it and vanishes at the start of a line
    // and before a break (white space of markup outside preformatted text).
    void collapsibleSpace();
    // True when nothing has been written since the last paragraph end or line break.
    bool lineEmpty() const;
    // The text, without trailing breaks: the last paragraph needs no end of its own.
    std::string finish();

  private:
    void flushSpace();

    std::string out_;
    bool pendingSpace_ = false;
};

// True when converted text holds something besides white space and breaks.
bool holdsVisibleText(std::string_view text);

// Converted text as plain text: line breaks become line ends too.
std::string plainTextOf(std::string_view converted);

}  // namespace morvel
