#include "convert/mhtml_text.h"

#include <string_view>

#include "convert/html_text.h"
#include "convert/text_decoding.h"
#include "platform/code_pages.h"
#include "platform/hex_digit.h"

namespace morvel {

namespace {

constexpr size_t npos = std::string_view::npos;
// How far into a file its MIME headers are looked for.
constexpr size_t kHeaderSpan = 16 * 1024;

std::string_view viewOf(std::span<const uint8_t> b) {
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

std::span<const uint8_t> spanOf(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+' || c == '-')
        return 62;
    if (c == '/' || c == '_')
        return 63;
    return -1;
}

// Where a part's headers end and its body starts: after the first empty line.
size_t bodyStart(std::string_view part) {
    const size_t crlf = part.find("\r\n\r\n");
    const size_t lf = part.find("\n\n");
    if (crlf != npos && (lf == npos || crlf < lf))
        return crlf + 4;
    return lf == npos ? npos : lf + 2;
}

// The value of a header line ("content-type:") in a block of headers, up to the line's end
// (folded continuation lines included); empty when absent.
std::string headerValue(std::string_view headers, std::string_view name) {
    const std::string lower = asciiLower(headers);
    size_t at = 0;
    while ((at = lower.find(name, at)) != npos) {
        if (at == 0 || lower[at - 1] == '\n')
            break;
        ++at;
    }
    if (at == npos)
        return {};
    size_t i = at + name.size();
    std::string value;
    while (i < headers.size()) {
        const size_t eol = headers.find('\n', i);
        const size_t end = eol == npos ? headers.size() : eol;
        value.append(headers.substr(i, end - i));
        if (eol == npos || eol + 1 >= headers.size() ||
            (headers[eol + 1] != ' ' && headers[eol + 1] != '\t'))
            break;
        i = eol + 1;
    }
    return value;
}

struct HtmlPart {
    std::vector<uint8_t> bytes;
    uint32_t codePage = 0;
};

// Decodes one part when it is HTML.
bool htmlPartOf(std::string_view part, HtmlPart& out) {
    const size_t body = bodyStart(part);
    if (body == npos)
        return false;
    const std::string_view headers = part.substr(0, body);
    const std::string type = asciiLower(headerValue(headers, "content-type:"));
    if (type.find("text/html") == std::string::npos)
        return false;
    const std::string encoding = asciiLower(headerValue(headers, "content-transfer-encoding:"));
    const std::span<const uint8_t> raw = spanOf(part.substr(body));
    if (encoding.find("quoted-printable") != std::string::npos)
        out.bytes = decodeQuotedPrintable(raw);
    else if (encoding.find("base64") != std::string::npos)
        out.bytes = decodeBase64(raw);
    else
        out.bytes.assign(raw.begin(), raw.end());
    const std::string charset = attributeValue(type, "charset");
    out.codePage = charset.empty() ? 0 : codePageOfCharsetName(charset);
    return true;
}

}  // namespace

bool looksLikeMime(std::span<const uint8_t> bytes) {
    const std::string head = asciiLower(viewOf(bytes.first(std::min<size_t>(bytes.size(), 512))));
    size_t i = 0;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\r' || head[i] == '\n'))
        ++i;
    return head.compare(i, 1, "<") != 0 && (head.find("mime-version:") != std::string::npos ||
                                            head.find("content-type:") != std::string::npos);
}

std::vector<uint8_t> decodeQuotedPrintable(std::span<const uint8_t> body) {
    std::vector<uint8_t> out;
    out.reserve(body.size());
    for (size_t i = 0; i < body.size(); ++i) {
        const uint8_t c = body[i];
        if (c != '=') {
            out.push_back(c);
            continue;
        }
        // A soft line break: '=' at a line's end joins the lines.
        if (i + 1 < body.size() && body[i + 1] == '\n') {
            i += 1;
            continue;
        }
        if (i + 2 < body.size() && body[i + 1] == '\r' && body[i + 2] == '\n') {
            i += 2;
            continue;
        }
        const int hi = i + 1 < body.size() ? hexDigitValue(body[i + 1]) : -1;
        const int lo = i + 2 < body.size() ? hexDigitValue(body[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
            out.push_back(c);  // not an escape: kept as it stands
            continue;
        }
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 2;
    }
    return out;
}

std::vector<uint8_t> decodeBase64(std::span<const uint8_t> body) {
    std::vector<uint8_t> out;
    out.reserve(body.size() / 4 * 3 + 3);
    uint32_t bits = 0;
    int count = 0;
    for (uint8_t c : body) {
        const int v = base64Value(static_cast<char>(c));
        if (v < 0)
            continue;  // line ends, padding and damage
        bits = bits << 6 | static_cast<uint32_t>(v);
        if (++count == 4) {
            out.push_back(static_cast<uint8_t>(bits >> 16));
            out.push_back(static_cast<uint8_t>(bits >> 8));
            out.push_back(static_cast<uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    // A last group cut short still holds whole bytes.
    if (count == 2) {
        out.push_back(static_cast<uint8_t>(bits >> 4));
    } else if (count == 3) {
        out.push_back(static_cast<uint8_t>(bits >> 10));
        out.push_back(static_cast<uint8_t>(bits >> 2));
    }
    return out;
}

std::string mhtmlText(std::span<const uint8_t> bytes) {
    const std::string_view file = viewOf(bytes);
    const std::string_view head = file.substr(0, std::min(file.size(), kHeaderSpan));
    const size_t topBody = bodyStart(head);
    const std::string_view topHeaders = topBody == npos ? head : head.substr(0, topBody);
    const std::string boundary = attributeValue(topHeaders, "boundary");
    HtmlPart part;
    if (!boundary.empty()) {
        const std::string marker = "--" + boundary;
        for (size_t at = file.find(marker); at != npos;) {
            const size_t start = at + marker.size();
            const size_t next = file.find(marker, start);
            // A part cut off by the end of the file runs to the end.
            const std::string_view p = file.substr(start, next == npos ? npos : next - start);
            if (htmlPartOf(p, part))
                return htmlText(part.bytes, part.codePage);
            at = next;
        }
    } else if (topBody != npos && htmlPartOf(file, part)) {
        return htmlText(part.bytes, part.codePage);  // a single-part archive
    }
    // No HTML part found: the message's body (or the whole file when no headers end) is read
    // as a page, so its text is still there.
    return htmlText(topBody == npos ? bytes : bytes.subspan(topBody));
}

}  // namespace morvel
