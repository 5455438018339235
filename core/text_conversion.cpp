#include "core/text_conversion.h"

namespace morvel {

bool ConvertDocumentText(ContentFormat format, std::span<const uint8_t> bytes,
                         std::vector<uint8_t>& text) {
    text.clear();
    switch (format) {
        // No converter reads these formats yet.
        case ContentFormat::Rtf:
        case ContentFormat::Html:
        case ContentFormat::WordXml2003:
        case ContentFormat::FlatOpc:
        case ContentFormat::OtherXml:
        default:
            (void)bytes;
            return false;
    }
}

}  // namespace morvel
