#include "core/content_route.h"

#include <algorithm>
#include <climits>

#include "convert/text_builder.h"
#include "core/document_format.h"
#include "core/format_sniffer.h"
#include "core/text_conversion.h"
#include "docwriter/recover_doc_file.h"
#include "docwriter/text_write.h"

namespace morvel {

namespace {

// Messages of the files that are not Word documents at all.
constexpr const char* kUnknownFormatError = "Error: unknown file format!";

std::string notABinary(const char* what, bool textRecovered) {
    return std::string(what) + ": it is not a Word binary; " +
           (textRecovered ? "text recovered" : "no text found");
}

std::string noFullDocument(const char* what, bool textRecovered) {
    return std::string(what) + ": no full document; " +
           (textRecovered ? "text recovered" : "no text found");
}

}  // namespace

EngineRoute engineRouteFor(ContentFormat content, uint16_t nameFormat) {
    switch (content) {
        case ContentFormat::Word97:
        case ContentFormat::Word6or95:
        case ContentFormat::Word2:
        case ContentFormat::WordDos:
        case ContentFormat::WordMac:
        case ContentFormat::OtherCompoundFile:
        case ContentFormat::Empty:
            return EngineRoute::Doc;
        case ContentFormat::WordPackage:
            return EngineRoute::Docx;
        case ContentFormat::Rtf:
        case ContentFormat::WordXml2003:
        case ContentFormat::FlatOpc:
        case ContentFormat::OtherXml:
        case ContentFormat::Html:
            return EngineRoute::Text;
        case ContentFormat::EncryptedWord:
        case ContentFormat::EncryptedPackage:
        case ContentFormat::ExcelWorkbook:
        case ContentFormat::PowerPoint:
            return EngineRoute::Refused;
        case ContentFormat::PlainText:
            // Text named as a .doc is what some program made of one: its text is what there
            // is to recover. A .docx name leaves it to the package salvage, as before; text
            // under any other name is no document of ours.
            return nameFormat == kFormatDoc    ? EngineRoute::Doc
                   : nameFormat == kFormatDocx ? EngineRoute::Docx
                                               : EngineRoute::Refused;
        case ContentFormat::Unknown:
            break;
    }
    // Bytes that say nothing: a document damaged beyond recognition goes to the engine its
    // name stands for, which salvages what it can.
    if (nameFormat == kFormatDoc)
        return EngineRoute::Doc;
    if (nameFormat == kFormatDocx)
        return EngineRoute::Docx;
    return EngineRoute::Refused;
}

std::optional<ContentReason> contentReason(ContentFormat content, uint16_t nameFormat, bool text) {
    switch (content) {
        case ContentFormat::Word97:
        case ContentFormat::WordPackage:
        case ContentFormat::OtherCompoundFile:
            return std::nullopt;
        case ContentFormat::Unknown:
            if (nameFormat != kFormatUnknown)
                return std::nullopt;
            return ContentReason{"unknown-format", "unknown file format: not a Word document"};
        case ContentFormat::Empty:
            return ContentReason{"empty-file", "the file is empty"};
        case ContentFormat::Word6or95:
            return ContentReason{"word6-95", noFullDocument("Word 6.0/95 document", text)};
        case ContentFormat::Word2:
            return ContentReason{"word2", noFullDocument("Word 1.x/2.0 document", text)};
        case ContentFormat::WordDos:
            return ContentReason{"word-dos", noFullDocument("Word for DOS document", text)};
        case ContentFormat::WordMac:
            return ContentReason{"word-mac", noFullDocument("Word for Macintosh document", text)};
        case ContentFormat::EncryptedWord:
        case ContentFormat::EncryptedPackage:
            return ContentReason{
                "password-protected",
                "password-protected document: it cannot be read without its password"};
        case ContentFormat::ExcelWorkbook:
            return ContentReason{"excel-workbook", "Excel workbook, not a Word document"};
        case ContentFormat::PowerPoint:
            return ContentReason{"powerpoint-presentation",
                                 "PowerPoint presentation, not a Word document"};
        case ContentFormat::Rtf:
            return ContentReason{"rtf-document", notABinary("RTF document", text)};
        case ContentFormat::Html:
            return ContentReason{"html-document", notABinary("HTML document", text)};
        case ContentFormat::WordXml2003:
            return ContentReason{"word-xml-2003",
                                 notABinary("WordprocessingML 2003 XML document", text)};
        case ContentFormat::FlatOpc:
            return ContentReason{"flat-opc-xml", notABinary("Flat OPC XML document", text)};
        case ContentFormat::OtherXml:
            return ContentReason{"xml-document", notABinary("XML document", text)};
        case ContentFormat::PlainText:
            if (nameFormat == kFormatDocx)
                return std::nullopt;
            if (nameFormat == kFormatUnknown)
                return ContentReason{"plain-text", "plain text file, not a Word document"};
            return ContentReason{"plain-text", text ? "plain text file: it is not a Word "
                                                      "binary; text recovered"
                                                    : "plain text file: no text found"};
    }
    return std::nullopt;
}

std::optional<ContentReason> contentReasonOf(const DocumentRecord& record) {
    if (!record.content)
        return std::nullopt;
    const bool text = record.rawText.has_value() || record.filteredData.has_value();
    return contentReason(*record.content, formatFromFileName(record.fileName), text);
}

namespace {

uint16_t resultFormatOfRoute(EngineRoute route, uint16_t nameFormat) {
    switch (route) {
        case EngineRoute::Doc:
        case EngineRoute::Text:
            return kFormatDoc;
        case EngineRoute::Docx:
            return kFormatDocx;
        case EngineRoute::Refused:
            break;
    }
    return nameFormat;
}

}  // namespace

uint16_t ResultFormatOf(std::span<const uint8_t> bytes, const std::string& fileName,
                        ContentFormat* content) {
    const uint16_t nameFormat = formatFromFileName(fileName);
    const ContentFormat sniffed = sniffFormat(bytes).format;
    if (content)
        *content = sniffed;
    return resultFormatOfRoute(engineRouteFor(sniffed, nameFormat), nameFormat);
}

EngineRoute RouteByContent(DocumentRecord& record, const RecoveryEnvironment& env) {
    const uint16_t nameFormat = formatFromFileName(record.fileName);
    const std::span<const uint8_t> image =
        record.fileData ? std::span<const uint8_t>(*record.fileData) : std::span<const uint8_t>();
    const ContentFormat content =
        record.fileDataContent ? *record.fileDataContent : sniffFormat(image).format;
    record.content = content;
    const EngineRoute route = engineRouteFor(content, nameFormat);
    record.format = resultFormatOfRoute(route, nameFormat);
    if (route == EngineRoute::Refused) {
        const std::optional<ContentReason> why = contentReason(content, nameFormat, false);
        const bool unknown =
            content == ContentFormat::Unknown || content == ContentFormat::PlainText;
        env.showError(unknown || !why ? kUnknownFormatError : why->message);
        record.success = 0;
        record.fullFailed = 1;
    }
    return route;
}

void RecoverConvertedText(DocumentRecord& record, const RecoveryEnvironment& env) {
    record.fullFailed = 1;
    std::string text;
    const ContentFormat content = record.content.value_or(ContentFormat::Unknown);
    const bool converted = record.fileData &&
                           ConvertDocumentText(content, *record.fileData, text) &&
                           holdsVisibleText(text);
    if (!converted) {
        const std::optional<ContentReason> why =
            contentReason(content, formatFromFileName(record.fileName), false);
        env.showError(why ? why->message : kUnknownFormatError);
        record.success = 0;
        return;
    }
    // The text as the filtered result: plain UTF-8 lines. Text buffers end with a NUL that
    // their length counts, as the .doc engine's do.
    const std::string plain = plainTextOf(text);
    std::vector<uint8_t> filtered(plain.begin(), plain.end());
    filtered.push_back(0);
    record.filteredLength = static_cast<uint32_t>(filtered.size());
    record.filteredData = std::move(filtered);
    record.resultsReady = 1;
    record.success = 1;

    // The same text as a plain Word 97 document: the full result, as the .doc engine offers
    // a document whose structure is lost.
    const std::vector<uint8_t> units = wordTextOf(text);
    std::vector<uint8_t> document;
    std::string failure;
    try {
        CTextWrite8 writer;
        document = writer.BuildTextDocument(
            units, static_cast<int32_t>(std::min<size_t>(units.size() + 2, INT32_MAX)));
    } catch (const std::exception& e) {
        document.clear();
        failure = exceptionCause(e);
    }
    if (document.empty()) {
        record.fullResult = {kRecoverDocSource, kRecoverDocWriteFailed,
                             failure.empty() ? recoverDocMessage(kRecoverDocWriteFailed)
                                             : "the plain document could not be built: " + failure};
        return;
    }
    record.fullResult = {kRecoverDocSource, kRecoverDocTextOnly,
                         "the text was converted and kept in a plain Word document"};
    record.fullLength = static_cast<uint32_t>(document.size());
    record.fullData = std::move(document);
    record.fullFailed = 0;
}

bool fullHoldsTextOnly(const DocumentRecord& record) {
    return record.fullData && record.fullResult.source == kRecoverDocSource &&
           record.fullResult.code == kRecoverDocTextOnly;
}

}  // namespace morvel
