// Renders arbitrary bytes as a recovered package, as extracted text and as Word document text.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/doc_preview.h"
#include "core/preview_html.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    (void)morvel::docxPreviewHtml(bytes);
    (void)morvel::textPreviewHtml(bytes);
    (void)morvel::docTextHtml(bytes, size / 2);
    return 0;
}
