#include "core/text_sniff.h"

#include <string>
#include <string_view>

#include "platform/le_reader.h"

namespace morvel {

namespace {

enum class Encoding { Bytes, Utf16LE, Utf16BE };

constexpr uint8_t kUtf8Bom[3] = {0xEF, 0xBB, 0xBF};
constexpr uint8_t kUtf16LEBom[2] = {0xFF, 0xFE};
constexpr uint8_t kUtf16BEBom[2] = {0xFE, 0xFF};
constexpr std::string_view kRtfStart = "{\\rtf";
// RTF is taken with one of its five opening bytes damaged, as the .doc salvage does.
constexpr int kRtfBytesNeeded = 4;
// Share of control characters (other than white space) plain text may hold, in thousandths.
constexpr size_t kMaxControlPerMille = 10;
// Text has a space or a line break at least this often; a long run of letters is no prose.
constexpr size_t kMaxRunWithoutSpace = 1024;
// Share of bytes above 0x7F 8-bit text in no valid UTF-8 may hold, in thousandths.
constexpr size_t kMaxHighPerMille = 300;

bool startsWith(std::span<const uint8_t> b, std::span<const uint8_t> prefix) {
    return b.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), b.begin());
}

Encoding encodingOf(std::span<const uint8_t> b, size_t& bomLength) {
    bomLength = 0;
    if (startsWith(b, kUtf8Bom)) {
        bomLength = 3;
        return Encoding::Bytes;
    }
    if (startsWith(b, kUtf16LEBom)) {
        bomLength = 2;
        return Encoding::Utf16LE;
    }
    if (startsWith(b, kUtf16BEBom)) {
        bomLength = 2;
        return Encoding::Utf16BE;
    }
    return Encoding::Bytes;
}

// The start of the file as lower-case ASCII (other characters become '?'), BOM and leading
// white space left out, at most kMarkupSniffSpan characters.
std::string asciiPrefix(std::span<const uint8_t> b) {
    size_t pos = 0;
    const Encoding enc = encodingOf(b, pos);
    const size_t step = enc == Encoding::Bytes ? 1 : 2;
    std::string out;
    for (; pos + step <= b.size() && out.size() < kMarkupSniffSpan; pos += step) {
        uint16_t c = b[pos];
        if (enc == Encoding::Utf16LE)
            c = readU16LE(b, pos);
        else if (enc == Encoding::Utf16BE)
            c = static_cast<uint16_t>(b[pos] << 8 | b[pos + 1]);
        const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (out.empty() && space)
            continue;
        out.push_back(c < 0x80 ? static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c) : '?');
    }
    return out;
}

bool rtfStart(std::span<const uint8_t> b) {
    if (b.size() < kRtfStart.size())
        return false;
    int same = 0;
    for (size_t i = 0; i < kRtfStart.size(); ++i)
        same += b[i] == static_cast<uint8_t>(kRtfStart[i]);
    return same >= kRtfBytesNeeded;
}

bool has(std::string_view text, std::string_view what) {
    return text.find(what) != std::string_view::npos;
}

// Length of the UTF-8 sequence starting at b[i] (0 when invalid); a sequence cut by the end
// of the sample counts as valid.
size_t utf8Sequence(std::span<const uint8_t> b, size_t i) {
    const uint8_t c = b[i];
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (c >= 0xF5 || n == 0)
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if (i + k >= b.size())
            return n;
        if ((b[i + k] & 0xC0) != 0x80)
            return 0;
    }
    return n;
}

bool controlCharacter(uint32_t c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' &&
            c != 0x1A) ||
           c == 0x7F;
}

bool utf16Text(std::span<const uint8_t> b, bool littleEndian) {
    size_t units = 0, controls = 0;
    for (size_t i = 0; i + 1 < b.size(); i += 2) {
        const uint16_t c =
            littleEndian ? readU16LE(b, i) : static_cast<uint16_t>(b[i] << 8 | b[i + 1]);
        ++units;
        controls += controlCharacter(c) || c == 0xFFFF || c == 0xFFFE;
    }
    return units > 0 && controls * 1000 <= units * kMaxControlPerMille;
}

}  // namespace

std::optional<ContentFormat> sniffMarkup(std::span<const uint8_t> bytes) {
    size_t bom = 0;
    encodingOf(bytes, bom);
    if (rtfStart(bytes) || rtfStart(bytes.subspan(std::min(bom, bytes.size()))))
        return ContentFormat::Rtf;
    const std::string start = asciiPrefix(bytes);
    if (start.starts_with("{\\rtf"))
        return ContentFormat::Rtf;
    if (start.starts_with("mime-version:") ||
        (has(start, "content-type: multipart/related") && !start.starts_with("<")))
        return ContentFormat::Html;
    if (!start.starts_with("<"))
        return std::nullopt;
    if (has(start, "<pkg:package"))
        return ContentFormat::FlatOpc;
    if (has(start, "<w:worddocument") || has(start, "progid=\"word.document\""))
        return ContentFormat::WordXml2003;
    if (start.starts_with("<!doctype html") || start.starts_with("<html") || has(start, "<html"))
        return ContentFormat::Html;
    if (start.starts_with("<?xml"))
        return ContentFormat::OtherXml;
    return std::nullopt;
}

bool looksLikePlainText(std::span<const uint8_t> bytes) {
    size_t bom = 0;
    const Encoding enc = encodingOf(bytes, bom);
    const std::span<const uint8_t> b =
        bytes.subspan(bom).first(std::min(bytes.size() - bom, kPlainTextSniffSpan));
    if (b.empty())
        return false;
    if (enc != Encoding::Bytes)
        return utf16Text(b, enc == Encoding::Utf16LE);
    size_t controls = 0, high = 0, spaces = 0;
    bool utf8 = true;
    for (size_t i = 0; i < b.size();) {
        const uint8_t c = b[i];
        if (c == 0)
            return false;  // text files hold no NUL bytes: binary data does
        if (c < 0x80) {
            controls += controlCharacter(c);
            spaces += c == ' ' || c == '\t' || c == '\n' || c == '\r';
            ++i;
            continue;
        }
        ++high;
        const size_t n = utf8 ? utf8Sequence(b, i) : 0;
        if (n == 0) {
            utf8 = false;
            ++i;
        } else {
            i += n;
        }
    }
    if (controls * 1000 > b.size() * kMaxControlPerMille || spaces * kMaxRunWithoutSpace < b.size())
        return false;
    return utf8 || high * 1000 <= b.size() * kMaxHighPerMille;
}

}  // namespace morvel
