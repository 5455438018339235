#pragma once

#include <string_view>

#include "core/document_record.h"

namespace morvel {

// The format a file name stands for: "doc" -> kFormatDoc, "docx" -> kFormatDocx, by the text
// after the last dot, ignoring case (LETTER.DOC is a Word document); anything else is unknown.
// It lists documents by name; a recovery reads the file's bytes (core/format_sniffer.h) and
// the name only breaks the ties they leave.
DocumentFormat formatFromFileName(std::string_view name);

}  // namespace morvel
