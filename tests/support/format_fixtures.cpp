#include "tests/support/format_fixtures.h"

#include <algorithm>

#include "tests/support/cfb_builder.h"
#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"
#include "tests/support/word_package.h"
#include "tests/support/zip_builder.h"

namespace morvel::test {

namespace {

constexpr uint16_t kFibEncrypted = 0x0100;
constexpr uint16_t kFibObfuscated = 0x8000;

const char16_t* kLetter =
    u"Dear reader, this letter was written to show that every paragraph of it survives.\r"
    u"A second paragraph follows with more words in it.\r";

Word97Builder letterBuilder() {
    Word97Builder b;
    b.text = kLetter;
    return b;
}

std::vector<uint8_t> withText(std::vector<uint8_t> head, const std::string& text) {
    head.insert(head.end(), text.begin(), text.end());
    return head;
}

const std::string kBody = "Dear reader, this letter was written to show its text.\r\n";

}  // namespace

std::vector<uint8_t> word97File() {
    return letterBuilder().buildFile();
}

std::vector<uint8_t> wordFileWithNFib(uint16_t nFib) {
    Word97Builder b = letterBuilder();
    b.nFib = nFib;
    return b.buildFile();
}

std::vector<uint8_t> encryptedWord97File(bool rc4) {
    Word97Builder b = letterBuilder();
    b.flags |= kFibEncrypted;
    if (rc4) {
        // EncryptionVersionInfo 1.1: RC4 encryption.
        b.stsh[0] = 1;
        b.stsh[1] = 0;
        b.stsh[2] = 1;
        b.stsh[3] = 0;
    } else {
        b.flags |= kFibObfuscated;
    }
    return b.buildFile();
}

std::vector<uint8_t> word97WithStrayEncryptedBit() {
    Word97Builder b = letterBuilder();
    b.flags |= kFibEncrypted;
    return b.buildFile();
}

std::vector<uint8_t> workbookFile(bool old) {
    return buildCompoundFile({{old ? "Book" : "Workbook", fillerBytes(6000, 1)},
                              {"\005SummaryInformation", fillerBytes(200, 2)}});
}

std::vector<uint8_t> presentationFile() {
    return buildCompoundFile(
        {{"PowerPoint Document", fillerBytes(6000, 3)}, {"Current User", fillerBytes(60, 4)}});
}

std::vector<uint8_t> encryptedPackageFile() {
    return buildCompoundFile(
        {{"EncryptionInfo", fillerBytes(300, 5)}, {"EncryptedPackage", fillerBytes(9000, 6)}});
}

std::vector<uint8_t> otherCompoundFile() {
    return buildCompoundFile({{"Contents", fillerBytes(5000, 7)}});
}

std::vector<uint8_t> word97WithEmbeddedWorkbook() {
    Word97Builder b = letterBuilder();
    b.extraStreams.push_back({"ObjectPool/_1/Workbook", fillerBytes(5000, 8)});
    return b.buildFile();
}

std::vector<uint8_t> wordPackageFile() {
    return buildWordPackage(wordPackageParts());
}

std::vector<uint8_t> workbookPackageFile() {
    ZipBuilder z;
    z.add("[Content_Types].xml", "<Types/>");
    z.add("_rels/.rels", "<Relationships/>");
    z.add("xl/workbook.xml", "<workbook/>");
    z.add("xl/worksheets/sheet1.xml", "<worksheet/>");
    return z.finish();
}

std::vector<uint8_t> presentationPackageFile() {
    ZipBuilder z;
    z.add("[Content_Types].xml", "<Types/>");
    z.add("ppt/presentation.xml", "<presentation/>");
    return z.finish();
}

std::vector<uint8_t> dosWordFile() {
    std::vector<uint8_t> head = {0x31, 0xBE, 0x00, 0x00, 0x00, 0xAB};
    head.resize(128, 0);
    return withText(head, kBody);
}

std::vector<uint8_t> winWord2File() {
    std::vector<uint8_t> head = {0xDB, 0xA5, 0x2D, 0x00};
    head.resize(384, 0);
    return withText(head, kBody);
}

std::vector<uint8_t> macWordFile() {
    std::vector<uint8_t> head = {0xFE, 0x37, 0x00, 0x23, 0x00, 0x00, 0x00, 0x00};
    head.resize(256, 0);
    return withText(head, kBody);
}

std::vector<uint8_t> rtfFile() {
    return bytesOf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times;}}\\pard Dear reader.\\par}");
}

