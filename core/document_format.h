#pragma once

#include <string_view>

#include "core/document_record.h"

namespace morvel {

// The format a file name stands for: "doc" -> kFormatDoc, "docx" -> kFormatDocx, by the text
// after the last dot, ignoring case (LETTER.DOC is a Word document); anything else is unknown.
DocumentFormat formatFromFileName(std::string_view name);

}  // namespace morvel
