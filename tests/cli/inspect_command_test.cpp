#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/le_reader.h"
#include "tests/support/cli_runner.h"
#include "tests/support/external_tools.h"
#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"
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

// A .doc's graded findings: inspect lists them all, and recover --json carries the refused
// and fatal ones for either format (an empty list for an undamaged document).
TEST(CliInspect, DocFindingsReachInspectAndTheRecoverRecord) {
    test::TempDir dir;
    test::Word97Builder b;
    b.text = std::u16string(2000, u'w') + u"\r";
    const std::vector<uint8_t> intact = b.buildFile();
    std::vector<uint8_t> damaged = intact;
    // The WordDocument entry claims far more bytes than the file holds.
    std::vector<uint8_t> name;
    for (char c : std::string("WordDocument")) {
        name.push_back(static_cast<uint8_t>(c));
        name.push_back(0);
    }
    const size_t entry = static_cast<size_t>(
        std::search(damaged.begin(), damaged.end(), name.begin(), name.end()) - damaged.begin());
    ASSERT_LT(entry, damaged.size());
    writeU32LE(damaged, entry + 0x78, 0x00100000);  // the entry's stream size
    test::writeFile(dir.path() / "intact.doc", intact);
    test::writeFile(dir.path() / "damaged.doc", damaged);
    test::ZipBuilder z;
    z.add("[Content_Types].xml", "<Types/>");
    const size_t at = z.add("word/document.xml", std::string(400, 'w'));
    z.central()[1].crc ^= 1;
    std::vector<uint8_t> zip = z.finish();
    zip[at + 14] ^= 1;  // the local CRC too: no record vouches for the data
    test::writeFile(dir.path() / "crc.docx", zip);

    const std::string cut =
        R"({"grade":"incorrect","message":"stream cut short: its chain ends early")";
    auto r = test::runProgram(MORVEL_CLI_PATH, {"inspect", "damaged.doc"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(cut, r.out.find("\"findings\":[")), std::string::npos) << r.out;

    r = test::runProgram(MORVEL_CLI_PATH,
                         {"recover", "--json", "-o", "out", "intact.doc", "damaged.doc"},
                         dir.path());
    const size_t second = r.out.find("damaged.doc");
    ASSERT_NE(second, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"findings\":[]"), std::string::npos) << r.out;
    EXPECT_GT(r.out.find("\"findings\":[]"), 0u);
    EXPECT_NE(r.out.find("\"findings\":[" + cut + "}]", second), std::string::npos) << r.out;
    // Findings worked around are for inspect; the record keeps what was refused.
    EXPECT_EQ(r.out.find("\"potential\""), std::string::npos) << r.out;

    r = test::runProgram(MORVEL_CLI_PATH, {"recover", "--json", "-o", "out2", "crc.docx"},
                         dir.path());
    EXPECT_NE(
        r.out.find(
            R"("findings":[{"grade":"incorrect","message":"CRC or sizes do not match the data"})"),
        std::string::npos)
        << r.out;
}

}  // namespace
}  // namespace morvel
