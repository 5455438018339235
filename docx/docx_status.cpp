#include "docx/docx_status.h"

#include <array>
#include <string_view>

namespace morvel {

namespace {

// By code: codes 1 and 2 are not produced by this engine but keep their texts.
constexpr std::array<std::string_view, 15> kMessages = {
    "O'k",
    "Error in InZip.",
    "Error in InZip_Template.",
    "Error: InZip or InZip_Template do not has data.",
    "Error: Close tag is different from open tag.",
    "Error: Empty tag in Document found.",
    "Error in size of document.",
    "word/document.xml - NotFound.",
    "close tag without any ohers.",
    "Content_Types not found.",
    "Files lost in Content_Types not found in Template too",
    "Templates not linked",
    "Error in Teplates Link",
    "Exception!",
    "Error: the new package could not be written.",
};

}  // namespace

ByteSpan docxStatusMessage(uint32_t status) {
    return status < kMessages.size() ? spanOf(kMessages[status]) : ByteSpan();
}

}  // namespace morvel
