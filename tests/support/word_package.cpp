#include "tests/support/word_package.h"

#include "tests/support/zip_builder.h"

namespace morvel::test {

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const std::string kW = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
const std::string kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const std::string kWordType = "application/vnd.openxmlformats-officedocument.wordprocessingml.";

std::string rel(const std::string& id, const std::string& type, const std::string& target,
                bool external = false) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRelNs + "/" + type + "\" Target=\"" +
           target + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
}

std::string override(const std::string& part, const std::string& type) {
    return "<Override PartName=\"" + part + "\" ContentType=\"" + type + "\"/>";
}

}  // namespace

PackageParts wordPackageParts() {
    const std::string rels =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    return {
        {"[Content_Types].xml",
         kDecl +
             "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" "
             "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
             "<Default Extension=\"png\" ContentType=\"image/png\"/>" +
             override("/word/document.xml", kWordType + "document.main+xml") +
             override("/word/styles.xml", kWordType + "styles+xml") +
             override("/word/settings.xml", kWordType + "settings+xml") +
             override("/word/footer1.xml", kWordType + "footer+xml") +
             override("/word/charts/chart1.xml",
                      "application/vnd.openxmlformats-officedocument.drawingml.chart+xml") +
             override("/docProps/core.xml",
                      "application/vnd.openxmlformats-package.core-properties+xml") +
             override("/docProps/app.xml",
                      "application/vnd.openxmlformats-officedocument.extended-properties+xml") +
             "</Types>"},
        {"_rels/.rels",
         kDecl + rels + rel("rId1", "officeDocument", "word/document.xml") +
             "<Relationship Id=\"rId2\" "
             "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
             "core-properties\" Target=\"docProps/core.xml\"/>" +
             rel("rId3", "extended-properties", "docProps/app.xml") + "</Relationships>"},
        {"word/document.xml",
         kDecl + "<w:document " + kW + " xmlns:r=\"" + kRelNs +
             "\" xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/"
             "wordprocessingDrawing\" xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/"
             "main\" xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><w:body>"
             "<w:p><w:pPr><w:pStyle w:val=\"Title\"/></w:pPr><w:r><w:t>Alpha title</w:t></w:r>"
             "</w:p><w:p><w:r><w:t>Bravo paragraph</w:t></w:r></w:p>"
             "<w:p><w:r><w:drawing><wp:inline><a:graphic><a:graphicData><a:blip "
             "r:embed=\"rId5\"/></a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>"
             "<w:p><w:r><w:t>Charlie chart</w:t></w:r></w:p>"
             "<w:p><w:r><w:drawing><wp:inline><a:graphic><a:graphicData><c:chart "
             "r:id=\"rId6\"/></a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>"
             "<w:p><w:hyperlink r:id=\"rId7\"><w:r><w:t>Delta link</w:t></w:r></w:hyperlink>"
             "</w:p><w:p><w:r><w:t>Echo closing words</w:t></w:r></w:p>"
             "<w:sectPr><w:footerReference w:type=\"default\" r:id=\"rId4\"/></w:sectPr>"
             "</w:body></w:document>"},
        {"word/_rels/document.xml.rels",
         kDecl + rels + rel("rId1", "styles", "styles.xml") +
             rel("rId2", "settings", "settings.xml") + rel("rId4", "footer", "footer1.xml") +
             rel("rId5", "image", "media/image1.png") + rel("rId6", "chart", "charts/chart1.xml") +
             rel("rId7", "hyperlink", "http://example.test/", true) + "</Relationships>"},
        {"word/styles.xml",
         kDecl + "<w:styles " + kW +
             "><w:style w:type=\"paragraph\" w:styleId=\"Title\"><w:name w:val=\"Title\"/>"
             "</w:style></w:styles>"},
        {"word/settings.xml", kDecl + "<w:settings " + kW + "/>"},
        {"word/footer1.xml",
         kDecl + "<w:ftr " + kW + "><w:p><w:r><w:t>Foxtrot footer</w:t></w:r></w:p></w:ftr>"},
        {"word/media/image1.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, 'i')},
        {"word/charts/chart1.xml",
         kDecl + "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/"
                 "chart\"/>"},
        {"docProps/core.xml",
         kDecl + "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/"
                 "metadata/core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                 "<dc:title>Sample</dc:title></cp:coreProperties>"},
        {"docProps/app.xml",
         kDecl + "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                 "extended-properties\"><Pages>1</Pages></Properties>"},
    };
}

std::vector<uint8_t> buildWordPackage(const PackageParts& parts,
                                      const std::set<std::string>& lost) {
    ZipBuilder zip;
    for (const auto& [name, content] : parts)
        if (!lost.count(name))
            zip.add(name, content);
    return zip.finish();
}

std::vector<uint8_t> buildCutOffWordPackage(const PackageParts& parts,
                                            const std::string& cutAfter) {
    ZipBuilder zip;
    std::string main;
    for (const auto& [name, content] : parts) {
        if (name == "word/document.xml")
            main = content;
        else
            zip.add(name, content);
    }
    const size_t at = zip.add("word/document.xml", main, 0);
    std::vector<uint8_t> bytes = zip.localPart();
    const size_t dataStart = at + 30 + std::string("word/document.xml").size();
    bytes.resize(dataStart + main.find(cutAfter) + cutAfter.size());
    return bytes;
}

}  // namespace morvel::test
