#pragma once

#include <filesystem>
#include <string>

#include "core/document_record.h"
#include "core/output_names.h"

namespace morvel {

// The chosen name with the result's extension forced onto its file name: everything after the
// last dot of the file name is replaced, or a dot and the extension are appended when the file
// name has no dot. Dots in folder names are left alone.
std::filesystem::path forceExtension(const std::filesystem::path& chosen,
                                     const std::string& extension);

// Which result the toolbar's save button writes for the preview tab in front:
// 0 full document, 1 filtered text, anything else raw text.
OutputKind outputKindForTab(int tab);

struct SaveOutcome {
    bool ok = false;
    std::filesystem::path written;  // the name actually written (extension forced)
    std::string error;              // why nothing was written
};

// Writes one result of a record under the chosen name with its extension forced. The write is
// atomic (a failure leaves no partial file) and replaces an existing file, except the source
// document itself, which is refused. Text results leave out their terminating NUL.
SaveOutcome saveResult(const DocumentRecord& record, OutputKind kind,
                       const std::filesystem::path& chosen);

// Copies the record's original file into targetFolder (created with every missing level),
// replacing a file of the same name. On failure the error text is "Error in copy dbx" and the
// record's success becomes 0. Returns an empty string on success.
std::string copyOriginal(DocumentRecord& record, const std::filesystem::path& targetFolder);

}  // namespace morvel
