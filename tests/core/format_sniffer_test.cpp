#include "core/format_sniffer.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/content_route.h"
#include "tests/support/format_fixtures.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

using F = ContentFormat;

struct SniffCase {
    const char* what;
    std::function<std::vector<uint8_t>()> make;
    ContentFormat format;
    bool damaged = false;
    int64_t offset = 0;  // -1: wherever the first intact header happens to be
};

// Every kind the sniffer tells apart, intact and with the damage real files suffer.
TEST(FormatSniffer, TellsEveryKindByItsBytes) {
    const SniffCase cases[] = {
        {"empty", [] { return std::vector<uint8_t>(); }, F::Empty},
        {"word 97", test::word97File, F::Word97},
        {"word 6.0", [] { return test::wordFileWithNFib(101); }, F::Word6or95},
        {"word 95", [] { return test::wordFileWithNFib(104); }, F::Word6or95},
        {"word 2 in a compound file", [] { return test::wordFileWithNFib(45); }, F::Word2},
        {"word 97, RC4", [] { return test::encryptedWord97File(true); }, F::EncryptedWord},
        {"word 97, XOR", [] { return test::encryptedWord97File(false); }, F::EncryptedWord},
        {"word 97, stray fEncrypted bit", test::word97WithStrayEncryptedBit, F::Word97},
        {"word 97 with an embedded workbook", test::word97WithEmbeddedWorkbook, F::Word97},
        {"workbook", [] { return test::workbookFile(); }, F::ExcelWorkbook},
        {"old workbook", [] { return test::workbookFile(true); }, F::ExcelWorkbook},
        {"presentation", test::presentationFile, F::PowerPoint},
        {"encrypted package", test::encryptedPackageFile, F::EncryptedPackage},
        {"other compound file", test::otherCompoundFile, F::OtherCompoundFile},
        {"word package", test::wordPackageFile, F::WordPackage},
        {"workbook package", test::workbookPackageFile, F::ExcelWorkbook},
        {"presentation package", test::presentationPackageFile, F::PowerPoint},
        {"word for dos", test::dosWordFile, F::WordDos},
        {"word for windows 2.0", test::winWord2File, F::Word2},
        {"word for macintosh", test::macWordFile, F::WordMac},
        {"rtf", test::rtfFile, F::Rtf},
        {"rtf, one byte damaged",
         [] {
             auto b = test::rtfFile();
             b[2] = 'R';
             return b;
         },
         F::Rtf},
        {"wordml 2003", test::wordXml2003File, F::WordXml2003},
        {"flat opc", test::flatOpcFile, F::FlatOpc},
        {"word html", test::wordHtmlFile, F::Html},
        {"plain html", test::plainHtmlFile, F::Html},
        {"web archive", test::webArchiveFile, F::Html},
        {"other xml", test::otherXmlFile, F::OtherXml},
        {"utf-8 text", test::utf8TextFile, F::PlainText},
        {"utf-16le text", [] { return test::utf16TextFile(true); }, F::PlainText},
        {"utf-16be text", [] { return test::utf16TextFile(false); }, F::PlainText},
        {"8-bit text", test::latin1TextFile, F::PlainText},
        {"text with a NUL byte", [] { return test::bytesOf(std::string("a b c\0d e", 9)); },
         F::Unknown},
        {"letters without a space", [] { return test::bytesOf(std::string(3000, 'Z')); },
         F::Unknown},
        {"noise", [] { return test::noiseFile(5000); }, F::Unknown},
        {"zeros", [] { return std::vector<uint8_t>(5000, 0); }, F::Unknown},
        // Damaged containers.
        {"word 97, 1 KiB prepended", [] { return test::prependNoise(test::word97File(), 1024); },
         F::Word97, true, 1024},
        {"word 97, 700 bytes prepended", [] { return test::prependNoise(test::word97File(), 700); },
         F::Word97, true, 700},
        {"word 97, header zeroed", [] { return test::zeroStart(test::word97File(), 512); },
         F::Word97, true},
        {"word 97, signature damaged",
         [] {
             auto b = test::word97File();
             b[1] ^= 0xFF;
             b[6] ^= 0xFF;
             return b;
         },
         F::Word97, true},
        {"word 6.0, header zeroed",
         [] { return test::zeroStart(test::wordFileWithNFib(101), 512); }, F::Word6or95, true},
        {"encrypted word 97, 1 KiB prepended",
         [] { return test::prependNoise(test::encryptedWord97File(true), 1024); }, F::EncryptedWord,
         true, 1024},
        {"encrypted package, header zeroed",
         [] { return test::zeroStart(test::encryptedPackageFile(), 512); }, F::EncryptedPackage,
         true},
        {"presentation, 1 KiB prepended",
         [] { return test::prependNoise(test::presentationFile(), 1024); }, F::PowerPoint, true,
         1024},
        {"rtf, cut in half", [] { return test::cutInHalf(test::rtfFile()); }, F::Rtf},
        {"wordml 2003, cut in half", [] { return test::cutInHalf(test::wordXml2003File()); },
         F::WordXml2003},
        {"word for dos, cut in half", [] { return test::cutInHalf(test::dosWordFile()); },
         F::WordDos},
        {"workbook, header zeroed", [] { return test::zeroStart(test::workbookFile(), 512); },
         F::ExcelWorkbook, true},
        {"word package, 1 KiB prepended",
         [] { return test::prependNoise(test::wordPackageFile(), 1024); }, F::WordPackage, true,
         1024},
        {"word package, start zeroed", [] { return test::zeroStart(test::wordPackageFile(), 512); },
         F::WordPackage, true, -1},
        {"word package, cut in half", [] { return test::cutInHalf(test::wordPackageFile()); },
         F::WordPackage, true},
        {"word package, only its second half",
         [] {
             auto b = test::wordPackageFile();
             return std::vector<uint8_t>(b.begin() + static_cast<ptrdiff_t>(b.size() / 2), b.end());
         },
         F::WordPackage, true, -1},
        {"workbook package, 1 KiB prepended",
         [] { return test::prependNoise(test::workbookPackageFile(), 1024); }, F::ExcelWorkbook,
         true, 1024},
    };
    for (const SniffCase& c : cases) {
        const std::vector<uint8_t> bytes = c.make();
        const FormatSniff s = sniffFormat(bytes);
        EXPECT_EQ(contentFormatName(s.format), contentFormatName(c.format)) << c.what;
        EXPECT_EQ(s.damaged, c.damaged) << c.what;
        if (c.offset >= 0) {
            EXPECT_EQ(s.offset, c.offset) << c.what;
        }
    }
}

