// Salvage scan of arbitrary bytes, then the content of every entry it accepts.
#include <cstddef>
#include <cstdint>

#include "docx/zip_broken_extractor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::ZipBrokenExtractor zip;
    zip.OpenMemory(data, static_cast<uint32_t>(size));
    for (uint32_t i = 0; i < zip.EntryCount(); ++i) {
        morvel::ByteSpan content = zip.GetEntryData(i);
        (void)zip.FindEntry(zip.Entry(i).name);
        if (content.length != 0 && content.data[content.length - 1] == 0xEE)
            (void)content;  // read the last byte so an overrun shows
    }
    return 0;
}
