#include "core/format_sniffer.h"

#include <algorithm>
#include <optional>

#include "core/compound_file_sniff.h"
#include "core/early_word_sniff.h"
#include "core/text_sniff.h"
#include "core/zip_sniff.h"

namespace morvel {

namespace {

constexpr uint8_t kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint8_t kZipLocalSignature[4] = {'P', 'K', 3, 4};

bool bytesAt(std::span<const uint8_t> b, int64_t pos, std::span<const uint8_t> what) {
    return pos >= 0 && static_cast<size_t>(pos) + what.size() <= b.size() &&
           std::equal(what.begin(), what.end(), b.begin() + pos);
}

FormatSniff fromCompound(std::span<const uint8_t> b, const CompoundSniff& c) {
    FormatSniff out;
    out.format = c.format;
    out.offset = c.headerPos;
    out.damaged = c.rebuilt || c.headerPos != 0 || !bytesAt(b, c.headerPos, kCompoundSignature);
    return out;
}

FormatSniff fromZip(const ZipSniff& z) {
    FormatSniff out;
    out.format = z.format;
    out.offset = std::max<int64_t>(z.firstHeader, 0);
    out.damaged = z.firstHeader != 0 || !z.endRecord;
    return out;
}

}  // namespace

FormatSniff sniffFormat(std::span<const uint8_t> bytes) {
    if (bytes.empty())
        return {ContentFormat::Empty, 0, false};
    if (bytesAt(bytes, 0, kCompoundSignature))
        if (const std::optional<CompoundSniff> c = sniffCompoundFile(bytes))
            return fromCompound(bytes, *c);
    if (bytesAt(bytes, 0, kZipLocalSignature))
        if (const std::optional<ZipSniff> z = sniffZipPackage(bytes))
            return fromZip(*z);
    if (const std::optional<ContentFormat> m = sniffMarkup(bytes))
        return {*m, 0, false};
    if (const std::optional<ContentFormat> w = sniffEarlyWord(bytes))
        return {*w, 0, false};
    if (looksLikePlainText(bytes))
        return {ContentFormat::PlainText, 0, false};

    // Past damage: a compound file whose header sits after junk, is damaged or is lost, and a
    // package whose first local header sits after junk or whose start is gone.
    const std::optional<CompoundSniff> c = sniffCompoundFile(bytes);
    const std::optional<ZipSniff> z = sniffZipPackage(bytes);
    if (c && !c->rebuilt) {
        if (z && z->firstHeader >= 0 && z->firstHeader < c->headerPos)
            return fromZip(*z);
        return fromCompound(bytes, *c);
    }
    // A rebuilt header that leads to known streams beats a package signature found inside the
    // file: a compound file often stores a package whole, while a package deflates its parts.
    if (c)
        return fromCompound(bytes, *c);
    if (z)
        return fromZip(*z);
    return {ContentFormat::Unknown, 0, false};
}

}  // namespace morvel
