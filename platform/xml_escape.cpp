#include "platform/xml_escape.h"

namespace morvel {

void appendXmlEscaped(std::string& out, char c) {
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

void appendXmlEscaped(std::string& out, std::string_view text) {
    for (char c : text)
        appendXmlEscaped(out, c);
}

std::string xmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendXmlEscaped(out, text);
    return out;
}

}  // namespace morvel
