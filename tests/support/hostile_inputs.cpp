#include "tests/support/hostile_inputs.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "platform/le_reader.h"
#include "tests/support/zip_builder.h"

namespace morvel::test {

namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr size_t kLocalHeaderSize = 30;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kMaxEndCount = 0xFFFF;
// Pieces of repeated content are compressed one MiB at a time and the piece reused.
constexpr size_t kPieceSize = 1u << 20;
constexpr uint64_t kMiB = 1u << 20;

const char kXmlDecl[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char kRelsNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";
const char kWordNs[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const char kRelNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char kDocType[] =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";

uint32_t crcOf(const std::string& s) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

uint32_t crcOf(const std::vector<uint8_t>& v) {
    return static_cast<uint32_t>(crc32(0, v.data(), static_cast<uInt>(v.size())));
}

// Raw deflate of text that ends byte-aligned without a final block, so pieces compressed
// separately can be joined into one stream (none refers back into another).
std::vector<uint8_t> deflatePiece(const std::string& text) {
    if (text.empty())
        return {};
    z_stream s{};
    if (deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<uint8_t> out(deflateBound(&s, text.size()) + 64);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    s.avail_in = static_cast<uInt>(text.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&s, Z_FULL_FLUSH);
    out.resize(s.total_out);
    deflateEnd(&s);
    if (rc != Z_OK || s.avail_in != 0)
        throw std::runtime_error("deflate");
    return out;
}

// A part's compressed bytes with its CRC and sizes.
struct Compressed {
    std::vector<uint8_t> data;
    uint32_t crc = 0;
    uint64_t size = 0;
};

// head + unit x units + tail as one deflate stream, built from a compressed piece reused as
// often as needed, so even GiBs of content cost milliseconds to make.
Compressed deflateRepeated(const std::string& head, const std::string& unit, uint64_t units,
                           const std::string& tail) {
    const uint64_t perPiece = std::max<uint64_t>(1, kPieceSize / unit.size());
    std::string piece;
    for (uint64_t i = 0; i < std::min(perPiece, units); ++i)
        piece += unit;
    const uint64_t fullPieces = units / perPiece;
    std::string rest;
    for (uint64_t i = 0; i < units % perPiece; ++i)
        rest += unit;

    Compressed c;
    auto append = [&](const std::string& text, const std::vector<uint8_t>& deflated) {
        c.data.insert(c.data.end(), deflated.begin(), deflated.end());
        c.crc = static_cast<uint32_t>(
            crc32_combine(c.crc, crcOf(text), static_cast<z_off_t>(text.size())));
        c.size += text.size();
    };
    append(head, deflatePiece(head));
    if (fullPieces > 0) {
        const std::vector<uint8_t> deflated = deflatePiece(piece);
        for (uint64_t i = 0; i < fullPieces; ++i)
            append(piece, deflated);
    }
    append(rest, deflatePiece(rest));
    append(tail, deflatePiece(tail));
    c.data.insert(c.data.end(), {0x03, 0x00});  // an empty final block ends the stream
    return c;
}

Compressed deflateText(const std::string& text) {
    return deflateRepeated(text, " ", 0, "");
}

void appendBytes(std::vector<uint8_t>& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
}

void appendLocalHeader(std::vector<uint8_t>& out, const std::string& name, uint16_t method,
                       uint32_t crc, uint64_t compressed, uint64_t size) {
    appendU32LE(out, kLocalSignature);
    appendU16LE(out, 20);
    appendU16LE(out, 0);
    appendU16LE(out, method);
    appendU16LE(out, 0);
    appendU16LE(out, 0x5C21);
    appendU32LE(out, crc);
    appendU32LE(out, static_cast<uint32_t>(compressed));
    appendU32LE(out, static_cast<uint32_t>(size));
    appendU16LE(out, static_cast<uint16_t>(name.size()));
    appendU16LE(out, 0);
    appendBytes(out, name);
}

// A ZIP archive written entry by entry, with its central directory and end record.
class Archive {
  public:
    void add(const std::string& name, uint16_t method, const Compressed& c) {
        add(name, method, c.crc, c.data, c.size);
    }
    void addStored(const std::string& name, const std::string& text) {
        add(name, kStored, crcOf(text), std::vector<uint8_t>(text.begin(), text.end()),
            text.size());
    }
    void addDeflated(const std::string& name, const std::string& text) {
        add(name, kDeflated, deflateText(text));
    }
    // Records a central entry for a local header written by the caller.
    void listEntry(const std::string& name, uint16_t method, uint32_t crc, uint64_t compressed,
                   uint64_t size, size_t offset) {
        appendU32LE(central_, kCentralSignature);
        appendU16LE(central_, 20);
        appendU16LE(central_, 20);
        appendU16LE(central_, 0);
        appendU16LE(central_, method);
        appendU16LE(central_, 0);
        appendU16LE(central_, 0x5C21);
        appendU32LE(central_, crc);
        appendU32LE(central_, static_cast<uint32_t>(compressed));
        appendU32LE(central_, static_cast<uint32_t>(size));
        appendU16LE(central_, static_cast<uint16_t>(name.size()));
        appendU16LE(central_, 0);
        appendU16LE(central_, 0);
        appendU16LE(central_, 0);
        appendU16LE(central_, 0);
        appendU32LE(central_, 0);
        appendU32LE(central_, static_cast<uint32_t>(offset));
        appendBytes(central_, name);
        ++entries_;
    }
    std::vector<uint8_t>& bytes() { return bytes_; }
    std::vector<uint8_t> finish() {
        std::vector<uint8_t> out = bytes_;
        const size_t at = out.size();
        out.insert(out.end(), central_.begin(), central_.end());
        // More entries than the end record can count are counted as its maximum.
        const auto count = static_cast<uint16_t>(std::min<size_t>(entries_, kMaxEndCount));
        appendU32LE(out, kEndSignature);
        appendU16LE(out, 0);
        appendU16LE(out, 0);
        appendU16LE(out, count);
        appendU16LE(out, count);
        appendU32LE(out, static_cast<uint32_t>(central_.size()));
        appendU32LE(out, static_cast<uint32_t>(at));
        appendU16LE(out, 0);
        return out;
    }

  private:
    void add(const std::string& name, uint16_t method, uint32_t crc,
             const std::vector<uint8_t>& data, uint64_t size) {
        const size_t offset = bytes_.size();
        appendLocalHeader(bytes_, name, method, crc, data.size(), size);
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        listEntry(name, method, crc, data.size(), size, offset);
    }

    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> central_;
    size_t entries_ = 0;
};

std::string contentTypes(const std::string& overrides) {
    return std::string(kXmlDecl) +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/word/document.xml\" ContentType=\"" +
           kDocType + "\"/>" + overrides + "</Types>";
}

std::string relationship(const std::string& id, const std::string& type,
                         const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRelNs + "/" + type + "\" Target=\"" +
           target + "\"/>";
}

std::string relationships(const std::string& inner) {
    return std::string(kXmlDecl) + "<Relationships xmlns=\"" + kRelsNs + "\">" + inner +
           "</Relationships>";
}

std::string rootRels() {
    return relationships(relationship("rId1", "officeDocument", "word/document.xml"));
}

std::string documentHead() {
    return std::string(kXmlDecl) + "<w:document xmlns:w=\"" + kWordNs + "\" xmlns:r=\"" + kRelNs +
           "\"><w:body>";
}

const char kDocumentTail[] = "</w:body></w:document>";

std::string paragraph(const std::string& text) {
    return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>";
}

}  // namespace

std::vector<uint8_t> storedHeadersToTheEnd(unsigned factor) {
    const std::string name = "word/document.xml";
    const size_t headerSize = kLocalHeaderSize + name.size();
    const size_t count = factor * kMiB / headerSize;
    // Built from the last header back to the first: each one's data is every later header,
    // whose CRCs and sizes are then known.
    std::vector<std::vector<uint8_t>> headers(count);
    uint32_t crc = 0;  // of the data of the header being built
    uint64_t size = 0;
    for (size_t i = count; i-- > 0;) {
        appendLocalHeader(headers[i], name, kStored, crc, size, size);
        crc = static_cast<uint32_t>(
            crc32_combine(crcOf(headers[i]), crc, static_cast<z_off_t>(size)));
        size += headers[i].size();
    }
    std::vector<uint8_t> out;
    out.reserve(size);
    for (const auto& h : headers)
        out.insert(out.end(), h.begin(), h.end());
    return out;
}

std::vector<uint8_t> overlappingHeadersSharingOneStream(unsigned factor) {
    const size_t count = 2000u * factor;
    const Compressed shared = deflateRepeated("", "a", 1024 * kMiB, "");
    auto nameOf = [](size_t i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "word/part%06zu.xml", i);
        return std::string(buf);
    };
    // Every header has a name of the same length, so each quoted header is equally long.
    const size_t headerSize = kLocalHeaderSize + nameOf(0).size();
    constexpr size_t kQuoteSize = 5;  // a stored block's header: type byte, LEN, NLEN
    // Header i's data: (count - 1 - i) quotes of the following headers, then the shared stream.
    std::vector<uint32_t> crcs(count);
    std::vector<uint64_t> sizes(count), compressed(count);
    std::vector<std::vector<uint8_t>> headers(count);
    uint32_t crc = shared.crc;
    uint64_t size = shared.size;
    uint64_t packed = shared.data.size();
    for (size_t i = count; i-- > 0;) {
        crcs[i] = crc;
        sizes[i] = size;
        compressed[i] = packed;
        appendLocalHeader(headers[i], nameOf(i), kDeflated, crc, packed, size);
        crc = static_cast<uint32_t>(
            crc32_combine(crcOf(headers[i]), crc, static_cast<z_off_t>(size)));
        size += headerSize;
        packed += kQuoteSize + headerSize;
    }
    Archive zip;
    std::vector<uint8_t>& out = zip.bytes();
    for (size_t i = 0; i < count; ++i) {
        zip.listEntry(nameOf(i), kDeflated, crcs[i], compressed[i], sizes[i], out.size());
        out.insert(out.end(), headers[i].begin(), headers[i].end());
        if (i + 1 < count) {
            out.push_back(0x00);  // a stored block, not the last
            appendU16LE(out, static_cast<uint16_t>(headerSize));
            appendU16LE(out, static_cast<uint16_t>(~headerSize));
        }
    }
    out.insert(out.end(), shared.data.begin(), shared.data.end());
    return zip.finish();
}

std::vector<uint8_t> manyEntriesAndRelationships(unsigned factor) {
    const size_t count = 100000u * factor;
    std::string overrides, rels, body;
    Archive zip;
    for (size_t i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        const std::string target = "media/image" + n + ".png";
        overrides += "<Override PartName=\"/word/" + target + "\" ContentType=\"image/png\"/>";
        rels += relationship("rId" + n, "image", target);
        body += "<w:p><w:hyperlink r:id=\"rId" + n + "\"><w:r><w:t>" + n +
                "</w:t></w:r></w:hyperlink></w:p>";
        zip.addStored("word/" + target, "\x89PNG\r\n\x1a\n");
    }
    zip.addDeflated("[Content_Types].xml", contentTypes(overrides));
    zip.addDeflated("_rels/.rels", rootRels());
    zip.addDeflated("word/_rels/document.xml.rels", relationships(rels));
    zip.addDeflated("word/document.xml", documentHead() + body + kDocumentTail);
    return zip.finish();
}

std::vector<uint8_t> hugeRelationshipParts(unsigned factor) {
    const size_t parts = 6u * factor;
    // A real relationship padded with whitespace, which compresses about a thousand to one.
    const std::string head = std::string(kXmlDecl) + "<Relationships xmlns=\"" + kRelsNs + "\">" +
                             relationship("rId1", "officeDocument", "word/document.xml");
    const Compressed big = deflateRepeated(head, " ", 512 * kMiB, "</Relationships>");
    Archive zip;
    zip.addDeflated("[Content_Types].xml", contentTypes(""));
    zip.addDeflated("word/document.xml",
                    documentHead() + paragraph("Behind the relationships.") + kDocumentTail);
    for (size_t i = 0; i < parts; ++i) {
        const std::string name = i == 0   ? "_rels/.rels"
                                 : i == 1 ? "word/_rels/document.xml.rels"
                                          : "word/_rels/part" + std::to_string(i) + ".xml.rels";
        zip.add(name, kDeflated, big);
    }
    return zip.finish();
}

std::vector<uint8_t> tokenFloodPart(unsigned factor) {
    const uint64_t tokens = 90'000'000ull * factor;  // 3 bytes each
    Archive zip;
    zip.addDeflated("[Content_Types].xml", contentTypes(""));
    zip.addDeflated("_rels/.rels", rootRels());
    zip.add("word/document.xml", kDeflated,
            deflateRepeated(documentHead() + paragraph("Before the flood."), "<a>", tokens,
                            kDocumentTail));
    return zip.finish();
}

std::vector<uint8_t> partsThatRewriteToGigabytes(unsigned factor) {
    const size_t parts = 4u * factor;
    // Long paragraphs of one letter compress about a thousand to one.
    const std::string unit = paragraph(std::string(64 * 1024, 'a'));
    const uint64_t units = 256 * kMiB / unit.size();
    std::string overrides, rels;
    Archive zip;
    for (size_t i = 1; i < parts; ++i) {
        const bool header = i % 2 == 1;
        const std::string kind = header ? "header" : "footer";
        const std::string part = kind + std::to_string(i) + ".xml";
        overrides += "<Override PartName=\"/word/" + part +
                     "\" ContentType=\"application/"
                     "vnd.openxmlformats-officedocument.wordprocessingml." +
                     kind + "+xml\"/>";
        rels += relationship("rId" + std::to_string(i), kind, part);
        const std::string root = header ? "w:hdr" : "w:ftr";
        zip.add(
            "word/" + part, kDeflated,
            deflateRepeated(std::string(kXmlDecl) + "<" + root + " xmlns:w=\"" + kWordNs + "\">",
                            unit, units, "</" + root + ">"));
    }
    zip.addDeflated("[Content_Types].xml", contentTypes(overrides));
    zip.addDeflated("_rels/.rels", rootRels());
    zip.addDeflated("word/_rels/document.xml.rels", relationships(rels));
    zip.add("word/document.xml", kDeflated,
            deflateRepeated(documentHead(), unit, units, kDocumentTail));
    return zip.finish();
}

const std::vector<HostileInput>& hostileDocxInputs() {
    static const std::vector<HostileInput> cases = {
        {"stored_headers_to_end", storedHeadersToTheEnd},
        {"overlapping_headers", overlappingHeadersSharingOneStream},
        {"many_entries", manyEntriesAndRelationships},
        {"huge_rels_parts", hugeRelationshipParts},
        {"token_flood", tokenFloodPart},
        {"rewrite_to_gigabytes", partsThatRewriteToGigabytes},
    };
    return cases;
}

}  // namespace morvel::test
