// morvel recover --text: the best text of each document as NAME_recovered.txt, UTF-8 with LF
// line ends, for every kind of document.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/cli_runner.h"
#include "tests/support/format_fixtures.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& path) {
    const std::vector<uint8_t> bytes = test::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(CliPlainText, TextOfEachKindOfDocument) {
    struct Case {
        const char* name;
        std::function<std::vector<uint8_t>()> make;
        const char* txt;       // the plain text written
        const char* contains;  // or, when txt is empty, a part of it
        int exit = 0;          // a converted document's plain Word document is text only
    } cases[] = {
        {"letter.doc", test::word97File,
         "Dear reader, this letter was written to show that every paragraph of it survives.\n"
         "A second paragraph follows with more words in it.\n",
         ""},
        {"package.docx", test::wordPackageFile, "",
         "Alpha title\nBravo paragraph\n\nCharlie chart\n"},
        {"notes.rtf",
         [] {
             return test::bytesOf(
                 "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}{\\*\\generator x;}"
                 "Caf\\'e9 one\\par two\\tab three\\line four\\par}");
         },
         "Caf\xC3\xA9 one\ntwo\tthree\nfour\n", "", 1},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        test::writeFile(dir.path() / c.name, c.make());
        const auto r = test::runProgram(
            MORVEL_CLI_PATH, {"recover", "--text", "--json", c.name, "-o", "out"}, dir.path());
        EXPECT_EQ(r.exitCode, c.exit) << c.name << "\n" << r.out << r.err;
        const std::string stem = fs::path(c.name).stem().string();
        const fs::path txt = dir.path() / "out" / (stem + "_recovered.txt");
        ASSERT_TRUE(fs::exists(txt)) << c.name << "\n" << r.out;
        const std::string text = fileText(txt);
        if (*c.txt)
            EXPECT_EQ(text, c.txt) << c.name;
        else
            EXPECT_EQ(text.rfind(c.contains, 0), 0u) << c.name << "\n" << text;
        EXPECT_EQ(text.find('\r'), std::string::npos) << c.name;
        EXPECT_NE(
            r.out.find("{\"kind\":\"plain-text\",\"path\":\"out/" + stem + "_recovered.txt\""),
            std::string::npos)
            << c.name << "\n"
            << r.out;
    }
}

// Without --text no plain text is written; with it, two documents that share a name stem
// (whose other results differ) get numbered plain text names, and a resumed run finds them.
TEST(CliPlainText, NamesAndResumes) {
    test::TempDir dir;
    test::writeFile(dir.path() / "report.doc", test::word97File());
    test::writeFile(dir.path() / "report.docx", test::wordPackageFile());
    auto r =
        test::runProgram(MORVEL_CLI_PATH, {"recover", "report.doc", "-o", "plain"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "plain" / "report_recovered.txt"));

    r = test::runProgram(MORVEL_CLI_PATH,
                         {"recover", "--text", "report.doc", "report.docx", "-o", "out"},
                         dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(fileText(dir.path() / "out" / "report_recovered.txt").rfind("Dear reader", 0), 0u);
    EXPECT_EQ(fileText(dir.path() / "out" / "report (2)_recovered.txt").rfind("Alpha title", 0),
              0u);
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "report (2)_recovered.docx"));

    r = test::runProgram(MORVEL_CLI_PATH,
                         {"recover", "--text", "--skip-existing", "--json", "report.doc",
                          "report.docx", "-o", "out"},
                         dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("\"skipped\":true"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("{\"kind\":\"plain-text\",\"path\":\"out/report (2)_recovered.txt\""),
              std::string::npos)
        << r.out;
}

}  // namespace
}  // namespace morvel
