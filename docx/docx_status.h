#pragma once

#include <cstdint>

#include "platform/byte_span.h"

namespace morvel {

// Status codes of the .docx repair engine and its markup rules; docxStatusMessage gives the
// text kept with each.
enum DocxStatus : uint32_t {
    kDocxOk = 0,
    kDocxNoData = 3,
    kDocxCloseTagMismatch = 4,
    kDocxEmptyTag = 5,
    kDocxBadDocumentSize = 6,
    kDocxDocumentNotFound = 7,
    kDocxCloseWithoutOpen = 8,
    kDocxContentTypesNotFound = 9,
    kDocxLostPartNotInTemplate = 10,
    kDocxTemplatesNotLinked = 11,
    kDocxTemplateLinkError = 12,
    kDocxException = 13,
    kDocxWriteError = 14,
};

// The message kept with a status code (empty for a code outside the table).
ByteSpan docxStatusMessage(uint32_t status);

}  // namespace morvel
