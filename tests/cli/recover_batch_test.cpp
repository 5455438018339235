// recover over many documents: where their results go, what --force, --skip-existing and
// --files-from do, how much is printed, and paths that are not UTF-8.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/cli_runner.h"
#include "tests/support/external_tools.h"
#include "tests/support/test_files.h"
#include "tests/support/word_package.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

test::CliResult morvel(const std::vector<std::string>& args, const fs::path& cwd) {
    return test::runProgram(MORVEL_CLI_PATH, args, cwd);
}

// A .doc-named text file whose raw text is exactly `letter` repeated, so results can be told
// apart by their document.
std::vector<uint8_t> textDoc(char letter) {
    std::vector<uint8_t> bytes = test::bytesOf(std::string(1200, letter) + "\r\n");
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// Writes a file, making its folders.
void put(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    test::writeFile(path, bytes);
}

// What a text result holds, shortened to a label: "a" for the text of textDoc('a'), the text
// itself for anything else.
std::string text(const fs::path& p) {
    if (!fs::exists(p))
        return "(missing)";
    const auto bytes = test::readFile(p);
    const std::string s(bytes.begin(), bytes.end());
    if (s.size() == 1202 && s.find_first_not_of(s[0]) == 1200 && s.substr(1200) == "\r\n")
        return std::string(1, s[0]);
    return s;
}

std::string rawOf(char letter) {
    return std::string(1, letter);
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    for (size_t from = 0, end; (end = s.find('\n', from)) != std::string::npos; from = end + 1)
        out.push_back(s.substr(from, end - from));
    return out;
}

// Two folders holding documents of the same name, one more in a subfolder, and two file
// arguments of the same name: each document keeps results of its own and none fails.
TEST(CliRecoverBatch, ResultsMirrorTheTreeAndSameNamesAreNumbered) {
    test::TempDir dir;
    put(dir.path() / "a" / "report.doc", textDoc('a'));
    put(dir.path() / "a" / "x" / "report.doc", textDoc('x'));
    put(dir.path() / "b" / "report.doc", textDoc('b'));
    put(dir.path() / "c" / "report.doc", textDoc('c'));
    put(dir.path() / "d" / "report.doc", textDoc('d'));
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "--force" : "without --force");
        fs::remove_all(dir.path() / "out");
        std::vector<std::string> args = {"recover", "-o",           "out",         "a",
                                         "b",       "c/report.doc", "d/report.doc"};
        if (force)
            args.push_back("--force");
        const auto r = morvel(args, dir.path());
        EXPECT_EQ(r.exitCode, 1) << r.err;  // text only, nothing failed
        EXPECT_EQ(r.err.find("exists"), std::string::npos) << r.err;
        const fs::path out = dir.path() / "out";
        EXPECT_EQ(text(out / "report_Raw_text.txt"), rawOf('a'));
        EXPECT_EQ(text(out / "x" / "report_Raw_text.txt"), rawOf('x'));
        EXPECT_EQ(text(out / "report (2)_Raw_text.txt"), rawOf('b'));
        EXPECT_EQ(text(out / "report (2)_Filtered_text.txt"), rawOf('b'));
        EXPECT_EQ(text(out / "report (3)_Raw_text.txt"), rawOf('c'));
        EXPECT_EQ(text(out / "report (4)_Raw_text.txt"), rawOf('d'));
    }
}

// --force replaces what an earlier run left under the names a document maps to, and a rerun
// maps each document to the same names again; it never replaces a result of the same run.
TEST(CliRecoverBatch, ForceReplacesOnlyResultsOfAnEarlierRun) {
    test::TempDir dir;
    put(dir.path() / "a" / "report.doc", textDoc('a'));
    put(dir.path() / "b" / "report.doc", textDoc('b'));
    put(dir.path() / "out" / "report_Raw_text.txt", test::bytesOf("stale"));
    put(dir.path() / "out" / "report (2)_Raw_text.txt", test::bytesOf("stale"));
    auto r = morvel({"recover", "-f", "-o", "out", "a/report.doc", "b/report.doc"}, dir.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(text(dir.path() / "out" / "report_Raw_text.txt"), rawOf('a'));
    EXPECT_EQ(text(dir.path() / "out" / "report (2)_Raw_text.txt"), rawOf('b'));
    r = morvel({"recover", "-f", "-o", "out", "a/report.doc", "b/report.doc"}, dir.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "out" / "report (3)_Raw_text.txt"));
    EXPECT_EQ(text(dir.path() / "out" / "report (2)_Raw_text.txt"), rawOf('b'));
}

