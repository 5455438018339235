#pragma once

#include <string>
#include <vector>

#include "core/document_record.h"

namespace morvel {

// The three results a recovery can offer.
enum class OutputKind { Full, Filtered, Raw };

// Default file name of a result: the document's name less its extension (whichever it is:
// the format is the one the file's bytes showed), plus
// "_recovered.doc", "_Filtered_text.txt", "_Raw_text.txt", "_recovered.docx" or "_docs_text.docx".
std::string defaultOutputName(const std::string& fileName, uint16_t format, OutputKind kind);

// The name of a result when several documents of one run would share the default names: copy 2
// of "report.doc" gives "report (2)_recovered.doc", "report (2)_Raw_text.txt" and so on. Copy 0
// or 1 is the default name.
std::string numberedOutputName(const std::string& fileName, uint16_t format, OutputKind kind,
                               unsigned copy);

// The name of the plain text a recovery can also write (morvel recover --text): the
// document's name less its extension plus "_recovered.txt", whatever the format; copy 2 and up
// are numbered as numberedOutputName numbers them.
std::string plainTextOutputName(const std::string& fileName, unsigned copy = 1);

// The results a document of this format can have, in the order they are written: full,
// filtered and (for a .doc) raw text.
std::vector<OutputKind> outputKindsOf(uint16_t format);

// The extension a saved result is forced to: "doc"/"docx" for the full document, "txt" or
// "docx" for the filtered result, "txt" for the raw text.
std::string forcedExtension(uint16_t format, OutputKind kind);

}  // namespace morvel
