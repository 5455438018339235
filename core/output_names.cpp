#include "core/output_names.h"

namespace morvel {

namespace {

// The document's name without its extension, whatever the extension is: a .docx named
// "x.doc" gives "x", as does a .doc named "x.docx".
std::string stem(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace

std::string defaultOutputName(const std::string& fileName, uint16_t format, OutputKind kind) {
    const bool docx = format == kFormatDocx;
    switch (kind) {
        case OutputKind::Full:
            return stem(fileName) + (docx ? "_recovered.docx" : "_recovered.doc");
        case OutputKind::Filtered:
            return stem(fileName) + (docx ? "_docs_text.docx" : "_Filtered_text.txt");
        case OutputKind::Raw:
            return stem(fileName) + "_Raw_text.txt";
    }
    return {};
}

std::string forcedExtension(uint16_t format, OutputKind kind) {
    const bool docx = format == kFormatDocx;
    switch (kind) {
        case OutputKind::Full:
            return docx ? "docx" : "doc";
        case OutputKind::Filtered:
            return docx ? "docx" : "txt";
        case OutputKind::Raw:
            return "txt";
    }
    return {};
}

}  // namespace morvel
