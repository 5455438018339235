#include "convert/markup_entities.h"

#include "platform/utf8.h"

namespace morvel {

namespace {

// The longest entity name looked up; longer runs of letters are not references.
constexpr size_t kMaxEntityName = 10;
// Digits of a numeric reference beyond this cannot name a code point.
constexpr size_t kMaxReferenceDigits = 8;

// The HTML names of U+00A0 ... U+00FF, in code point order.
constexpr std::string_view kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

struct NamedEntity {
    std::string_view name;
    uint32_t codePoint;
};

constexpr NamedEntity kOtherNames[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},
    {"apos", '\''},     {"ndash", 0x2013},  {"mdash", 0x2014},  {"lsquo", 0x2018},
    {"rsquo", 0x2019},  {"sbquo", 0x201A},  {"ldquo", 0x201C},  {"rdquo", 0x201D},
    {"bdquo", 0x201E},  {"dagger", 0x2020}, {"Dagger", 0x2021}, {"bull", 0x2022},
    {"hellip", 0x2026}, {"permil", 0x2030}, {"lsaquo", 0x2039}, {"rsaquo", 0x203A},
    {"euro", 0x20AC},   {"trade", 0x2122},  {"OElig", 0x0152},  {"oelig", 0x0153},
    {"Scaron", 0x0160}, {"scaron", 0x0161}, {"Yuml", 0x0178},   {"fnof", 0x0192},
    {"circ", 0x02C6},   {"tilde", 0x02DC},  {"ensp", 0x2002},   {"emsp", 0x2003},
    {"thinsp", 0x2009}, {"zwnj", 0x200C},   {"zwj", 0x200D},    {"lrm", 0x200E},
    {"rlm", 0x200F},    {"larr", 0x2190},   {"rarr", 0x2192},   {"uarr", 0x2191},
    {"darr", 0x2193},   {"minus", 0x2212},  {"le", 0x2264},     {"ge", 0x2265},
    {"ne", 0x2260},     {"infin", 0x221E},  {"prime", 0x2032},  {"Prime", 0x2033},
    {"alpha", 0x03B1},  {"beta", 0x03B2},   {"gamma", 0x03B3},  {"delta", 0x03B4},
    {"pi", 0x03C0},     {"sigma", 0x03C3},  {"mu", 0x03BC},     {"Omega", 0x03A9},
};

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool numericReference(std::string_view text, size_t at, uint32_t& codePoint, size_t& length) {
    size_t i = at + 2;  // past "&#"
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex)
        ++i;
    const size_t digitsStart = i;
    uint32_t value = 0;
    while (i < text.size() && i - digitsStart < kMaxReferenceDigits) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            break;
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
        ++i;
    }
    if (i == digitsStart)
        return false;
    if (i < text.size() && text[i] == ';')
        ++i;
    // NUL, surrogates and values beyond Unicode are no characters.
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        value = kReplacementCharacter;
    codePoint = value;
    length = i - at;
    return true;
}

}  // namespace

bool readCharacterReference(std::string_view text, size_t at, uint32_t& codePoint, size_t& length) {
    if (at + 1 >= text.size() || text[at] != '&')
        return false;
    if (text[at + 1] == '#')
        return numericReference(text, at, codePoint, length);
    size_t end = at + 1;
    while (end < text.size() && isAsciiAlnum(text[end]) && end - at - 1 < kMaxEntityName)
        ++end;
    const std::string_view name = text.substr(at + 1, end - at - 1);
    if (name.empty())
        return false;
    const bool closed = end < text.size() && text[end] == ';';
    const size_t len = end - at + (closed ? 1 : 0);
    for (size_t k = 0; k < std::size(kLatin1Names); ++k) {
        if (kLatin1Names[k] == name) {
            codePoint = static_cast<uint32_t>(0xA0 + k);
            length = len;
            return true;
        }
    }
    for (const NamedEntity& e : kOtherNames) {
        if (e.name == name) {
            codePoint = e.codePoint;
            length = len;
            return true;
        }
    }
    return false;
}

}  // namespace morvel
