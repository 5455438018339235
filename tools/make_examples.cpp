// Writes the damaged example documents of the README's demo:
//   morvel-make-examples TEMPLATE_DIR OUT_DIR
// letter.doc: a Word 97 document whose first 512 bytes (the compound-file header) are zeroed,
// as a disk that lost a sector leaves it. report.docx: a package cut short inside its central
// directory, as an interrupted download leaves it.
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "docwriter/text_write.h"
#include "platform/le_reader.h"

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

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool writeAll(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<uint8_t> deflateRaw(const std::vector<uint8_t>& in) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A plain ZIP writer: deflated entries, then the central directory and the end record.
class Zip {
  public:
    void add(const std::string& name, const std::vector<uint8_t>& content) {
        const uint32_t crc =
            static_cast<uint32_t>(crc32(0, content.data(), static_cast<uInt>(content.size())));
        const std::vector<uint8_t> packed = deflateRaw(content);
        Entry e{name, crc, static_cast<uint32_t>(packed.size()),
                static_cast<uint32_t>(content.size()), static_cast<uint32_t>(bytes_.size())};
        morvel::appendU32LE(bytes_, 0x04034B50);
        header(e);
        bytes_.insert(bytes_.end(), name.begin(), name.end());
        bytes_.insert(bytes_.end(), packed.begin(), packed.end());
        entries_.push_back(e);
    }
    std::vector<uint8_t> finish(size_t& centralStart) const {
        std::vector<uint8_t> out = bytes_;
        centralStart = out.size();
        for (const Entry& e : entries_) {
            morvel::appendU32LE(out, 0x02014B50);
            morvel::appendU16LE(out, 20);  // made by
            std::vector<uint8_t> h;
            Zip::headerInto(h, e);
            out.insert(out.end(), h.begin(), h.end());
            morvel::appendU16LE(out, 0);  // comment length
            morvel::appendU16LE(out, 0);  // disk
            morvel::appendU16LE(out, 0);  // internal attributes
            morvel::appendU32LE(out, 0);  // external attributes
            morvel::appendU32LE(out, e.offset);
            out.insert(out.end(), e.name.begin(), e.name.end());
        }
        const size_t centralSize = out.size() - centralStart;
        morvel::appendU32LE(out, 0x06054B50);
        morvel::appendU16LE(out, 0);
        morvel::appendU16LE(out, 0);
        morvel::appendU16LE(out, static_cast<uint16_t>(entries_.size()));
        morvel::appendU16LE(out, static_cast<uint16_t>(entries_.size()));
        morvel::appendU32LE(out, static_cast<uint32_t>(centralSize));
        morvel::appendU32LE(out, static_cast<uint32_t>(centralStart));
        morvel::appendU16LE(out, 0);
        return out;
    }

  private:
    struct Entry {
        std::string name;
        uint32_t crc, packed, size, offset;
    };
    static void headerInto(std::vector<uint8_t>& out, const Entry& e) {
        morvel::appendU16LE(out, 20);      // version needed
        morvel::appendU16LE(out, 0);       // flags
        morvel::appendU16LE(out, 8);       // deflate
        morvel::appendU16LE(out, 0x6000);  // 12:00
        morvel::appendU16LE(out, 0x5B8A);  // 2025-12-10
        morvel::appendU32LE(out, e.crc);
        morvel::appendU32LE(out, e.packed);
        morvel::appendU32LE(out, e.size);
        morvel::appendU16LE(out, static_cast<uint16_t>(e.name.size()));
        morvel::appendU16LE(out, 0);  // extra length
    }
    void header(const Entry& e) { headerInto(bytes_, e); }

    std::vector<uint8_t> bytes_;
    std::vector<Entry> entries_;
};

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

std::vector<uint8_t> documentXml() {
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
    return std::vector<uint8_t>(x.begin(), x.end());
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
    Zip zip;
    std::ifstream list(templ / "parts.txt");
    for (std::string part; std::getline(list, part);) {
        if (part.empty())
            continue;
        zip.add(part, readAll(templ / part));
        if (part == "[Content_Types].xml")
            zip.add("word/document.xml", documentXml());
    }
    size_t centralStart = 0;
    std::vector<uint8_t> docx = zip.finish(centralStart);
    docx.resize(centralStart + (docx.size() - centralStart) / 3);

    if (!writeAll(out / "letter.doc", doc) || !writeAll(out / "report.docx", docx)) {
        std::fprintf(stderr, "morvel-make-examples: cannot write into %s\n", out.c_str());
        return 1;
    }
    std::printf("wrote %s and %s\n", (out / "letter.doc").c_str(), (out / "report.docx").c_str());
    return 0;
}
