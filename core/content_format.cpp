#include "core/content_format.h"

namespace morvel {

std::string_view contentFormatName(ContentFormat f) {
    switch (f) {
        case ContentFormat::Unknown:
            return "unknown";
        case ContentFormat::Empty:
            return "empty";
        case ContentFormat::Word97:
            return "word97";
        case ContentFormat::Word6or95:
            return "word6-95";
        case ContentFormat::Word2:
            return "word2";
        case ContentFormat::WordDos:
            return "word-dos";
        case ContentFormat::WordMac:
            return "word-mac";
        case ContentFormat::EncryptedWord:
            return "encrypted-word";
        case ContentFormat::EncryptedPackage:
            return "encrypted-package";
        case ContentFormat::ExcelWorkbook:
            return "excel";
        case ContentFormat::PowerPoint:
            return "powerpoint";
        case ContentFormat::OtherCompoundFile:
            return "compound-file";
        case ContentFormat::WordPackage:
            return "docx";
        case ContentFormat::Rtf:
            return "rtf";
        case ContentFormat::WordXml2003:
            return "word-xml-2003";
        case ContentFormat::FlatOpc:
            return "flat-opc";
        case ContentFormat::OtherXml:
            return "xml";
        case ContentFormat::Html:
            return "html";
        case ContentFormat::PlainText:
            return "text";
    }
    return "unknown";
}

}  // namespace morvel
