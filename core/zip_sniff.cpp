#include "core/zip_sniff.h"

#include <string_view>

#include "doc/raw_search.h"
#include "platform/le_reader.h"

namespace morvel {

namespace {

constexpr uint8_t kLocalSignature[4] = {'P', 'K', 3, 4};
constexpr uint8_t kCentralSignature[4] = {'P', 'K', 1, 2};
constexpr uint8_t kEndSignature[4] = {'P', 'K', 5, 6};

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kLocalNameLength = 26;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kCentralNameLength = 28;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kEndCommentLength = 20;
constexpr size_t kMaxComment = 0xFFFF;
// Version-needed values above this are no ZIP writer's: 6.3 is the newest format version.
constexpr uint16_t kMaxVersionNeeded = 63;
constexpr uint16_t kMaxNameLength = 1024;
// Part names examined before the package is taken for a Word one.
constexpr int kMaxNamesExamined = 4096;

bool printableName(std::span<const uint8_t> name) {
    for (uint8_t c : name)
        if (c < 0x20 || c == 0x7F)
            return false;
    return !name.empty();
}

// The name of a plausible header at `pos` (local or central), or an empty span.
std::span<const uint8_t> headerName(std::span<const uint8_t> bytes, size_t pos, bool central) {
    const size_t fixed = central ? kCentralHeaderSize : kLocalHeaderSize;
    if (!fits(bytes, pos, fixed))
        return {};
    const uint16_t needed = readU16LE(bytes, pos + (central ? 6 : 4));
    const uint16_t nameLength =
        readU16LE(bytes, pos + (central ? kCentralNameLength : kLocalNameLength));
    if ((needed & 0xFF) > kMaxVersionNeeded || nameLength == 0 || nameLength > kMaxNameLength)
        return {};
    // A name cut by the end of the file still counts as far as it goes.
    const size_t available = std::min<size_t>(nameLength, bytes.size() - pos - fixed);
    std::span<const uint8_t> name = bytes.subspan(pos + fixed, available);
    return printableName(name) ? name : std::span<const uint8_t>{};
}

bool startsWith(std::span<const uint8_t> name, std::string_view prefix) {
    return name.size() >= prefix.size() &&
           std::string_view(reinterpret_cast<const char*>(name.data()), prefix.size()) == prefix;
}

// The last plausible end record in the final 64 KiB, or -1.
int64_t findEndRecord(std::span<const uint8_t> bytes) {
    if (bytes.size() < kEndRecordSize)
        return -1;
    const size_t from = bytes.size() > kEndRecordSize + kMaxComment
                            ? bytes.size() - kEndRecordSize - kMaxComment
                            : 0;
    int64_t found = -1;
    for (int64_t at = findBytes(bytes, static_cast<int64_t>(from), kEndSignature); at >= 0;
         at = findBytes(bytes, at + 1, kEndSignature)) {
        const size_t pos = static_cast<size_t>(at);
        if (!fits(bytes, pos, kEndRecordSize))
            break;
        const uint16_t onDisk = readU16LE(bytes, pos + 8), total = readU16LE(bytes, pos + 10);
        const uint16_t comment = readU16LE(bytes, pos + kEndCommentLength);
        if (onDisk <= total && pos + kEndRecordSize + comment <= bytes.size())
            found = at;
    }
    return found;
}

// What the part names say the package holds: the first name under word/, xl/ or ppt/.
ContentFormat packageKind(std::span<const uint8_t> bytes, int64_t from) {
    int examined = 0;
    for (const auto* signature : {kLocalSignature, kCentralSignature}) {
        const bool central = signature == kCentralSignature;
        const std::span<const uint8_t> sig(signature, 4);
        for (int64_t at = findBytes(bytes, from, sig); at >= 0 && examined < kMaxNamesExamined;
             at = findBytes(bytes, at + 1, sig)) {
            const std::span<const uint8_t> name =
                headerName(bytes, static_cast<size_t>(at), central);
            if (name.empty())
                continue;
            ++examined;
            if (startsWith(name, "word/"))
                return ContentFormat::WordPackage;
            if (startsWith(name, "xl/"))
                return ContentFormat::ExcelWorkbook;
            if (startsWith(name, "ppt/"))
                return ContentFormat::PowerPoint;
        }
    }
    return ContentFormat::WordPackage;
}

}  // namespace

std::optional<ZipSniff> sniffZipPackage(std::span<const uint8_t> bytes) {
    ZipSniff out;
    const std::span<const uint8_t> head = bytes.first(std::min(bytes.size(), kZipHeaderSearchSpan));
    for (int64_t at = findBytes(head, 0, kLocalSignature); at >= 0;
         at = findBytes(head, at + 1, kLocalSignature)) {
        if (!headerName(bytes, static_cast<size_t>(at), false).empty()) {
            out.firstHeader = at;
            break;
        }
    }
    out.endRecord = findEndRecord(bytes) >= 0;
    if (out.firstHeader < 0 && !out.endRecord)
        return std::nullopt;
    out.format = packageKind(bytes, std::max<int64_t>(out.firstHeader, 0));
    return out;
}

}  // namespace morvel
