// The content sniffer on arbitrary bytes: every sniffer alone and together, and the route and
// reason of whatever they find; a result must point inside the file and be the same each time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/compound_file_sniff.h"
#include "core/content_route.h"
#include "core/early_word_sniff.h"
#include "core/format_sniffer.h"
#include "core/text_sniff.h"
#include "core/zip_sniff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const morvel::FormatSniff s = morvel::sniffFormat(bytes);
    if (s.offset < 0 || (size > 0 && static_cast<size_t>(s.offset) >= size))
        std::abort();
    const morvel::FormatSniff again = morvel::sniffFormat(bytes);
    if (again.format != s.format || again.offset != s.offset || again.damaged != s.damaged)
        std::abort();
    for (uint16_t name : {morvel::kFormatUnknown, morvel::kFormatDoc, morvel::kFormatDocx}) {
        morvel::engineRouteFor(s.format, name);
        morvel::contentReason(s.format, name, true);
        morvel::contentReason(s.format, name, false);
    }
    morvel::sniffMarkup(bytes);
    morvel::looksLikePlainText(bytes);
    morvel::sniffEarlyWord(bytes);
    if (const auto z = morvel::sniffZipPackage(bytes))
        if (z->firstHeader >= static_cast<int64_t>(size))
            std::abort();
    if (const auto c = morvel::sniffCompoundFile(bytes))
        if (c->headerPos < 0 || static_cast<size_t>(c->headerPos) >= size)
            std::abort();
    return 0;
}
