#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/content_format.h"
#include "core/document_record.h"
#include "core/recovery_environment.h"

namespace morvel {

// Which engine reads a file.
enum class EngineRoute {
    Doc,      // the .doc engine: text steps and, for Word 97, the full document
    Docx,     // the .docx engine
    Text,     // a text converter (RTF, HTML, XML)
    Refused,  // not a document this program reads (a workbook, an encrypted file, ...)
};

// The engine for content of this kind; the format the file's name stands for settles only
// what the bytes leave open (unknown content, plain text).
EngineRoute engineRouteFor(ContentFormat content, uint16_t nameFormat);

// Why a file got no full document, when what the file is settles it: a stable code for scripts
// and a one-line message. Nothing for Word 97 binaries, Word packages and unrecognised
// content read by the name's engine: those engines' own results say why.
struct ContentReason {
    std::string code;
    std::string message;
};
std::optional<ContentReason> contentReason(ContentFormat content, uint16_t nameFormat,
                                           bool textRecovered);

// The same for a record after its recovery (nothing before the first one).
std::optional<ContentReason> contentReasonOf(const DocumentRecord& record);

// True when the record's full document holds the text alone (an older Word version's text, a
// converted RTF/HTML/XML file, or a document whose structure was lost): such a recovery is
// "text only", not a rebuilt document.
bool fullHoldsTextOnly(const DocumentRecord& record);

// The format a recovery of these bytes names its results after: .doc for the .doc engine and
// the text converters, .docx for the .docx engine, and the name's format for a refused file.
// Callers that name results before recovering (a batch placing every document's names) use
// it on the file's bytes; RouteByContent comes to the same format.
// `content`, when given, gets what the bytes were found to be.
uint16_t ResultFormatOf(std::span<const uint8_t> bytes, const std::string& fileName,
                        ContentFormat* content = nullptr);

// Decides the engine for a record whose file image is loaded: sniffs the image (or takes
// record.fileDataContent, what its caller found the same bytes to be), records the content kind and
// sets record.format to the format of the engine's results (text results are named as the .doc
// engine's). A refused record is finished here: it fails with its reason shown.
EngineRoute RouteByContent(DocumentRecord& record, const RecoveryEnvironment& env);

// The text route: the converter's text as the filtered-text result and, written as a plain
// Word 97 document, as the full result (its code that of a text-only document); a failure
// with the reason shown when there is no converter or no text.
void RecoverConvertedText(DocumentRecord& record, const RecoveryEnvironment& env);

}  // namespace morvel
