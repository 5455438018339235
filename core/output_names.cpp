#include "core/output_names.h"

namespace morvel {

namespace {

std::string stem(const std::string& fileName, size_t cut) {
    return fileName.size() > cut ? fileName.substr(0, fileName.size() - cut) : std::string();
}

}  // namespace

std::string defaultOutputName(const std::string& fileName, uint16_t format, OutputKind kind) {
    const bool docx = format == kFormatDocx;
    switch (kind) {
        case OutputKind::Full:
            return docx ? stem(fileName, 5) + "_recovered.docx"
                        : stem(fileName, 4) + "_recovered.doc";
        case OutputKind::Filtered:
            return docx ? stem(fileName, 5) + "_docs_text.docx"
                        : stem(fileName, 4) + "_Filtered_text.txt";
        case OutputKind::Raw:
            return stem(fileName, 4) + "_Raw_text.txt";
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
