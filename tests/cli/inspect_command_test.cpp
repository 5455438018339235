#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/cli_runner.h"
#include "tests/support/external_tools.h"
#include "tests/support/test_files.h"
#include "tests/support/zip_builder.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

TEST(CliInspect, ZipPackageByContentGivesItsGradedFindings) {
    test::TempDir dir;
    test::ZipBuilder zip;
    zip.add("[Content_Types].xml", "<Types/>");
    const size_t at = zip.add("word/document.xml", std::string(400, 'w'));
    zip.central()[1].crc ^= 1;
    std::vector<uint8_t> bytes = zip.finish();
    bytes[at + 14] ^= 1;
    bytes.insert(bytes.begin(), 64, 'x');  // not at the start: found by content anyway
    test::writeFile(dir.path() / "damaged.bin", bytes);

    auto r = test::runProgram(MORVEL_CLI_PATH, {"inspect", "damaged.bin"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* part :
         {"\"format\":\"docx\"", "\"inflateBudgetExhausted\":false",
          "\"entries\":[{\"name\":\"[Content_Types].xml\",\"offset\":64",
          "\"damaged\":[{\"name\":\"word/document.xml\"",
          "\"grade\":\"incorrect\",\"message\":\"CRC or sizes do not match the data\"",
          "\"kind\":\"end\""})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    const std::string python = test::pythonWith("json");
    if (!python.empty()) {
        test::writeFile(dir.path() / "out.json", test::bytesOf(r.out));
        std::string said;
        EXPECT_EQ(test::runCommand(python + " -c 'import json,sys; json.load(open(sys.argv[1]))' " +
                                       test::shellQuote((dir.path() / "out.json").string()),
                                   said),
                  0)
            << said;
    }
}

TEST(CliInspect, CompoundFileHoldingZipBytesIsStillInspectedAsADoc) {
    test::TempDir dir;
    std::vector<uint8_t> bytes = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    bytes.resize(1024, 0);
    const std::vector<uint8_t> inner = test::ZipBuilder().finish();
    bytes.insert(bytes.end(), inner.begin(), inner.end());
    test::writeFile(dir.path() / "a.doc", bytes);
    auto r = test::runProgram(MORVEL_CLI_PATH, {"inspect", "a.doc"}, dir.path());
    EXPECT_EQ(r.out.find("\"format\":\"docx\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"reader\":"), std::string::npos) << r.out;

    // With its header zeroed the bytes no longer tell, and the name breaks the tie.
    // JSON Lines is the default and the only form: --json gives the very same output.
    const auto json = test::runProgram(MORVEL_CLI_PATH, {"inspect", "--json", "a.doc"}, dir.path());
    EXPECT_EQ(json.exitCode, r.exitCode);
    EXPECT_EQ(json.out, r.out);

    std::fill_n(bytes.begin(), 8, 0);
    test::writeFile(dir.path() / "a.doc", bytes);
    r = test::runProgram(MORVEL_CLI_PATH, {"inspect", "a.doc"}, dir.path());
    EXPECT_EQ(r.out.find("\"format\":\"docx\""), std::string::npos) << r.out;
}

}  // namespace
}  // namespace morvel
