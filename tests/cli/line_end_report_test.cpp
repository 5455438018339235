// The command line says when it undid a line-end conversion, in its human line and in the
// JSON record, and leaves the input as it was.
#include <gtest/gtest.h>

#include "tests/support/cli_runner.h"
#include "tests/support/line_end_fixtures.h"
#include "tests/support/test_files.h"
#include "tests/support/word_package.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

TEST(CliLineEnds, TheRepairIsReportedBesideTheResult) {
    test::TempDir dir;
    const std::vector<uint8_t> intact = test::buildWordPackage(test::wordPackageParts());
    const std::vector<uint8_t> received = test::transferAsText(intact, test::TextTransfer::EveryLf);
    test::writeFile(dir.path() / "sent.docx", received);
    test::writeFile(dir.path() / "kept.docx", intact);

    const test::CliResult json = test::runProgram(
        MORVEL_CLI_PATH, {"recover", "--json", "-o", "j", "sent.docx", "kept.docx"}, dir.path());
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const size_t kept = json.out.find("kept.docx");
    ASSERT_NE(kept, std::string::npos);
    const std::string sentLine = json.out.substr(0, json.out.find('\n'));
    EXPECT_NE(sentLine.find("\"repair\":{\"code\":\"line-end-conversion-undone\",\"message\":"
                            "\"line-end conversion undone (LF had become CR LF, "),
              std::string::npos)
        << sentLine;
    EXPECT_EQ(json.out.find("\"repair\"", json.out.find('\n')), std::string::npos);

    const test::CliResult human =
        test::runProgram(MORVEL_CLI_PATH, {"recover", "-o", "h", "sent.docx"}, dir.path());
    EXPECT_EQ(human.exitCode, 0) << human.err;
    EXPECT_NE(human.out.find("sent.docx: recovered"), std::string::npos) << human.out;
    EXPECT_NE(human.out.find("  repair   line-end conversion undone"), std::string::npos)
        << human.out;
    // The recovered package is the intact file's.
    EXPECT_EQ(test::readFile(dir.path() / "h" / "sent_recovered.docx"),
              test::readFile(dir.path() / "j" / "kept_recovered.docx"));
    EXPECT_EQ(test::readFile(dir.path() / "sent.docx"), received);
}

}  // namespace
}  // namespace morvel
