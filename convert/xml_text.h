#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace morvel {

// The text of a WordprocessingML document (the 2003 XML format, or a package's main document
// part), marked as TextBuilder marks it: the characters of w:t runs, a paragraph end per w:p,
// w:tab as a tab (tab stops of paragraph properties are not), w:br and w:cr as line breaks.
// Deleted text, field instructions, properties, fonts, styles and embedded pictures hold no
// w:t and are left out. A cut-off document gives the text before the cut.
std::string wordXmlText(std::span<const uint8_t> bytes);

// The text of a Flat OPC document: the main document part's text as wordXmlText reads it.
// When no part is marked as the main document (damage), every part's w:t text is read.
std::string flatOpcText(std::span<const uint8_t> bytes);

// The character data of any other XML document: white space that holds a line end, and an end
// tag followed at once by a start tag, end a paragraph; CDATA sections are text; comments,
// processing instructions and declarations are left out.
std::string xmlCharacterData(std::span<const uint8_t> bytes);

}  // namespace morvel
