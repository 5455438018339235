#include "core/plain_text.h"

#include <vector>

#include "convert/text_builder.h"
#include "convert/xml_text.h"
#include "core/content_route.h"
#include "core/document_format.h"
#include "doc/c_doc8.h"
#include "doc/doc8_streams.h"
#include "doc/doc_salvage.h"
#include "docx/package_part_reader.h"
#include "platform/le_reader.h"
#include "platform/utf8.h"
#include "platform/windows1252.h"

namespace morvel {

namespace {

// Characters with a meaning in a Word document's text.
constexpr uint16_t kCellMark = 0x07;
constexpr uint16_t kWordTab = 0x09;
constexpr uint16_t kWordLineBreak = 0x0B;
constexpr uint16_t kPageBreak = 0x0C;
constexpr uint16_t kParagraphMark = 0x0D;
constexpr uint16_t kFieldBegin = 0x13;
constexpr uint16_t kFieldSeparator = 0x14;
constexpr uint16_t kFieldEnd = 0x15;
constexpr uint16_t kNonBreakingHyphen = 0x1E;

// The main document part of a package.
constexpr const char* kMainDocumentPart = "word/document.xml";

// A document buffer's bytes, all of them.
std::span<const uint8_t> bytesOf(const std::optional<std::vector<uint8_t>>& buffer,
                                 uint32_t length) {
    if (!buffer)
        return {};
    return std::span<const uint8_t>(buffer->data(), std::min<size_t>(length, buffer->size()));
}

// A text buffer's bytes without the NUL that ends it.
std::span<const uint8_t> textOf(const std::optional<std::vector<uint8_t>>& buffer,
                                uint32_t length) {
    if (!buffer)
        return {};
    size_t n = std::min<size_t>(length, buffer->size());
    if (n > 0 && (*buffer)[n - 1] == 0)
        --n;  // the terminating NUL is no text
    return std::span<const uint8_t>(buffer->data(), n);
}

// Line ends of any kind (CR LF, CR, LF) as LF.
std::string unixLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Ends non-empty text with a line end, as text files do.
std::string finished(std::string text) {
    if (!holdsVisibleText(text))
        return {};
    if (text.back() != '\n')
        text += '\n';
    return text;
}

// A package's main document text, or empty.
std::string packageText(std::span<const uint8_t> package) {
    if (package.empty())
        return {};
    const std::optional<std::vector<uint8_t>> part = readPackagePart(package, kMainDocumentPart);
    return part ? plainTextOf(wordXmlText(*part)) : std::string();
}

// The Word document text (UTF-16LE, `chars` characters) as plain text.
std::string wordTextToPlain(std::span<const uint8_t> utf16, size_t chars) {
    chars = std::min(chars, utf16.size() / 2);
    std::string out;
    std::vector<bool> fieldInstruction;  // per open field: still in its instruction
    bool afterCellMark = false;
    for (size_t i = 0; i < chars; ++i) {
        uint32_t c = readU16LE(utf16, 2 * i);
        if (c == kFieldBegin) {
            fieldInstruction.push_back(true);
            continue;
        }
        if (c == kFieldSeparator || c == kFieldEnd) {
            if (!fieldInstruction.empty()) {
                if (c == kFieldEnd)
                    fieldInstruction.pop_back();
                else
                    fieldInstruction.back() = false;
            }
            continue;
        }
        bool hidden = false;
        for (bool in : fieldInstruction)
            hidden = hidden || in;
        if (hidden)
            continue;
        const bool cell = c == kCellMark;
        if (cell && afterCellMark && !out.empty() && out.back() == '\t') {
            out.back() = '\n';  // a cell mark right after one ends the table row
            afterCellMark = false;
            continue;
        }
        afterCellMark = cell;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < chars) {
            const uint32_t low = readU16LE(utf16, 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        switch (c) {
            case kParagraphMark:
            case kPageBreak:
            case kWordLineBreak:
                out += '\n';
                break;
            case kCellMark:
            case kWordTab:
                out += '\t';
                break;
            case kNonBreakingHyphen:
                out += '-';
                break;
            default:
                // Other control characters anchor pictures, notes and objects.
                if (c >= 0x20)
                    appendUtf8(out, c);
        }
    }
    return out;
}

}  // namespace

std::string word97PlainText(std::span<const uint8_t> image) {
    try {
        DocContext ctx;
        DocSalvage salvage = SalvageDocFile(image, ctx);
        if (salvage.result != kSalvageReadable || !salvage.storage)
            return {};
        // Only the text is wanted, so the pictures' Data stream is not read.
        CDoc8 doc(ReadDoc8Streams(*salvage.storage, DataStream::Skip), ctx);
        doc.ReadDocument(0);
        const size_t chars =
            doc.ccpText > 0 ? static_cast<size_t>(doc.ccpText) : doc.text.size() / 2;
        return wordTextToPlain(doc.text, chars);
    } catch (...) {
        return {};
    }
}

std::string PlainTextOf(const DocumentRecord& record) {
    const ContentFormat content = record.content.value_or(ContentFormat::Unknown);
    if (engineRouteFor(content, formatFromFileName(record.fileName)) == EngineRoute::Text) {
        const auto t = textOf(record.filteredData, record.filteredLength);
        return finished(std::string(t.begin(), t.end()));
    }
    if (record.format == kFormatDocx) {
        std::string text = packageText(bytesOf(record.fullData, record.fullLength));
        if (!holdsVisibleText(text))
            text = packageText(bytesOf(record.filteredData, record.filteredLength));
        return finished(std::move(text));
    }
    if (record.format != kFormatDoc)
        return {};
    std::string text;
    if (record.fullData)
        text = word97PlainText(bytesOf(record.fullData, record.fullLength));
    if (!holdsVisibleText(text))
        text = unixLineEnds(windows1252ToUtf8(textOf(record.filteredData, record.filteredLength)));
    if (!holdsVisibleText(text))
        text = unixLineEnds(windows1252ToUtf8(textOf(record.rawText, record.rawTextLength)));
    return finished(std::move(text));
}

}  // namespace morvel
