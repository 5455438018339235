#pragma once

#include <string_view>

namespace morvel {

// True when decl, from "<?xml" to "?>" inclusive, is an XML declaration as the grammar has
// it: a version "1.x", then optionally an encoding name and a standalone of yes or no, in
// that order, each attribute quoted with matching quotes. A damaged byte in a declaration
// (a letter of "encoding" changed, a quote lost) makes a reader refuse the whole part, so
// one that fails this is written anew rather than kept.
bool isWellFormedDeclaration(std::string_view decl);

// True when decl is well-formed and names UTF-8 (in any case) or no encoding: the bytes that
// follow it can then be read as they are.
bool isUtf8Declaration(std::string_view decl);

}  // namespace morvel
