#include "convert/rtf_text.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "convert/text_builder.h"
#include "platform/code_pages.h"
#include "platform/hex_digit.h"
#include "platform/utf8.h"

namespace morvel {

namespace {

// Groups nested deeper than this share the state of the deepest one kept: a hostile file
// cannot make the state stack grow without bound, and its text is still read.
constexpr size_t kMaxGroupDepth = 1024;
// Control words longer than this are not RTF; their letters end the word.
constexpr size_t kMaxControlWordLength = 32;
// Digits of a parameter beyond these are read and ignored, so the value cannot overflow.
constexpr int kMaxParameterDigits = 10;
// Characters an \uN skips by default when no \ucN says otherwise.
constexpr int kDefaultUnicodeSkip = 1;

// What a group's text is for.
enum class Destination : uint8_t {
    Text,       // the document's text
    FontTable,  // read for the fonts' character sets, never shown
    Skipped,    // left out, but nested groups are still counted
};

// The state a group inherits from its parent and restores at its end.
struct GroupState {
    Destination destination = Destination::Text;
    int unicodeSkip = kDefaultUnicodeSkip;
    int font = -1;               // \fN in force, -1 none
    bool endsParagraph = false;  // a header, footer or footnote: its text ends a paragraph
};

// Destinations whose groups are left out: tables, document information, pictures and data.
constexpr std::string_view kSkippedDestinations[] = {
    "colortbl",     "stylesheet",
    "info",         "pict",
    "objdata",      "objclass",
    "objname",      "objalias",
    "objsect",      "objtime",
    "objitem",      "objtopic",
    "fldinst",      "filetbl",
    "listtable",    "listoverridetable",
    "revtbl",       "rsidtbl",
    "generator",    "xmlnstbl",
    "themedata",    "colorschememapping",
    "datastore",    "latentstyles",
    "nonshppict",   "bkmkstart",
    "bkmkend",      "xe",
    "tc",           "ftnsep",
    "ftnsepc",      "aftnsep",
    "aftnsepc",     "template",
    "docvar",       "pgdsctbl",
    "protusertbl",  "private",
    "mhtmltag",     "htmltag",
    "userprops",    "shpinst",
    "passwordhash", "wgrffmtfilter",
    "panose",       "falt",
    "fontemb",      "fontfile",
    "do",           "atnid",
    "atnauthor",    "annotation",
    "blipuid",      "picprop",
    "listpicture",  "defchp",
    "defpap",
};

// Destinations whose text is kept as paragraphs of their own.
constexpr std::string_view kOwnParagraphDestinations[] = {
    "header",  "headerl", "headerr", "headerf",  "footer",
    "footerl", "footerr", "footerf", "footnote",
};

// Control words that stand for one character.
struct SymbolWord {
    std::string_view word;
    uint32_t codePoint;
};
constexpr SymbolWord kSymbolWords[] = {
    {"emdash", 0x2014},    {"endash", 0x2013},    {"emspace", 0x2003}, {"enspace", 0x2002},
    {"qmspace", 0x2005},   {"bullet", 0x2022},    {"lquote", 0x2018},  {"rquote", 0x2019},
    {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"zwj", 0x200D},     {"zwnj", 0x200C},
    {"ltrmark", 0x200E},   {"rtlmark", 0x200F},   {"zwbo", 0x200B},    {"zwnbo", 0xFEFF},
};

bool isLetter(uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

template <size_t N>
bool listed(const std::string_view (&list)[N], std::string_view word) {
    for (std::string_view w : list)
        if (w == word)
            return true;
    return false;
}

class RtfReader {
  public:
    explicit RtfReader(std::span<const uint8_t> bytes) : in_(bytes) {}

    std::string read() {
        while (pos_ < in_.size()) {
            const uint8_t c = in_[pos_++];
            switch (c) {
                case '{':
                    openGroup();
                    break;
                case '}':
                    closeGroup();
                    break;
                case '\\':
                    controlSequence();
                    break;
                case '\r':
                case '\n':
                    break;  // line ends of the file are no text
                case '\t':
                    groupStart_ = false;
                    if (!countSkip())
                        emitTab();
                    break;
                default:
                    groupStart_ = false;
                    textByte(c);
                    break;
            }
        }
        flushLeadByte();
        return out_.finish();
    }

  private:
    GroupState& state() { return stack_.back(); }

    void openGroup() {
        skipCount_ = 0;
        if (stack_.size() >= kMaxGroupDepth) {
            ++overflow_;
            return;
        }
        stack_.push_back(stack_.back());
        groupStart_ = true;
    }

    void closeGroup() {
        skipCount_ = 0;
        groupStart_ = false;
        flushLeadByte();
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        // Unbalanced closing braces of a damaged file leave the outermost state in place.
        if (stack_.size() <= 1)
            return;
        const bool ends = state().endsParagraph && !stack_[stack_.size() - 2].endsParagraph;
        stack_.pop_back();
        if (ends && state().destination == Destination::Text)
            out_.breakParagraph();
    }

    // Consumes one character of an \uN's fallback; true when it was one.
    bool countSkip() {
        if (skipCount_ <= 0)
            return false;
        --skipCount_;
        return true;
    }

    bool showing() const { return stack_.back().destination == Destination::Text; }

    void emitTab() {
        if (showing())
            out_.tab();
    }

    void controlSequence() {
        const bool atGroupStart = groupStart_;
        groupStart_ = false;
        if (pos_ >= in_.size())
            return;
        const uint8_t c = in_[pos_];
        if (!isLetter(c)) {
            ++pos_;
            controlSymbol(c, atGroupStart);
            return;
        }
        const size_t start = pos_;
        while (pos_ < in_.size() && isLetter(in_[pos_]) && pos_ - start < kMaxControlWordLength)
            ++pos_;
        const std::string_view word(reinterpret_cast<const char*>(in_.data() + start),
                                    pos_ - start);
        bool hasParam = false;
        bool negative = false;
        int64_t param = 0;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() &&
            isDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        for (int digits = 0; pos_ < in_.size() && isDigit(in_[pos_]); ++pos_, ++digits) {
            hasParam = true;
            if (digits < kMaxParameterDigits)
                param = param * 10 + (in_[pos_] - '0');
        }
        if (negative)
            param = -param;
        if (pos_ < in_.size() && in_[pos_] == ' ')
            ++pos_;  // the delimiter belongs to the control word
        controlWord(word, hasParam, param);
    }

    void controlSymbol(uint8_t c, bool atGroupStart) {
        switch (c) {
            case '*':
                // An ignorable destination: the whole group is left out.
                if (atGroupStart)
                    state().destination = Destination::Skipped;
                return;
            case '\'': {
                const int hi = pos_ < in_.size() ? hexDigitValue(in_[pos_]) : -1;
                const int lo = pos_ + 1 < in_.size() ? hexDigitValue(in_[pos_ + 1]) : -1;
                if (hi < 0 || lo < 0)
                    return;
                pos_ += 2;
                if (!countSkip())
                    textByte(static_cast<uint8_t>(hi * 16 + lo));
                return;
            }
            case '\r':
            case '\n':
                // A backslash before a line end stands for \par.
                if (!countSkip() && showing())
                    endParagraph();
                return;
            default:
                break;
        }
        if (countSkip())
            return;
        switch (c) {
            case '\\':
            case '{':
            case '}':
                textByte(c);
                return;
            case '~':
                character(0x00A0);
                return;
            case '_':
                character(0x2011);
                return;
            case '-':  // an optional hyphen shows only at a line's end
            default:
                return;
        }
    }

    void controlWord(std::string_view word, bool hasParam, int64_t param) {
        if (word == "bin") {
            // Binary data of the given length follows: it is never text.
            const uint64_t n = hasParam && param > 0 ? static_cast<uint64_t>(param) : 0;
            pos_ += static_cast<size_t>(std::min<uint64_t>(n, in_.size() - pos_));
            return;
        }
        // Destination words name their group wherever they stand in it: a picture's data must
        // never show as text because a formatting word came first.
        if (state().destination != Destination::Skipped)
            destinationWord(word);
        if (word == "u") {
            unicodeCharacter(hasParam ? param : 0);
            return;
        }
        if (countSkip())
            return;
        GroupState& s = state();
        if (s.destination == Destination::Skipped)
            return;
        if (s.destination == Destination::FontTable) {
            fontTableWord(word, hasParam, param);
            return;
        }
        documentWord(word, hasParam, param);
    }

    void destinationWord(std::string_view word) {
        GroupState& s = state();
        if (word == "fonttbl") {
            s.destination = Destination::FontTable;
        } else if (listed(kSkippedDestinations, word)) {
            s.destination = Destination::Skipped;
        } else if (listed(kOwnParagraphDestinations, word)) {
            if (s.destination == Destination::Text) {
                out_.breakParagraph();
                s.endsParagraph = true;
            }
        }
    }

    void fontTableWord(std::string_view word, bool hasParam, int64_t param) {
        if (word == "f" && hasParam) {
            state().font = static_cast<int>(param);
        } else if (word == "fcharset" && hasParam && state().font >= 0) {
            const uint32_t cp = codePageOfCharset(static_cast<int>(param));
            if (cp != 0)
                fontCodePages_[state().font] = cp;
        } else if (word == "cpg" && hasParam && state().font >= 0 && param > 0 && param < 100000) {
            fontCodePages_[state().font] = static_cast<uint32_t>(param);
        }
    }

    void documentWord(std::string_view word, bool hasParam, int64_t param) {
        GroupState& s = state();
        if (word == "par") {
            endParagraph();
        } else if (word == "line") {
            flushLeadByte();
            out_.lineBreak();
        } else if (word == "tab") {
            flushLeadByte();
            out_.tab();
        } else if (word == "cell" || word == "nestcell") {
            flushLeadByte();
            out_.tab();
        } else if (word == "row" || word == "nestrow") {
            endParagraph();
        } else if (word == "sect" || word == "page") {
            flushLeadByte();
            out_.breakParagraph();
        } else if (word == "uc" && hasParam) {
            s.unicodeSkip = param >= 0 && param < 100 ? static_cast<int>(param) : 0;
        } else if (word == "f" && hasParam) {
            s.font = static_cast<int>(param);
        } else if (word == "plain") {
            s.font = defaultFont_;
        } else if (word == "deff" && hasParam) {
            defaultFont_ = static_cast<int>(param);
            if (s.font < 0)
                s.font = defaultFont_;
        } else if (word == "ansicpg" && hasParam && param > 0 && param < 100000) {
            documentCodePage_ = static_cast<uint32_t>(param);
        } else if (word == "mac") {
            documentCodePage_ = 10000;
        } else if (word == "pc") {
            documentCodePage_ = 437;
        } else if (word == "pca") {
            documentCodePage_ = 850;
        } else {
            for (const SymbolWord& sw : kSymbolWords) {
                if (sw.word == word) {
                    character(sw.codePoint);
                    return;
                }
            }
        }
    }

    void endParagraph() {
        flushLeadByte();
        if (showing())
            out_.paragraph();
    }

    void unicodeCharacter(int64_t value) {
        // An \uN inside another's fallback is itself a fallback character.
        if (countSkip())
            return;
        skipCount_ = state().unicodeSkip;
        if (!showing())
            return;
        flushLeadByte();
        // The value is a signed 16-bit number: negative values stand for the upper half.
        const uint32_t unit = static_cast<uint32_t>(value < 0 ? value + 65536 : value) & 0xFFFF;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (highSurrogate_ != 0)
                out_.character(kReplacementCharacter);
            highSurrogate_ = unit;
            return;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (highSurrogate_ != 0) {
                out_.character(0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00));
                highSurrogate_ = 0;
            } else {
                out_.character(kReplacementCharacter);
            }
            return;
        }
        character(unit);
    }