// Two names of one file (here through a folder link in the output tree, as on a file system
// that ignores case): the second document is numbered instead of replacing the first.
TEST(CliRecoverBatch, AnotherSpellingOfAResultOfThisRunIsNeverReplaced) {
    test::TempDir dir;
    put(dir.path() / "docs" / "x" / "r.doc", textDoc('x'));
    put(dir.path() / "docs" / "y" / "r.doc", textDoc('y'));
    fs::create_directories(dir.path() / "out" / "x");
    fs::create_directory_symlink("x", dir.path() / "out" / "y");
    const auto r = morvel({"recover", "--force", "-o", "out", "docs"}, dir.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(text(dir.path() / "out" / "x" / "r_Raw_text.txt"), rawOf('x'));
    EXPECT_EQ(text(dir.path() / "out" / "x" / "r (2)_Raw_text.txt"), rawOf('y'));
}

// A stopped batch resumes: documents whose results all exist are skipped and said so, a
// document with some results missing is recovered again and keeps the ones that exist.
TEST(CliRecoverBatch, SkipExistingResumesABatch) {
    test::TempDir dir;
    put(dir.path() / "docs" / "a.doc", textDoc('a'));
    put(dir.path() / "docs" / "b.doc", textDoc('b'));
    put(dir.path() / "docs" / "c.doc", textDoc('c'));
    // An earlier run stopped in the middle of b and before c.
    put(dir.path() / "out" / "a_Raw_text.txt", test::bytesOf("earlier a"));
    put(dir.path() / "out" / "a_Filtered_text.txt", test::bytesOf("earlier a"));
    put(dir.path() / "out" / "a_recovered.doc", test::bytesOf("earlier a"));
    put(dir.path() / "out" / "b_Raw_text.txt", test::bytesOf("earlier b"));
    const auto r =
        morvel({"recover", "--skip-existing", "--json", "-o", "out", "docs"}, dir.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;  // b and c give text only; nothing failed
    const auto records = lines(r.out);
    ASSERT_EQ(records.size(), 3u) << r.out;
    EXPECT_NE(records[0].find("\"result\":\"skipped\""), std::string::npos) << records[0];
    EXPECT_NE(records[0].find("\"skipped\":true"), std::string::npos) << records[0];
    EXPECT_NE(records[1].find("\"result\":\"text only\""), std::string::npos) << records[1];
    EXPECT_NE(records[1].find("\"existing\":true"), std::string::npos) << records[1];
    EXPECT_EQ(records[1].find("\"errors\":[]"), records[1].find("\"errors\":")) << records[1];
    EXPECT_EQ(text(dir.path() / "out" / "a_Raw_text.txt"), "earlier a");
    EXPECT_EQ(text(dir.path() / "out" / "b_Raw_text.txt"), "earlier b");
    EXPECT_EQ(text(dir.path() / "out" / "b_Filtered_text.txt"), rawOf('b'));
    EXPECT_EQ(text(dir.path() / "out" / "c_Raw_text.txt"), rawOf('c'));

    const auto human =
        morvel({"recover", "--skip-existing", "-o", "out", "docs/a.doc"}, dir.path());
    EXPECT_EQ(human.exitCode, 0) << human.err;
    EXPECT_NE(human.out.find("docs/a.doc: skipped"), std::string::npos) << human.out;
}

// The documents to recover can come from a list, newline or NUL separated, or standard input.
TEST(CliRecoverBatch, FilesFromAListOrStandardInput) {
    test::TempDir dir;
    test::writeFile(dir.path() / "a.doc", textDoc('a'));
    test::writeFile(dir.path() / "with\nnewline.doc", textDoc('n'));
    test::writeFile(dir.path() / "list.txt", test::bytesOf("a.doc\n\n"));
    auto r = morvel({"recover", "--files-from", "list.txt", "-o", "one"}, dir.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(text(dir.path() / "one" / "a_Raw_text.txt"), rawOf('a'));

    std::string said;
    const std::string cmd = "cd " + test::shellQuote(dir.path().string()) +
                            " && printf 'a.doc\\0with\\nnewline.doc\\0' | " +
                            test::shellQuote(MORVEL_CLI_PATH) +
                            " recover -0 --files-from=- -o two --json";
    EXPECT_EQ(test::runCommand(cmd, said), 1) << said;
    EXPECT_EQ(text(dir.path() / "two" / "a_Raw_text.txt"), rawOf('a'));
    EXPECT_EQ(text(dir.path() / "two" / "with\nnewline_Raw_text.txt"), rawOf('n'));

    r = morvel({"recover", "--files-from", "missing.txt"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("cannot read the list missing.txt"), std::string::npos) << r.err;
}

// --quiet prints only errors; --verbose adds every reason and each part's state.
TEST(CliRecoverBatch, QuietAndVerbose) {
    test::TempDir dir;
    test::writeFile(dir.path() / "a.doc", textDoc('a'));
    test::writeFile(dir.path() / "p.docx",
                    test::buildWordPackage(test::wordPackageParts(), {"word/styles.xml"}));
    test::writeFile(dir.path() / "n.txt", test::bytesOf("not a document"));

    auto r = morvel({"recover", "-q", "-o", "q", "a.doc", "p.docx", "n.txt"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("n.txt: Error: unknown file format!"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(dir.path() / "q" / "a_Raw_text.txt"));

    r = morvel({"recover", "-o", "n", "a.doc", "p.docx"}, dir.path());
    EXPECT_EQ(r.out.find("  reason "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("  part "), std::string::npos) << r.out;

    r = morvel({"recover", "--verbose", "-o", "v", "a.doc", "p.docx"}, dir.path());
    EXPECT_NE(r.out.find("  reason   doc-status--1: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  part     word/document.xml: intact"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  part     word/styles.xml: "), std::string::npos) << r.out;
}

// A path that is not UTF-8 is kept exactly: its hex in path_bytes beside a readable path.
TEST(CliRecoverBatch, PathsThatAreNotUtf8AreKeptExactly) {
    test::TempDir dir;
    const std::string name = "caf\xff.doc";
    test::writeFile(dir.path() / name, textDoc('a'));
    const auto r = morvel({"recover", "--json", "-o", "out", name}, dir.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.out.find("{\"path\":\"caf\xEF\xBF\xBD.doc\",\"path_bytes\":\"636166ff2e646f63\","),
              std::string::npos)
        << r.out;
    // out/caf\xff_Raw_text.txt
    EXPECT_NE(r.out.find("\"path_bytes\":\"6f75742f636166ff5f5261775f746578742e747874\""),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "caf\xff_Raw_text.txt"));
    // scan and inspect name such a file the same way.
    const auto scan = morvel({"scan", "--json", "."}, dir.path());
    EXPECT_NE(scan.out.find(
                  "\"fileName\":\"caf\xEF\xBF\xBD.doc\",\"fileName_bytes\":\"636166ff2e646f63\""),
              std::string::npos)
        << scan.out;
    const auto inspect = morvel({"inspect", name}, dir.path());
    EXPECT_EQ(inspect.out.rfind(
                  "{\"file\":\"caf\xEF\xBF\xBD.doc\",\"file_bytes\":\"636166ff2e646f63\"", 0),
              0u)
        << inspect.out;
    const std::string python = test::pythonWith("json");
    if (!python.empty()) {
        test::writeFile(dir.path() / "report.jsonl", test::bytesOf(r.out));
        std::string said;
        const std::string check =
            python +
            " -c 'import json,sys\nfor l in open(sys.argv[1], encoding=\"utf-8\"):\n"
            "  d = json.loads(l)\n"
            "  assert bytes.fromhex(d[\"path_bytes\"]) == b\"caf\\xff.doc\"\n"
            "  assert d[\"path\"] == \"caf\\ufffd.doc\"' " +
            test::shellQuote((dir.path() / "report.jsonl").string());
        EXPECT_EQ(test::runCommand(check, said), 0) << said;
    }
}

// The output folder inside a folder being recovered is never searched, so a rerun does not
// recover earlier results.
TEST(CliRecoverBatch, TheOutputFolderIsNotSearched) {
    test::TempDir dir;
    put(dir.path() / "docs" / "a.doc", textDoc('a'));
    put(dir.path() / "docs" / "out" / "old_recovered.doc", textDoc('o'));
    const auto r = morvel({"recover", "--json", "-o", "docs/out", "docs"}, dir.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(lines(r.out).size(), 1u) << r.out;
    EXPECT_EQ(r.out.find("old_recovered"), std::string::npos) << r.out;
}

// A folder of more documents than the document table of the desktop program holds: every one
// is recovered, none is cut off.
TEST(CliRecoverBatch, NoCapOnTheNumberOfDocuments) {
    constexpr size_t kDocuments = 10001;
    test::TempDir dir;
    fs::create_directory(dir.path() / "many");
    // Sparse files over 2 GiB: refused before they are read, so the run stays quick.
    for (size_t i = 0; i < kDocuments; ++i) {
        const fs::path p = dir.path() / "many" / (std::to_string(i) + ".doc");
        std::ofstream{p};
        fs::resize_file(p, (2ull << 30) + 1);
    }
    const auto r = morvel({"recover", "--json", "-o", "out", "many"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.find(">500"), std::string::npos) << r.err.substr(0, 300);
    EXPECT_EQ(lines(r.out).size(), kDocuments);
}

}  // namespace
}  // namespace morvel
