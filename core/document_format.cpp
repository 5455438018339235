#include "core/document_format.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace morvel {

DocumentFormat formatFromFileName(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return kFormatUnknown;
    std::string ext(name.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "doc")
        return kFormatDoc;
    if (ext == "docx")
        return kFormatDocx;
    return kFormatUnknown;
}

}  // namespace morvel
