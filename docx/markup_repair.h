#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/byte_span.h"

namespace morvel {

// What a part is for: it decides the root element rebuilt when the part's start is lost and
// how text found outside any text element is wrapped.
enum class PartRole {
    MainDocument,
    Header,
    Footer,
    Footnotes,
    Endnotes,
    Comments,
    Styles,
    Relationships,
    ContentTypes,
    Other,
};

// The role of a package part by its name ("word/document.xml", "word/header2.xml",
// "word/_rels/document.xml.rels", ...).
PartRole partRoleOf(std::string_view partName);

// Makes well-formed XML of a part decoded from damaged data: tokens broken by the damage are
// dropped, text that is no XML is cleaned, close tags are matched and elements left open are
// closed; a lost declaration is written anew and a lost root element is rebuilt for the
// role, with the namespace declarations Word writes. In a WordprocessingML part, text and runs
// found where the schema does not allow them are wrapped in the paragraph, run and text
// elements they need, so readers show them.
std::vector<uint8_t> repairMarkup(ByteSpan damaged, PartRole role);

// As above, with the role guessed from the part's own markup (its root element, else the
// elements it holds).
std::vector<uint8_t> repairMarkup(ByteSpan damaged);

}  // namespace morvel