    // A character of the text; a surrogate waiting for its pair is given up first.
    void character(uint32_t codePoint) {
        if (!showing())
            return;
        if (highSurrogate_ != 0) {
            out_.character(kReplacementCharacter);
            highSurrogate_ = 0;
        }
        out_.character(codePoint);
    }

    uint32_t codePage() const {
        const int font = stack_.back().font;
        if (font >= 0) {
            const auto it = fontCodePages_.find(font);
            if (it != fontCodePages_.end())
                return it->second;
        }
        return documentCodePage_;
    }

    // One 8-bit character of the text (a literal byte or \'hh) in the code page in force.
    void textByte(uint8_t b) {
        if (countSkip() || !showing())
            return;
        const uint32_t cp = codePage();
        if (leadByte_ != 0) {
            // The second byte of a double-byte character: no table here, so the pair is one
            // character that cannot be shown.
            leadByte_ = 0;
            character(kReplacementCharacter);
            return;
        }
        if (b >= 0x81 && b <= 0xFE && isDoubleByteCodePage(cp)) {
            leadByte_ = b;
            return;
        }
        character(codePageCharacter(cp, b));
    }

    // A lead byte left without its second byte still stands for a character.
    void flushLeadByte() {
        if (leadByte_ != 0) {
            leadByte_ = 0;
            character(kReplacementCharacter);
        }
    }

    std::span<const uint8_t> in_;
    size_t pos_ = 0;
    std::vector<GroupState> stack_{GroupState{}};
    size_t overflow_ = 0;      // groups opened beyond kMaxGroupDepth and not closed yet
    bool groupStart_ = false;  // the last thing read was '{'
    int skipCount_ = 0;        // fallback characters of an \uN still to skip
    uint32_t highSurrogate_ = 0;
    uint8_t leadByte_ = 0;
    int defaultFont_ = -1;
    uint32_t documentCodePage_ = kDefaultCodePage;
    std::map<int, uint32_t> fontCodePages_;
    TextBuilder out_;
};

}  // namespace

std::string rtfText(std::span<const uint8_t> bytes) {
    return RtfReader(bytes).read();
}

}  // namespace morvel
