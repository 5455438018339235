#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/cli_runner.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

test::CliResult morvel(const std::vector<std::string>& args, const fs::path& cwd) {
    return test::runProgram(MORVEL_CLI_PATH, args, cwd);
}

// docs/ with two ordinary documents, a template, a ~ file, a .docm and a link loop.
void makeDocs(const fs::path& root) {
    const std::vector<uint8_t> text = test::bytesOf(std::string(1200, 'a') + "\r\n");
    fs::create_directories(root / "docs" / "sub");
    fs::create_directories(root / "docs" / "Templates");
    for (const char* n : {"a.doc", "sub/B.DOC", "Templates/t.doc", "~$x.doc", "c.docm"})
        test::writeFile(root / "docs" / n, text);
    fs::create_directory_symlink("..", root / "docs" / "sub" / "loop");
}

TEST(CliScan, ListsWhatTheSearchFindsWithTheFiltersAsOptions) {
    test::TempDir dir;
    makeDocs(dir.path());
    auto r = morvel({"scan", "docs"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "docs\n  doc   a.doc\ndocs/sub\n  doc   B.DOC\n");

    r = morvel({"scan", "docs/", "--json", "--templates", "--tilde"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const char* part :
         {"\"path\":\"docs/a.doc\"",
          "\"fileName\":\"~$x.doc\",\"format\":\"doc\",\"category\":"
          "\"tilde\"",
          "\"folder\":\"docs/Templates\",\"fileName\":\"t.doc\",\"format\":\"doc\",\"category\":"
          "\"templates\"",
          "\"tableFull\":false"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    EXPECT_EQ(r.out.find("c.docm"), std::string::npos);

    r = morvel({"scan", "missing", "docs/sub"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("missing is not a folder"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "docs/sub\n  doc   B.DOC\n");
    EXPECT_EQ(morvel({"scan"}, dir.path()).exitCode, 64);
}

TEST(CliRecover, AFolderStandsForTheDocumentsFoundInIt) {
    test::TempDir dir;
    makeDocs(dir.path());
    fs::create_directory(dir.path() / "out");
    auto r = morvel({"recover", "docs/", "-o", "out"}, dir.path());
    EXPECT_LE(r.exitCode, 1) << r.err;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path() / "out"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    // Their text has no end, so their filtered texts are empty: those are not written. The
    // results of docs/sub/B.DOC go to out/sub, as the tree is mirrored.
    EXPECT_EQ(names, (std::vector<std::string>{"a_Raw_text.txt", "sub"}));
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "out" / "sub" / "B_Raw_text.txt"));

    fs::create_directory(dir.path() / "empty");
    r = morvel({"recover", "empty", "-o", "out"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no Word documents found in empty"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace morvel
