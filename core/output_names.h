#pragma once

#include <string>

#include "core/document_record.h"

namespace morvel {

// The three results a recovery can offer.
enum class OutputKind { Full, Filtered, Raw };

// Default file name of a result: the document's name less its extension (whichever it is:
// the format is the one the file's bytes showed), plus
// "_recovered.doc", "_Filtered_text.txt", "_Raw_text.txt", "_recovered.docx" or "_docs_text.docx".
std::string defaultOutputName(const std::string& fileName, uint16_t format, OutputKind kind);

// The extension a saved result is forced to: "doc"/"docx" for the full document, "txt" or
// "docx" for the filtered result, "txt" for the raw text.
std::string forcedExtension(uint16_t format, OutputKind kind);

}  // namespace morvel