std::vector<uint8_t> wordXml2003File() {
    return bytesOf(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<?mso-application progid=\"Word.Document\"?>\n"
        "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\">"
        "<w:body><w:p><w:r><w:t>Dear reader.</w:t></w:r></w:p></w:body></w:wordDocument>");
}

std::vector<uint8_t> flatOpcFile() {
    return bytesOf(
        "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
        "<?mso-application progid=\"Word.Document\"?>\n"
        "<pkg:package xmlns:pkg=\"http://schemas.microsoft.com/office/2006/xmlPackage\">"
        "<pkg:part pkg:name=\"/word/document.xml\"/></pkg:package>");
}

std::vector<uint8_t> wordHtmlFile() {
    return bytesOf(
        "<html xmlns:v=\"urn:schemas-microsoft-com:vml\"\n"
        "xmlns:o=\"urn:schemas-microsoft-com:office:office\"\n"
        "xmlns:w=\"urn:schemas-microsoft-com:office:word\">\n"
        "<head><meta name=Generator></head><body><p class=MsoNormal>Dear reader.</p></body>"
        "</html>");
}

std::vector<uint8_t> plainHtmlFile() {
    return bytesOf("\r\n  <!DOCTYPE html>\n<html><body><p>Dear reader.</p></body></html>");
}

std::vector<uint8_t> webArchiveFile() {
    return bytesOf(
        "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"----=_NextPart\"\r\n"
        "\r\n------=_NextPart\r\nContent-Type: text/html\r\n\r\n<html></html>\r\n");
}

std::vector<uint8_t> otherXmlFile() {
    return bytesOf("<?xml version=\"1.0\"?>\n<catalog><book>Dear reader</book></catalog>");
}

std::vector<uint8_t> utf8TextFile() {
    return bytesOf("Dear reader,\r\nthis letter survived \xE2\x80\x94 caf\xC3\xA9.\r\n");
}

std::vector<uint8_t> utf16TextFile(bool littleEndian) {
    const std::u16string text = u"\uFEFFDear reader,\r\nthis letter survived.\r\n";
    std::vector<uint8_t> out;
    for (char16_t c : text) {
        const uint8_t lo = static_cast<uint8_t>(c & 0xFF), hi = static_cast<uint8_t>(c >> 8);
        out.push_back(littleEndian ? lo : hi);
        out.push_back(littleEndian ? hi : lo);
    }
    return out;
}

std::vector<uint8_t> latin1TextFile() {
    return bytesOf("Cher lecteur, voil\xE0 une lettre \xE9\x63rite en fran\xE7\x61is.\r\n");
}

std::vector<uint8_t> noiseFile(size_t n) {
    std::vector<uint8_t> out(n);
    uint32_t x = 0x2545F491u;
    for (uint8_t& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
    }
    return out;
}

std::vector<uint8_t> zeroStart(std::vector<uint8_t> bytes, size_t n) {
    std::fill(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min(n, bytes.size())), 0);
    return bytes;
}

std::vector<uint8_t> prependNoise(const std::vector<uint8_t>& bytes, size_t n) {
    std::vector<uint8_t> out = noiseFile(n);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

std::vector<uint8_t> cutInHalf(std::vector<uint8_t> bytes) {
    bytes.resize(bytes.size() / 2);
    return bytes;
}

}  // namespace morvel::test
