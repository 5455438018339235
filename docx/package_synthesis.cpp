#include "docx/package_synthesis.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "platform/xml_escape.h"

namespace morvel {

namespace {

constexpr std::string_view kDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
constexpr std::string_view kTypesNamespace =
    "http://schemas.openxmlformats.org/package/2006/content-types";
constexpr std::string_view kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr std::string_view kOfficeRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr std::string_view kCoreRelationship =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
constexpr std::string_view kWordPrefix = "application/vnd.openxmlformats-officedocument.";
constexpr std::string_view kMainDocument = "word/document.xml";
constexpr std::string_view kWordFolder = "word/";
constexpr std::string_view kFreshIdPrefix = "rIdRecovered";

// Extensions and their default content types.
constexpr std::array<std::pair<std::string_view, std::string_view>, 15> kDefaults = {{
    {"rels", "application/vnd.openxmlformats-package.relationships+xml"},
    {"xml", "application/xml"},
    {"png", "image/png"},
    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},
    {"gif", "image/gif"},
    {"emf", "image/x-emf"},
    {"wmf", "image/x-wmf"},
    {"tiff", "image/tiff"},
    {"tif", "image/tiff"},
    {"bmp", "image/bmp"},
    {"svg", "image/svg+xml"},
    {"odttf", "application/vnd.openxmlformats-officedocument.obfuscatedFont"},
    {"bin", "application/vnd.openxmlformats-officedocument.oleObject"},
    {"wdp", "image/vnd.ms-photo"},
}};

// Parts known by their exact name: content type (after kWordPrefix unless it holds a '/')
// and, for those the main document refers to, the relationship type.
struct FixedPart {
    std::string_view name, contentType, relationship;
};
constexpr std::array<FixedPart, 12> kFixedParts = {{
    {"word/document.xml", "wordprocessingml.document.main+xml", ""},
    {"word/styles.xml", "wordprocessingml.styles+xml", "styles"},
    {"word/settings.xml", "wordprocessingml.settings+xml", "settings"},
    {"word/numbering.xml", "wordprocessingml.numbering+xml", "numbering"},
    {"word/fontTable.xml", "wordprocessingml.fontTable+xml", "fontTable"},
    {"word/webSettings.xml", "wordprocessingml.webSettings+xml", "webSettings"},
    {"word/footnotes.xml", "wordprocessingml.footnotes+xml", "footnotes"},
    {"word/endnotes.xml", "wordprocessingml.endnotes+xml", "endnotes"},
    {"word/comments.xml", "wordprocessingml.comments+xml", "comments"},
    {"word/stylesWithEffects.xml", "word.stylesWithEffects+xml", "stylesWithEffects"},
    {"docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml", ""},
    {"docProps/app.xml", "extended-properties+xml", ""},
}};

// Numbered parts ("word/header2.xml"): folder and stem, content type, relationship type.
struct NumberedPart {
    std::string_view stem, contentType, relationship;
};
constexpr std::array<NumberedPart, 9> kNumberedParts = {{
    {"word/header", "wordprocessingml.header+xml", "header"},
    {"word/footer", "wordprocessingml.footer+xml", "footer"},
    {"word/theme/theme", "theme+xml", "theme"},
    {"word/charts/chart", "drawingml.chart+xml", ""},
    {"word/diagrams/data", "drawingml.diagramData+xml", ""},
    {"word/diagrams/layout", "drawingml.diagramLayout+xml", ""},
    {"word/diagrams/quickStyle", "drawingml.diagramStyle+xml", ""},
    {"word/diagrams/colors", "drawingml.diagramColors+xml", ""},
    {"word/diagrams/drawing", "/application/vnd.ms-office.drawingml.diagramDrawing+xml", ""},
}};

std::string fullContentType(std::string_view type) {
    if (type.starts_with("/"))
        return std::string(type.substr(1));
    if (type.find('/') != std::string_view::npos)
        return std::string(type);
    return std::string(kWordPrefix) + std::string(type);
}

// stem + one or more digits + ".xml".
bool isNumbered(std::string_view name, std::string_view stem) {
    if (!name.starts_with(stem) || !name.ends_with(".xml"))
        return false;
    std::string_view digits = name.substr(stem.size(), name.size() - stem.size() - 4);
    return !digits.empty() &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string lowerExtension(std::string_view name) {
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    std::string ext(name.substr(dot + 1));
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// The relationship type (after kOfficeRelationship) by which the main document refers to a
// part of this name, or empty.
std::string_view documentRelationshipType(std::string_view name) {
    for (const FixedPart& p : kFixedParts)
        if (p.name == name)
            return p.relationship;
    for (const NumberedPart& p : kNumberedParts)
        if (isNumbered(name, p.stem))
            return p.relationship;
    if (name.starts_with("word/media/") && name.size() > 11)
        return "image";
    return {};
}

std::string relationship(std::string_view id, std::string_view type, std::string_view target) {
    return "<Relationship Id=\"" + std::string(id) + "\" Type=\"" + std::string(type) +
           "\" Target=\"" + xmlEscaped(target) + "\"/>";
}

}  // namespace

std::string wellKnownContentType(std::string_view partName) {
    for (const FixedPart& p : kFixedParts)
        if (p.name == partName)
            return fullContentType(p.contentType);
    for (const NumberedPart& p : kNumberedParts)
        if (isNumbered(partName, p.stem))
            return fullContentType(p.contentType);
    return {};
}

std::string synthesiseContentTypes(const std::vector<std::string>& partNames) {
    std::string out =
        std::string(kDeclaration) + "<Types xmlns=\"" + std::string(kTypesNamespace) + "\">";
    std::set<std::string, std::less<>> extensions = {"rels", "xml"};
    for (const std::string& name : partNames)
        extensions.insert(lowerExtension(name));
    for (const auto& [ext, type] : kDefaults)
        if (extensions.count(ext))
            out += "<Default Extension=\"" + std::string(ext) + "\" ContentType=\"" +
                   std::string(type) + "\"/>";
    std::set<std::string, std::less<>> done;
    for (const std::string& name : partNames) {
        const std::string type = wellKnownContentType(name);
        if (type.empty() || !done.insert(name).second)
            continue;
        out += "<Override PartName=\"/" + xmlEscaped(name) + "\" ContentType=\"" + type + "\"/>";
    }
    return out + "</Types>";
}

std::string synthesisePackageRelationships(const std::vector<std::string>& partNames) {
    const auto has = [&](std::string_view n) {
        return std::find(partNames.begin(), partNames.end(), n) != partNames.end();
    };
    std::string out = std::string(kDeclaration) + "<Relationships xmlns=\"" +
                      std::string(kRelationshipsNamespace) + "\">";
    out += relationship("rId1", std::string(kOfficeRelationship) + "officeDocument", kMainDocument);
    if (has("docProps/core.xml"))
        out += relationship("rId2", kCoreRelationship, "docProps/core.xml");
    if (has("docProps/app.xml"))
        out += relationship("rId3", std::string(kOfficeRelationship) + "extended-properties",
                            "docProps/app.xml");
    return out + "</Relationships>";
}

std::string synthesiseDocumentRelationships(const std::vector<std::string>& partNames,
                                            const std::set<std::string, std::less<>>& takenIds) {
    std::string out = std::string(kDeclaration) + "<Relationships xmlns=\"" +
                      std::string(kRelationshipsNamespace) + "\">";
    std::set<std::string, std::less<>> done;
    uint32_t next = 1;
    for (const std::string& name : partNames) {
        const std::string_view type = documentRelationshipType(name);
        if (type.empty() || !done.insert(name).second)
            continue;
        std::string id;
        do
            id = std::string(kFreshIdPrefix) + std::to_string(next++);
        while (takenIds.count(id));
        out += relationship(id, std::string(kOfficeRelationship) + std::string(type),
                            std::string_view(name).substr(kWordFolder.size()));
    }
    return out + "</Relationships>";
}

}  // namespace morvel
