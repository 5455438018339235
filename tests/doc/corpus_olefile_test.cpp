#include <gtest/gtest.h>

#include "tests/support/external_tools.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

// Every corpus document: the streams `morvel inspect` reports match python3-olefile's, and
// with the first 512 bytes zeroed the WordDocument, table and Data streams still come out
// with the same bytes.
TEST(CorpusAgainstOlefile, IntactAndHeaderZeroed) {
    std::vector<std::filesystem::path> files = test::corpusFiles("doc");
    if (files.empty())
        GTEST_SKIP() << "no corpus";
    const std::string python = test::pythonWith("olefile");
    if (python.empty())
        GTEST_SKIP() << "python3-olefile is not installed";
    test::TempDir tmp;
    const std::string script = std::string(MORVEL_TEST_DIR) + "/compare_with_olefile.py";
    int compared = 0;
    for (const auto& f : files) {
        SCOPED_TRACE(f.string());
        std::vector<uint8_t> bytes = test::readFile(f);
        if (bytes.size() < 512)
            continue;
        std::fill(bytes.begin(), bytes.begin() + 512, 0);
        const std::filesystem::path zeroed = tmp.path() / f.filename();
        test::writeFile(zeroed, bytes);
        const std::string base = python + " " + test::shellQuote(script) + " " +
                                 test::shellQuote(MORVEL_CLI) + " " + test::shellQuote(f);
        std::string out;
        int rc = test::runCommand(base + " 2>&1", out);
        if (rc == 77)
            continue;  // olefile itself cannot read it (not a compound file)
        EXPECT_EQ(rc, 0) << out;
        rc = test::runCommand(base + " " + test::shellQuote(zeroed) + " 2>&1", out);
        EXPECT_EQ(rc, 0) << "header zeroed: " << out;
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace morvel