// Real documents, intact and damaged, each under the other kind's name: the bytes decide.
TEST(FormatSniffer, CorpusDocumentsIntactAndDamaged) {
    if (test::corpusDir().empty())
        GTEST_SKIP() << "no corpus";
    for (const char* folder : {"doc", "docx"}) {
        for (const auto& path : test::corpusFiles(folder)) {
            const std::string name = path.filename().string();
            const std::vector<uint8_t> bytes = test::readFile(path);
            F expected = std::string(folder) == "doc" ? F::Word97 : F::WordPackage;
            if (name.starts_with("w6_"))
                expected = F::Word6or95;
            if (name == "wordml_as_doc.doc")
                expected = F::WordXml2003;
            EXPECT_EQ(contentFormatName(sniffFormat(bytes).format), contentFormatName(expected))
                << name;
            if (expected == F::WordXml2003)
                continue;
            // Damaged, the file still goes to its engine.
            const EngineRoute engine =
                expected == F::WordPackage ? EngineRoute::Docx : EngineRoute::Doc;
            const std::pair<const char*, std::vector<uint8_t>> damaged[] = {
                {"first 512 bytes zeroed", test::zeroStart(bytes, 512)},
                {"1 KiB prepended", test::prependNoise(bytes, 1024)},
                {"cut in half", test::cutInHalf(bytes)},
            };
            for (const auto& [how, image] : damaged) {
                const FormatSniff s = sniffFormat(image);
                EXPECT_EQ(engineRouteFor(s.format, kFormatUnknown), engine)
                    << name << ", " << how << ": " << contentFormatName(s.format);
                // A compound file cut short keeps a sound header: nothing to see at the start.
                if (engine == EngineRoute::Docx || std::string(how) != "cut in half") {
                    EXPECT_TRUE(s.damaged) << name << ", " << how;
                }
            }
            // A Word 97 file whose header alone is lost is still a Word 97 file.
            if (expected == F::Word97) {
                EXPECT_EQ(contentFormatName(sniffFormat(test::zeroStart(bytes, 512)).format),
                          contentFormatName(F::Word97))
                    << name;
            }
        }
    }
}

}  // namespace
}  // namespace morvel
