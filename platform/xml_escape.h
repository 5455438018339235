#pragma once

#include <string>
#include <string_view>

namespace morvel {

// Appends text with the characters markup gives a meaning (& < > ") written as entities, so
// that it stands as element text or as a double-quoted attribute value, in XML and in HTML.
void appendXmlEscaped(std::string& out, std::string_view text);
void appendXmlEscaped(std::string& out, char c);

// The text escaped as appendXmlEscaped writes it.
std::string xmlEscaped(std::string_view text);

}  // namespace morvel
