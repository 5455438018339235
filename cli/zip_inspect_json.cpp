#include "cli/zip_inspect_json.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "cli/json_text.h"
#include "docx/zip_broken_extractor.h"
#include "platform/le_reader.h"

namespace morvel::cli {

namespace {

constexpr std::array<uint8_t, 4> kCompoundFileMagic = {0xD0, 0xCF, 0x11, 0xE0};

std::string num(uint64_t v) {
    return std::to_string(v);
}

std::string boolText(bool v) {
    return v ? "true" : "false";
}

std::string entryJson(const LocalEntry& e) {
    std::string j = "{\"name\":" + jsonString(e.name.view());
    j += ",\"offset\":" + num(e.offset);
    j += ",\"method\":" + num(e.method);
    j += ",\"crc\":" + num(e.crc);
    j += ",\"compressedSize\":" + num(e.compressedSize);
    j += ",\"uncompressedSize\":" + num(e.uncompressedSize);
    j += ",\"source\":" + jsonString(entrySourceName(e.source));
    return j + "}";
}

std::string findingJson(const ZipFinding& f) {
    std::string j = "{\"kind\":" + jsonString(recordKindName(f.kind));
    j += ",\"offset\":" + num(f.offset);
    if (f.kind == ZipRecordKind::LocalHeader || f.kind == ZipRecordKind::CentralHeader) {
        j += ",\"name\":" + jsonString(f.name);
        j += ",\"method\":" + num(f.method);
        j += ",\"crc\":" + jsonString(crcStateName(f.crc));
        j += ",\"compressedSize\":" + num(f.compressedSize);
        j += ",\"uncompressedSize\":" + num(f.uncompressedSize);
        j += ",\"accepted\":" + boolText(f.accepted);
        if (f.accepted)
            j += ",\"source\":" + jsonString(entrySourceName(f.source));
    }
    j += ",\"grade\":" + jsonString(findingGradeName(f.grade));
    j += ",\"message\":" + jsonString(f.message);
    return j + "}";
}

}  // namespace

bool looksLikeZip(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    if (readU32LE(bytes, 0) == kLocalHeaderSignature)
        return true;
    if (bytes.size() >= kCompoundFileMagic.size() &&
        std::equal(kCompoundFileMagic.begin(), kCompoundFileMagic.end(), bytes.begin()))
        return false;
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".doc" || ext == ".dot")
        return false;
    if (ext == ".docx" || ext == ".docm" || ext == ".dotx" || ext == ".dotm")
        return true;
    for (size_t p = 0; p + 4 <= bytes.size(); ++p) {
        const void* hit = std::memchr(bytes.data() + p, 'P', bytes.size() - p);
        if (hit == nullptr)
            return false;
        p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes.data());
        const uint32_t sig = readU32LE(bytes, p);
        if (sig == kLocalHeaderSignature || sig == kCentralHeaderSignature ||
            sig == kEndRecordSignature)
            return true;
    }
    return false;
}

std::string zipInspectJson(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    ZipBrokenExtractor zip;
    zip.OpenSpan(bytes);
    std::string j = "{" + jsonPathMembers("file", path.native());
    j += ",\"format\":\"docx\"";
    j += ",\"size\":" + num(bytes.size());
    j += ",\"inflateBudgetExhausted\":" + boolText(zip.InflateBudgetExhausted());
    j += ",\"entries\":[";
    for (uint32_t i = 0; i < zip.EntryCount(); ++i)
        j += (i ? "," : "") + entryJson(zip.Entry(i));
    j += "],\"damaged\":[";
    for (uint32_t i = 0; i < zip.DamagedCount(); ++i)
        j += (i ? "," : "") + entryJson(zip.Damaged(i));
    j += "],\"findings\":[";
    for (size_t i = 0; i < zip.Findings().size(); ++i)
        j += (i ? "," : "") + findingJson(zip.Findings()[i]);
    return j + "]}";
}

}  // namespace morvel::cli
