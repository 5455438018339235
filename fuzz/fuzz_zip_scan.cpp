// Salvage scan of arbitrary bytes, then everything a caller can ask of it: every intact
// entry's content (twice, and again after releasing it), every damaged entry decoded, the
// name look-ups and the findings.
#include <cstddef>
#include <cstdint>
#include <span>

#include "docx/zip_broken_extractor.h"

namespace {

// Touches both ends of what was handed out so an overrun shows at once.
uint8_t touch(morvel::ByteSpan content) {
    return content.length == 0 ? 0 : content.data[0] ^ content.data[content.length - 1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morvel::ZipBrokenExtractor zip;
    zip.OpenSpan(std::span<const uint8_t>(data, size));
    uint8_t sum = 0;
    for (uint32_t i = 0; i < zip.EntryCount(); ++i) {
        const morvel::LocalEntry& e = zip.Entry(i);
        if (zip.FindEntry(e.name) > i)
            __builtin_trap();  // the first entry of a name comes first
        sum ^= touch(e.name) ^ touch(e.data);
        morvel::ByteSpan content = zip.GetEntryData(i);
        if (!content.absent() && content.length != e.uncompressedSize)
            __builtin_trap();
        sum ^= touch(content) ^ touch(zip.GetEntryData(i));
        zip.ReleaseEntryData(i);
        sum ^= touch(zip.GetEntryData(i));
    }
    for (uint32_t i = 0; i < zip.DamagedCount(); ++i) {
        const morvel::LocalEntry& e = zip.Damaged(i);
        if (zip.FindDamaged(e.name) != i)
            __builtin_trap();  // one damaged entry per name
        sum ^= touch(e.name) ^ touch(e.data);
        const auto part = zip.DecodeDamaged(i);
        if (!part.bytes.empty())
            sum ^= part.bytes.front() ^ part.bytes.back();
    }
    for (const morvel::ZipFinding& f : zip.Findings())
        sum ^= static_cast<uint8_t>(f.name.size() + f.message.size());
    volatile uint8_t sink = sum;
    (void)sink;
    return 0;
}
