#include "core/output_names.h"

namespace morvel {

namespace {

// The document's name without its extension, whatever the extension is: a .docx named
// "x.doc" gives "x", as does a .doc named "x.docx", since a recovery names its results after
// the format the file's bytes showed.
std::string stem(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

const char* suffix(uint16_t format, OutputKind kind) {
    const bool docx = format == kFormatDocx;
    switch (kind) {
        case OutputKind::Full:
            return docx ? "_recovered.docx" : "_recovered.doc";
        case OutputKind::Filtered:
            return docx ? "_docs_text.docx" : "_Filtered_text.txt";
        case OutputKind::Raw:
            return "_Raw_text.txt";
    }
    return "";
}

}  // namespace

std::string defaultOutputName(const std::string& fileName, uint16_t format, OutputKind kind) {
    return stem(fileName) + suffix(format, kind);
}

std::string numberedOutputName(const std::string& fileName, uint16_t format, OutputKind kind,
                               unsigned copy) {
    if (copy <= 1)
        return defaultOutputName(fileName, format, kind);
    return stem(fileName) + " (" + std::to_string(copy) + ")" + suffix(format, kind);
}

std::string plainTextOutputName(const std::string& fileName, unsigned copy) {
    constexpr const char* kSuffix = "_recovered.txt";
    if (copy <= 1)
        return stem(fileName) + kSuffix;
    return stem(fileName) + " (" + std::to_string(copy) + ")" + kSuffix;
}

std::vector<OutputKind> outputKindsOf(uint16_t format) {
    if (format == kFormatDoc)
        return {OutputKind::Full, OutputKind::Filtered, OutputKind::Raw};
    if (format == kFormatDocx)
        return {OutputKind::Full, OutputKind::Filtered};
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
