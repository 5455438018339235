#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/document_record.h"

namespace morvel {

// The best plain text a recovery gave, as UTF-8 with LF line ends (a paragraph or a line break
// per line, tabs kept, ending with a line end), or empty when it gave none:
// - a converted RTF, HTML or XML document: the converted text;
// - a .doc: the text of the full result's Word document (field instructions and object anchors
//   left out), else the filtered text, else the raw text;
// - a .docx: the main document's text of the full package, else of the text-only package.
std::string PlainTextOf(const DocumentRecord& record);

// The main text of a Word 97 document in memory as plain text; empty when it cannot be read.
std::string word97PlainText(std::span<const uint8_t> image);

}  // namespace morvel
