// Salvage scan of arbitrary bytes, then the content of every entry it accepts.
#include <cstddef>
#include <cstdint>

#include "docx/zip_broken_extractor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::ZipBrokenExtractor zip;
    zip.OpenMemory(data, static_cast<uint32_t>(size));
    uint8_t sum = 0;
    for (uint32_t i = 0; i < zip.EntryCount(); ++i) {
        (void)zip.FindEntry(zip.Entry(i).name);
        morvel::ByteSpan content = zip.GetEntryData(i);
        // Touch both ends of what was handed out so an overrun shows at once.
        if (content.length != 0)
            sum ^= content.data[0] ^ content.data[content.length - 1];
    }
    volatile uint8_t sink = sum;
    (void)sink;
    return 0;
}
