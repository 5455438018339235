#include "core/content_route.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/document_format.h"
#include "core/recovery_driver.h"
#include "core/template_store_cache.h"
#include "tests/support/format_fixtures.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;
using F = ContentFormat;

constexpr const char* kPassword =
    "password-protected document: it cannot be read without its password";

// The engine and the reason of each kind, under each kind of name.
TEST(ContentRoute, EngineAndReasonOfEveryKind) {
    struct Case {
        ContentFormat content;
        uint16_t name;
        EngineRoute route;
        const char* code;  // "" when the engine's own result gives the reason
        const char* withText;
        const char* withoutText;
    } cases[] = {
        {F::Word97, kFormatDocx, EngineRoute::Doc, "", "", ""},
        {F::WordPackage, kFormatDoc, EngineRoute::Docx, "", "", ""},
        {F::OtherCompoundFile, kFormatUnknown, EngineRoute::Doc, "", "", ""},
        {F::Unknown, kFormatDoc, EngineRoute::Doc, "", "", ""},
        {F::Unknown, kFormatDocx, EngineRoute::Docx, "", "", ""},
        {F::Unknown, kFormatUnknown, EngineRoute::Refused, "unknown-format",
         "unknown file format: not a Word document", "unknown file format: not a Word document"},
        {F::Empty, kFormatDocx, EngineRoute::Doc, "empty-file", "the file is empty",
         "the file is empty"},
        {F::Word6or95, kFormatDoc, EngineRoute::Doc, "word6-95",
         "Word 6.0/95 document: no full document; text recovered",
         "Word 6.0/95 document: no full document; no text found"},
        {F::Word2, kFormatDoc, EngineRoute::Doc, "word2",
         "Word 1.x/2.0 document: no full document; text recovered",
         "Word 1.x/2.0 document: no full document; no text found"},
        {F::WordDos, kFormatUnknown, EngineRoute::Doc, "word-dos",
         "Word for DOS document: no full document; text recovered",
         "Word for DOS document: no full document; no text found"},
        {F::WordMac, kFormatDoc, EngineRoute::Doc, "word-mac",
         "Word for Macintosh document: no full document; text recovered",
         "Word for Macintosh document: no full document; no text found"},
        {F::EncryptedWord, kFormatDoc, EngineRoute::Refused, "password-protected", kPassword,
         kPassword},
        {F::EncryptedPackage, kFormatDocx, EngineRoute::Refused, "password-protected", kPassword,
         kPassword},
        {F::ExcelWorkbook, kFormatDoc, EngineRoute::Refused, "excel-workbook",
         "Excel workbook, not a Word document", "Excel workbook, not a Word document"},
        {F::PowerPoint, kFormatDocx, EngineRoute::Refused, "powerpoint-presentation",
         "PowerPoint presentation, not a Word document",
         "PowerPoint presentation, not a Word document"},
        {F::Rtf, kFormatDoc, EngineRoute::Text, "rtf-document",
         "RTF document: it is not a Word binary; text recovered",
         "RTF document: it is not a Word binary; no text converter for it yet"},
        {F::Html, kFormatDoc, EngineRoute::Text, "html-document",
         "HTML document: it is not a Word binary; text recovered",
         "HTML document: it is not a Word binary; no text converter for it yet"},
        {F::WordXml2003, kFormatDoc, EngineRoute::Text, "word-xml-2003",
         "WordprocessingML 2003 XML document: it is not a Word binary; text recovered",
         "WordprocessingML 2003 XML document: it is not a Word binary; no text converter for it "
         "yet"},
        {F::FlatOpc, kFormatDocx, EngineRoute::Text, "flat-opc-xml",
         "Flat OPC XML document: it is not a Word binary; text recovered",
         "Flat OPC XML document: it is not a Word binary; no text converter for it yet"},
        {F::OtherXml, kFormatUnknown, EngineRoute::Text, "xml-document",
         "XML document: it is not a Word binary; text recovered",
         "XML document: it is not a Word binary; no text converter for it yet"},
        {F::PlainText, kFormatDoc, EngineRoute::Doc, "plain-text",
         "plain text file: it is not a Word binary; text recovered",
         "plain text file: no text found"},
        {F::PlainText, kFormatDocx, EngineRoute::Docx, "", "", ""},
        {F::PlainText, kFormatUnknown, EngineRoute::Refused, "plain-text",
         "plain text file, not a Word document", "plain text file, not a Word document"},
    };
    for (const Case& c : cases) {
        const std::string what =
            std::string(contentFormatName(c.content)) + " named as " + std::to_string(c.name);
        EXPECT_EQ(engineRouteFor(c.content, c.name), c.route) << what;
        for (bool text : {true, false}) {
            const std::optional<ContentReason> r = contentReason(c.content, c.name, text);
            if (*c.code == 0) {
                EXPECT_FALSE(r.has_value()) << what;
                continue;
            }
            ASSERT_TRUE(r.has_value()) << what;
            EXPECT_EQ(r->code, c.code) << what;
            EXPECT_EQ(r->message, text ? c.withText : c.withoutText) << what;
        }
    }
}

