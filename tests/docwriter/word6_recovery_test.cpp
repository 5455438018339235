// Word 6.0/95 and Word 1.x/2.0 documents: their text is read and written as a plain Word 97
// document, the full document of their recovery.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "docwriter/recover_doc_file.h"
#include "platform/le_reader.h"
#include "tests/support/cfb_builder.h"
#include "tests/support/external_tools.h"
#include "tests/support/test_files.h"
#include "tests/support/word6_builder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> utf16le(const std::u16string& s) {
    std::vector<uint8_t> out;
    for (char16_t c : s)
        appendU16LE(out, static_cast<uint16_t>(c));
    return out;
}

bool holds(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

std::vector<uint8_t> wipedFibFile() {
    test::Word6Builder b{"A document whose FIB was wiped still has its text here.\r"};
    std::vector<uint8_t> stream = b.buildStream();
    std::fill(stream.begin(), stream.begin() + 0x200, 0);
    return test::buildCompoundFile({{"WordDocument", stream}});
}

struct Case {
    const char* name;
    std::vector<uint8_t> file;
    std::u16string text;  // expected in the written document, as UTF-16
    int version;
};

std::vector<Case> documents() {
    return {
        {"western", test::Word6Builder{"Caf\xE9 au lait, cr\xE8me br\xFBl\xE9\x65.\r"}.buildFile(),
         u"Café au lait, crème brûlée.", 6},
        {"russian_fast_saved",
         test::Word6Builder{"\xC4\xEE\xE1\xF0\xFB\xE9 \xE4\xE5\xED\xFC, \xEC\xE8\xF0.\r", 104,
                            0x0419, true}
             .buildFile(),
         u"Добрый день, мир.", 7},
        {"word2", test::word2File("Word 2 na\xEFvet\xE9 survives.\r"), u"Word 2 naïveté survives.",
         0},
        {"wiped_fib", wipedFibFile(), u"A document whose FIB was wiped still has its text here.",
         -1},
    };
}

TEST(Word6Recovery, TextIsWrittenAsAPlainDocument) {
    for (const Case& c : documents()) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> document;
        DocContext ctx;
        RecoverDocFindings findings;
        const RecoveryResult r = RecoverDocFile(c.file, document, ctx, &findings);
        EXPECT_EQ(r.code, kRecoverDocTextOnly) << r.message;
        EXPECT_EQ(findings.version, c.version);
        EXPECT_TRUE(holds(document, utf16le(c.text)));
        // Inspection gives the same code without building anything.
        DocContext inspectCtx;
        RecoverDocFindings inspected;
        EXPECT_EQ(InspectDocFile(c.file, inspectCtx, inspected), kRecoverDocTextOnly);
    }
}

// A Word 6.0 stream without a readable letter gets no document: code 52, as before.
TEST(Word6Recovery, NoReadableTextBuildsNothing) {
    test::Word6Builder b{"\x01\x07\r\r"};
    std::vector<uint8_t> document{1, 2, 3};
    const RecoveryResult r = RecoverDocFile(b.buildFile(), document, nullptr);
    EXPECT_EQ(r.code, kRecoverDocNotWord97);
    EXPECT_TRUE(document.empty());
}

// The written documents open in LibreOffice with the text, accented letters included.
TEST(Word6Recovery, WrittenDocumentsOpenInLibreOffice) {
    if (!test::haveProgram("soffice"))
        GTEST_SKIP() << "LibreOffice is not installed";
    test::TempDir tmp;
    std::string paths;
    const std::vector<Case> cases = documents();
    for (const Case& c : cases) {
        std::vector<uint8_t> document;
        ASSERT_EQ(RecoverDocFile(c.file, document, nullptr).code, kRecoverDocTextOnly);
        const fs::path path = tmp.path() / (std::string(c.name) + ".doc");
        test::writeFile(path, document);
        paths += " " + test::shellQuote(path.string());
    }
    std::string out;
    const std::string profile = "file://" + (tmp.path() / "profile").string();
    ASSERT_EQ(
        test::runCommand("timeout 600 soffice -env:UserInstallation=" + test::shellQuote(profile) +
                             " --headless --convert-to txt:Text --outdir " +
                             test::shellQuote(tmp.path().string()) + paths + " 2>&1",
                         out),
        0)
        << out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> txt =
            test::readFile(tmp.path() / (std::string(c.name) + ".txt"));
        std::string expected;
        for (char16_t u : c.text) {
            // The expected text as UTF-8 (no characters beyond the BMP here).
            if (u < 0x80) {
                expected += static_cast<char>(u);
            } else if (u < 0x800) {
                expected += static_cast<char>(0xC0 | (u >> 6));
                expected += static_cast<char>(0x80 | (u & 0x3F));
            } else {
                expected += static_cast<char>(0xE0 | (u >> 12));
                expected += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                expected += static_cast<char>(0x80 | (u & 0x3F));
            }
        }
        EXPECT_NE(std::string(txt.begin(), txt.end()).find(expected), std::string::npos);
    }
}

TEST(Word6Recovery, CorpusWord6Document) {
    const fs::path corpus = test::corpusDir();
    const fs::path file = corpus / "doc" / "w6_testword6.doc";
    if (corpus.empty() || !fs::exists(file))
        GTEST_SKIP() << "no corpus";
    std::vector<uint8_t> document;
    DocContext ctx;
    RecoverDocFindings findings;
    const RecoveryResult r = RecoverDocFile(test::readFile(file), document, ctx, &findings);
    EXPECT_EQ(r.code, kRecoverDocTextOnly) << r.message;
    EXPECT_EQ(findings.version, 6);
    EXPECT_TRUE(holds(document, utf16le(u"The quick brown fox jumps over the lazy dog\r")));
}

}  // namespace
}  // namespace morvel
