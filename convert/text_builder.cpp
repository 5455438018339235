#include "convert/text_builder.h"

#include "platform/utf8.h"

namespace morvel {

namespace {

bool isBreak(char c) {
    return c == kParagraphEnd || c == kLineBreak;
}

}  // namespace

void TextBuilder::flushSpace() {
    if (pendingSpace_ && !lineEmpty())
        out_ += ' ';
    pendingSpace_ = false;
}

void TextBuilder::character(uint32_t codePoint) {
    if (codePoint < 0x20 || codePoint == 0x7F || codePoint == 0xFFFE || codePoint == 0xFFFF)
        return;
    flushSpace();
    appendUtf8(out_, codePoint);
}

void TextBuilder::text(std::string_view utf8) {
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            continue;
        flushSpace();
        out_ += c;
    }
}

void TextBuilder::tab() {
    flushSpace();
    out_ += kTab;
}

void TextBuilder::lineBreak() {
    pendingSpace_ = false;
    out_ += kLineBreak;
}

void TextBuilder::paragraph() {
    pendingSpace_ = false;
    out_ += kParagraphEnd;
}

void TextBuilder::breakParagraph() {
    pendingSpace_ = false;
    if (!lineEmpty())
        out_ += kParagraphEnd;
}

void TextBuilder::collapsibleSpace() {
    pendingSpace_ = true;
}

bool TextBuilder::lineEmpty() const {
    return out_.empty() || isBreak(out_.back());
}

std::string TextBuilder::finish() {
    while (!out_.empty() && isBreak(out_.back()))
        out_.pop_back();
    pendingSpace_ = false;
    return std::move(out_);
}

bool holdsVisibleText(std::string_view text) {
    for (char c : text)
        if (c != ' ' && c != kTab && !isBreak(c))
            return true;
    return false;
}

std::string plainTextOf(std::string_view converted) {
    std::string out(converted);
    for (char& c : out)
        if (c == kLineBreak)
            c = '\n';
    return out;
}

}  // namespace morvel