class RecordingErrors : public ErrorReport {
  public:
    void showError(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// Files of every kind under misleading names, through the driver: each reaches its engine,
// its results carry its real format, and every file without a full document says why.
TEST(ContentRoute, DriverRoutesByContentWhateverTheName) {
    struct Case {
        const char* name;
        std::function<std::vector<uint8_t>()> make;
        uint16_t format;  // the record's format afterwards
        bool full, text, success;
        const char* shown;   // the one error shown, or ""
        const char* reason;  // the reason code, or "" for none
    } cases[] = {
        {"package.doc", test::wordPackageFile, kFormatDocx, true, true, true, "", ""},
        {"package.bin", test::wordPackageFile, kFormatDocx, true, true, true, "", ""},
        {"binary.docx", test::word97File, kFormatDoc, true, true, true, "", ""},
        {"headless.doc", [] { return test::zeroStart(test::word97File(), 512); }, kFormatDoc, true,
         true, true, "", ""},
        {"sheet.doc", [] { return test::workbookFile(); }, kFormatDoc, false, false, false,
         "Excel workbook, not a Word document", "excel-workbook"},
        {"slides.docx", test::presentationPackageFile, kFormatDocx, false, false, false,
         "PowerPoint presentation, not a Word document", "powerpoint-presentation"},
        {"locked.docx", test::encryptedPackageFile, kFormatDocx, false, false, false, kPassword,
         "password-protected"},
        {"locked.doc", [] { return test::encryptedWord97File(true); }, kFormatDoc, false, false,
         false, kPassword, "password-protected"},
        {"rich.doc", test::rtfFile, kFormatDoc, false, false, false,
         "RTF document: it is not a Word binary; no text converter for it yet", "rtf-document"},
        {"page.docx", test::wordHtmlFile, kFormatDoc, false, false, false,
         "HTML document: it is not a Word binary; no text converter for it yet", "html-document"},
        // A Word 6.0 document's text is kept as a plain document too; the reason stands.
        {"old.doc", [] { return test::wordFileWithNFib(101); }, kFormatDoc, true, true, true, "",
         "word6-95"},
        {"dos.doc", test::dosWordFile, kFormatDoc, false, true, true, "", "word-dos"},
        {"letter.doc", test::utf8TextFile, kFormatDoc, false, true, true, "", "plain-text"},
        {"notes.txt", test::utf8TextFile, kFormatUnknown, false, false, false,
         "Error: unknown file format!", "plain-text"},
    };
    test::TempDir program;
    fs::copy_file(MORVEL_TEMPLATE_STORE, program.path() / kTemplateStoreName);
    TemplateStoreCache cache;
    for (const Case& c : cases) {
        test::TempDir dir;
        test::writeFile(dir.path() / c.name, c.make());
        ProgressModel progress;
        RecordingErrors errors;
        RecoveryEnvironment env;
        env.workingFolder = dir.path();
        env.programFolder = program.path();
        env.progress = &progress;
        env.errors = &errors;
        env.templates = &cache;
        DocumentRecord rec;
        rec.fileName = c.name;
        rec.folder = dir.path().string();
        rec.format = formatFromFileName(c.name);
        RecoverDocument(rec, env);

        EXPECT_EQ(rec.format, c.format) << c.name;
        EXPECT_EQ(rec.fullData.has_value(), c.full) << c.name;
        EXPECT_EQ(rec.fullFailed != 0, !c.full) << c.name;
        EXPECT_EQ(rec.rawText.has_value() || rec.filteredData.has_value(), c.text) << c.name;
        EXPECT_EQ(rec.success != 0, c.success) << c.name;
        if (*c.shown) {
            ASSERT_EQ(errors.shown.size(), 1u) << c.name;
            EXPECT_EQ(errors.shown[0], c.shown) << c.name;
        } else {
            EXPECT_TRUE(errors.shown.empty()) << c.name << ": " << errors.shown.front();
        }
        const std::optional<ContentReason> why = contentReasonOf(rec);
        EXPECT_EQ(why ? why->code : "", c.reason) << c.name;
        // Nothing that holds no text is offered as text.
        if (!c.text) {
            EXPECT_FALSE(rec.resultsReady) << c.name;
        }
    }
}

}  // namespace
}  // namespace morvel
