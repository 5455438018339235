// Renders arbitrary bytes as a recovered package and as extracted text.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/preview_html.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    (void)morvel::docxPreviewHtml(bytes);
    (void)morvel::textPreviewHtml(bytes);
    return 0;
}
