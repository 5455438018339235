// The command line reads every file by its bytes: the engine, the names of the results and
// the reason given come from what the file is, not from its extension.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/cli_runner.h"
#include "tests/support/format_fixtures.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

TEST(CliFormatRouting, EachFileByItsBytes) {
    struct Case {
        const char* name;
        std::function<std::vector<uint8_t>()> make;
        int exit;
        const char* line;                           // expected in the human output
        const char* json;                           // expected in the --json output
        const char* written;                        // a result file expected, or ""
        const char* format = "\"format\":\"doc\"";  // the results' format in --json
    } cases[] = {
        {"letter.doc", test::wordPackageFile, 0, "letter.doc: recovered", "\"content\":\"docx\"",
         "letter_recovered.docx", "\"format\":\"docx\""},
        {"memo.docx", test::word97File, 0, "memo.docx: recovered", "\"content\":\"word97\"",
         "memo_recovered.doc"},
        {"sheet.doc", [] { return test::workbookFile(); }, 2,
         "sheet.doc: failed: Excel workbook, not a Word document",
         "\"reason\":{\"code\":\"excel-workbook\",\"message\":\"Excel workbook, not a Word "
         "document\"}",
         ""},
        {"locked.doc", [] { return test::encryptedWord97File(false); }, 2,
         "locked.doc: failed: password-protected document: it cannot be read without its "
         "password",
         "\"reason\":{\"code\":\"password-protected\"", ""},
        {"rich.doc", test::rtfFile, 1,
         "rich.doc: text only: RTF document: it is not a Word binary; text recovered",
         "\"content\":\"rtf\"", "rich_recovered.doc"},
        {"old.doc", [] { return test::wordFileWithNFib(104); }, 1,
         "old.doc: text only: Word 6.0/95 document: no full document; text recovered",
         "\"reason\":{\"code\":\"word6-95\",\"message\":\"Word 6.0/95 document: no full "
         "document; text recovered\"}",
         "old_Raw_text.txt"},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        test::writeFile(dir.path() / c.name, c.make());
        auto r = test::runProgram(MORVEL_CLI_PATH, {"recover", c.name, "-o", "out"}, dir.path());
        EXPECT_EQ(r.exitCode, c.exit) << c.name << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.name << "\n" << r.out;
        // The reason stands on the result line, once.
        const size_t at = r.out.find(c.line);
        EXPECT_EQ(r.out.find(c.line, at + 1), std::string::npos) << c.name << "\n" << r.out;
        if (*c.written) {
            EXPECT_TRUE(fs::exists(dir.path() / "out" / c.written)) << c.name;
        } else {
            EXPECT_TRUE(fs::is_empty(dir.path() / "out")) << c.name;
        }
        r = test::runProgram(MORVEL_CLI_PATH, {"recover", "--json", "--force", c.name, "-o", "j"},
                             dir.path());
        EXPECT_NE(r.out.find(c.json), std::string::npos) << c.name << "\n" << r.out;
        EXPECT_NE(r.out.find(c.format), std::string::npos) << c.name << "\n" << r.out;
    }
}

// A corpus Word 6.0 document renamed, and a corpus package renamed as a .doc.
TEST(CliFormatRouting, RenamedCorpusDocuments) {
    const fs::path corpus = test::corpusDir();
    if (corpus.empty() || !fs::exists(corpus / "doc" / "w6_testword6.doc"))
        GTEST_SKIP() << "no corpus";
    test::TempDir dir;
    fs::copy_file(corpus / "doc" / "w6_testword6.doc", dir.path() / "six.docx");
    const auto packages = test::corpusFiles("docx");
    ASSERT_FALSE(packages.empty());
    fs::copy_file(packages.back(), dir.path() / "pkg.doc");
    auto r = test::runProgram(MORVEL_CLI_PATH, {"recover", "six.docx", "pkg.doc", "-o", "out"},
                              dir.path());
    EXPECT_NE(r.out.find("six.docx: text only: Word 6.0/95 document: no full document; text "
                         "recovered"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "six_Raw_text.txt"));
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "pkg_recovered.docx"));
    EXPECT_FALSE(fs::exists(dir.path() / "out" / "pkg_Raw_text.txt"));
}

}  // namespace
}  // namespace morvel
