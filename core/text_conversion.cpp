#include "core/text_conversion.h"

namespace morvel {

bool ConvertDocumentText(ContentFormat /*format*/, std::span<const uint8_t> /*bytes*/,
                         std::vector<uint8_t>& text) {
    text.clear();
    // No converter reads RTF, HTML or XML yet; each plugs in here, chosen by the format.
    return false;
}

}  // namespace morvel
