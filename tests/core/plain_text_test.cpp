#include "core/plain_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/content_route.h"
#include "core/document_format.h"
#include "core/recovery_driver.h"
#include "core/template_store_cache.h"
#include "docwriter/recover_doc_file.h"
#include "platform/progress.h"
#include "tests/support/format_fixtures.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

class SilentErrors : public ErrorReport {
  public:
    void showError(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// Recovers one file of the given name and bytes through the driver.
DocumentRecord recovered(const std::string& name, const std::vector<uint8_t>& bytes) {
    test::TempDir program;
    fs::copy_file(MORVEL_TEMPLATE_STORE, program.path() / kTemplateStoreName);
    TemplateStoreCache cache;
    test::TempDir dir;
    test::writeFile(dir.path() / name, bytes);
    ProgressModel progress;
    SilentErrors errors;
    RecoveryEnvironment env;
    env.workingFolder = dir.path();
    env.programFolder = program.path();
    env.progress = &progress;
    env.errors = &errors;
    env.templates = &cache;
    DocumentRecord rec;
    rec.fileName = name;
    rec.folder = dir.path().string();
    rec.format = formatFromFileName(name);
    RecoverDocument(rec, env);
    return rec;
}

std::string filteredText(const DocumentRecord& rec) {
    if (!rec.filteredData)
        return {};
    std::string t(rec.filteredData->begin(), rec.filteredData->end());
    if (!t.empty() && t.back() == '\0')
        t.pop_back();
    return t;
}

// A converted document gets its text as the filtered result and as a plain Word 97 document
// (the full result, with a text-only document's code) whose text reads back the same; the
// plain text result is that text with line ends.
TEST(PlainText, ConvertedDocumentsBecomePlainWordDocuments) {
    struct Case {
        const char* name;
        std::string source;
        const char* text;  // the plain text, line breaks as line ends
    } cases[] = {
        {"letter.doc",
         "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 Arial;}}{\\info{\\title Hidden}}"
         "\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 caf\\u233? \\par second\\line line\\tab tab\\par}",
         "\u041F\u0440\u0438\u0432\u0435\u0442 caf\u00E9 \nsecond\nline\ttab\n"},
        {"page.doc",
         "<html><head><meta charset=\"utf-8\"><style>p{}</style></head><body><p>One "
         "&amp; \xE2\x82\xAC</p><p>Two</p></body></html>",
         "One & \u20AC\nTwo\n"},
        {"web.doc",
         "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"b\"\r\n\r\n--b\r\n"
         "Content-Type: text/html; charset=\"windows-1252\"\r\nContent-Transfer-Encoding: "
         "quoted-printable\r\n\r\n<p>caf=E9</p>\r\n--b--\r\n",
         "caf\u00E9\n"},
        {"flat.docx",
         "<?xml version=\"1.0\"?><?mso-application progid=\"Word.Document\"?><pkg:package "
         "xmlns:pkg=\"http://schemas.microsoft.com/office/2006/xmlPackage\"><pkg:part "
         "pkg:name=\"/word/document.xml\"><pkg:xmlData><w:document><w:body><w:p><w:r><w:t>Flat"
         "</w:t></w:r></w:p></w:body></w:document></pkg:xmlData></pkg:part></pkg:package>",
         "Flat\n"},
    };
    for (const Case& c : cases) {
        const DocumentRecord rec = recovered(c.name, test::bytesOf(c.source));
        ASSERT_TRUE(rec.success) << c.name;
        EXPECT_EQ(rec.format, kFormatDoc) << c.name;
        ASSERT_TRUE(rec.fullData.has_value()) << c.name;
        EXPECT_EQ(rec.fullFailed, 0) << c.name;
        EXPECT_EQ(rec.fullResult.code, kRecoverDocTextOnly) << c.name;
        EXPECT_EQ(filteredText(rec) + "\n", c.text) << c.name;
        EXPECT_EQ(word97PlainText(*rec.fullData), c.text) << c.name;
        EXPECT_EQ(PlainTextOf(rec), c.text) << c.name;
        const std::optional<ContentReason> why = contentReasonOf(rec);
        ASSERT_TRUE(why.has_value()) << c.name;
        EXPECT_NE(why->message.find("text recovered"), std::string::npos) << c.name;
    }
}

// Word documents give the text of their full result: the rebuilt .doc's text, the rebuilt
// package's main document.
TEST(PlainText, WordDocumentsGiveTheirFullResultsText) {
    const DocumentRecord doc = recovered("letter.doc", test::word97File());
    ASSERT_TRUE(doc.fullData.has_value());
    EXPECT_EQ(PlainTextOf(doc),
              "Dear reader, this letter was written to show that every paragraph of it "
              "survives.\nA second paragraph follows with more words in it.\n");

    const DocumentRecord docx = recovered("package.docx", test::wordPackageFile());
    ASSERT_TRUE(docx.fullData.has_value());
    EXPECT_EQ(PlainTextOf(docx),
              "Alpha title\nBravo paragraph\n\nCharlie chart\n\nDelta link\nEcho closing "
              "words\n");

    // Without a full document, a .doc gives the text its text steps found.
    DocumentRecord textOnly = doc;
    textOnly.fullData.reset();
    textOnly.fullLength = 0;
    EXPECT_NE(PlainTextOf(textOnly).find("Dear reader"), std::string::npos);

    // Nothing recovered gives nothing.
    EXPECT_EQ(PlainTextOf(DocumentRecord{}), "");
}

}  // namespace
}  // namespace morvel
