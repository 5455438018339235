#include "core/output_names.h"

namespace morvel {

namespace {

// The document's name less its ".doc" (4 characters) or ".docx" (5).
std::string stem(const std::string& fileName, uint16_t format) {
    const size_t cut = format == kFormatDocx ? 5 : 4;
    return fileName.size() > cut ? fileName.substr(0, fileName.size() - cut) : std::string();
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
    // The raw text is a .doc result; its name is cut as a .doc's whatever the format says.
    const uint16_t cutAs = kind == OutputKind::Raw ? uint16_t(kFormatDoc) : format;
    return stem(fileName, cutAs) + suffix(format, kind);
}

std::string numberedOutputName(const std::string& fileName, uint16_t format, OutputKind kind,
                               unsigned copy) {
    if (copy <= 1)
        return defaultOutputName(fileName, format, kind);
    const uint16_t cutAs = kind == OutputKind::Raw ? uint16_t(kFormatDoc) : format;
    return stem(fileName, cutAs) + " (" + std::to_string(copy) + ")" + suffix(format, kind);
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
