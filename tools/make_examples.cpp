// Writes the damaged example documents of the README's demo:
//   morvel-make-examples TEMPLATE_DIR OUT_DIR
// letter.doc: a Word 97 document whose first 512 bytes (the compound-file header) are zeroed,
// as a disk that lost a sector leaves it. report.docx: a package cut short inside its central
// directory, as an interrupted download leaves it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "docwriter/text_write.h"
#include "tests/support/zip_builder.h"

namespace fs = std::filesystem;

namespace {

const char* const kLetter[] = {
    "Dear Ms Lindqvist,",
    "Thank you for your letter of 3 November about the survey of the old mill race. The "
    "measurements you asked for are enclosed, together with the photographs taken in October.",
    "The east wall has moved about four centimetres since the last survey. We recommend that "
    "the footings are inspected before the spring floods, and that the sluice gate is left open.",
    "Yours sincerely,",
    "Tomas Berg",
};

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool writeAll(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string xmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

std::string documentXml() {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><w:body>"
        "<w:p><w:pPr><w:pStyle w:val=\"Heading1\"/></w:pPr><w:r><w:t>Mill race "
        "survey</w:t></w:r></w:p>";
    for (const char* para : kLetter)
        x += "<w:p><w:r><w:t xml:space=\"preserve\">" + xmlEscape(para) + "</w:t></w:r></w:p>";
    x += "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/></w:tblPr><w:tblGrid><w:gridCol "
         "w:w=\"4000\"/>"
         "<w:gridCol w:w=\"4000\"/></w:tblGrid>";
    const char* rows[][2] = {{"Point", "Movement"}, {"East wall", "4.1 cm"}, {"Sluice", "0.3 cm"}};
    for (auto& row : rows) {
        x += "<w:tr>";
        for (const char* cell : row)
            x += "<w:tc><w:tcPr><w:tcW w:w=\"4000\" "
                 "w:type=\"dxa\"/></w:tcPr><w:p><w:r><w:rPr><w:b/></w:rPr><w:t>" +
                 std::string(cell) + "</w:t></w:r></w:p></w:tc>";
        x += "</w:tr>";
    }
    x += "</w:tbl><w:p/><w:sectPr><w:pgSz w:w=\"11906\" "
         "w:h=\"16838\"/></w:sectPr></w:body></w:document>";
    return x;
}

std::vector<uint8_t> letterUtf16() {
    std::vector<uint8_t> text;
    for (const char* para : kLetter) {
        for (const char* c = para; *c; ++c) {
            text.push_back(static_cast<uint8_t>(*c));
            text.push_back(0);
        }
        text.push_back(0x0D);
        text.push_back(0);
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: morvel-make-examples TEMPLATE_DIR OUT_DIR\n");
        return 64;
    }
    const fs::path templ = argv[1];
    const fs::path out = argv[2];
    fs::create_directories(out);

    // letter.doc: header sector lost.
    std::vector<uint8_t> text = letterUtf16();
    morvel::CTextWrite8 writer;
    std::vector<uint8_t> doc =
        writer.BuildTextDocument(text, static_cast<int32_t>(text.size() + 2));
    if (doc.size() < 1024) {
        std::fprintf(stderr, "morvel-make-examples: the Word document could not be built\n");
        return 1;
    }
    std::fill(doc.begin(), doc.begin() + 512, 0);

    // report.docx: every part of a package, cut short inside the central directory.
    morvel::test::ZipBuilder zip;
    std::ifstream list(templ / "parts.txt");
    for (std::string part; std::getline(list, part);) {
        if (part.empty())
            continue;
        zip.add(part, readAll(templ / part));
        if (part == "[Content_Types].xml")
            zip.add("word/document.xml", documentXml());
    }
    std::vector<size_t> centralAt;
    std::vector<uint8_t> docx = zip.finish(&centralAt);
    const size_t centralStart = centralAt.empty() ? docx.size() : centralAt.front();
    docx.resize(centralStart + (docx.size() - centralStart) / 3);

    if (!writeAll(out / "letter.doc", doc) || !writeAll(out / "report.docx", docx)) {
        std::fprintf(stderr, "morvel-make-examples: cannot write into %s\n", out.c_str());
        return 1;
    }
    std::printf("wrote %s and %s\n", (out / "letter.doc").c_str(), (out / "report.docx").c_str());
    return 0;
}
