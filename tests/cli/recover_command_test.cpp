#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/cli_runner.h"
#include "tests/support/external_tools.h"
#include "tests/support/test_files.h"
#include "tests/support/word97_builder.h"
#include "tests/support/word_package.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

test::CliResult morvel(const std::vector<std::string>& args, const fs::path& cwd) {
    return test::runProgram(MORVEL_CLI_PATH, args, cwd);
}

// A small .doc-named file whose text the raw and filtered extractions both find.
std::vector<uint8_t> textDocBytes() {
    std::string body(1200, 'a');
    body += "\r\n";
    std::vector<uint8_t> bytes = test::bytesOf(body);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// Lines of text longer than an 80-column terminal shows.
std::vector<std::string> linesOver79(const std::string& text) {
    std::vector<std::string> over;
    size_t from = 0;
    for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
        if (end - from >= 80)
            over.push_back(text.substr(from, end - from));
    return over;
}

TEST(CliUsage, HelpVersionAndUsageErrors) {
    test::TempDir dir;
    struct Case {
        std::vector<std::string> args;
        int exit;
        const char* inOut;  // text expected on stdout (or stderr when exit is 64)
    } cases[] = {
        {{"--help"}, 0, "Exit status"},
        {{"recover", "--help"}, 0, "Usage: morvel recover"},
        {{"help", "recover"}, 0, "Usage: morvel recover"},
        {{"scan", "--help"}, 0, "Usage: morvel scan"},
        {{"help", "inspect"}, 0, "Usage: morvel inspect"},
        {{"help"}, 0, "Commands:"},
        {{"--version"}, 0, "morvel "},
        {{}, 64, "Usage: morvel"},
        {{"frobnicate"}, 64, "unknown command"},
        {{"help", "frobnicate"}, 64, "unknown command"},
        {{"--bogus"}, 64, "morvel: unrecognized option '--bogus'"},
        {{"recover"}, 64, "at least one document"},
        {{"recover", "--bogus", "a.doc"},
         64,
         "morvel recover: unrecognized option '--bogus'\n"
         "Try 'morvel recover --help' for more information.\n"},
        {{"recover", "-z", "a.doc"}, 64, "invalid option -- 'z'"},
        {{"scan", "--x", "."}, 64, "morvel scan: unrecognized option '--x'"},
        {{"inspect", "--x", "a.doc"}, 64, "Try 'morvel inspect --help'"},
        {{"recover", "a.doc", "-o"}, 64, "option requires an argument -- 'o'"},
        {{"recover", "a.doc", "--output"}, 64, "option '--output' requires an argument"},
        {{"recover", "--output=", "a.doc"}, 64, "the output folder name is empty"},
        {{"recover", "-j", "0", "a.doc"}, 64, "invalid number of jobs"},
        {{"recover", "-j", "4x", "a.doc"}, 64, "invalid number of jobs"},
        {{"recover", "-q", "-v", "a.doc"}, 64, "cannot be used together"},
        {{"recover", "-0", "a.doc"}, 64, "--null needs --files-from"},
        {{"recover", "a.doc", "-o", "in-the-way/out"}, 64, "cannot create output folder"},
    };
    test::writeFile(dir.path() / "in-the-way", test::bytesOf("a file, not a folder"));
    for (const auto& c : cases) {
        auto r = morvel(c.args, dir.path());
        EXPECT_EQ(r.exitCode, c.exit) << c.inOut;
        const std::string& where = c.exit == 64 ? r.err : r.out;
        EXPECT_NE(where.find(c.inOut), std::string::npos) << where;
    }
    // Every help fits an 80-column terminal.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"help", "recover"},
                                                 {"recover", "--help"},
                                                 {"help", "scan"},
                                                 {"help", "inspect"},
                                                 {"--version"}}) {
        const auto r = morvel(args, dir.path());
        EXPECT_FALSE(r.out.empty()) << args.back();
        EXPECT_EQ(linesOver79(r.out), std::vector<std::string>()) << args.back();
    }
}

// --version in the GNU layout: name and version, then copyright, then the licence.
TEST(CliUsage, VersionNamesCopyrightAndLicence) {
    test::TempDir dir;
    const auto r = morvel({"--version"}, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    std::vector<std::string> lines;
    for (size_t from = 0, end; (end = r.out.find('\n', from)) != std::string::npos; from = end + 1)
        lines.push_back(r.out.substr(from, end - from));
    ASSERT_GE(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0].rfind("morvel ", 0), 0u);
    EXPECT_NE(lines[0].find_first_of("0123456789"), std::string::npos);
    EXPECT_EQ(lines[1].rfind("Copyright (C) ", 0), 0u) << lines[1];
    EXPECT_NE(r.out.find("License"), std::string::npos);
    EXPECT_NE(r.out.find("/copyright"), std::string::npos);
}

// Options in every form getopt_long reads: -oDIR, --output=DIR, bundled -fo DIR, and "--"
// ending the options so that a document whose name begins with '-' can be given.
TEST(CliUsage, OptionFormsAndDoubleDash) {
    test::TempDir dir;
    test::writeFile(dir.path() / "a.doc", textDocBytes());
    test::writeFile(dir.path() / "-f.doc", textDocBytes());
    struct Case {
        std::vector<std::string> args;
        const char* folder;  // where the results of a.doc must be
    } cases[] = {
        {{"recover", "-oone", "a.doc"}, "one"},
        {{"recover", "--output=two", "a.doc"}, "two"},
        {{"recover", "a.doc", "--output", "three"}, "three"},
        {{"recover", "-fo", "four", "a.doc"}, "four"},
        {{"recover", "-qfofive", "a.doc"}, "five"},
    };
    for (const auto& c : cases) {
        auto r = morvel(c.args, dir.path());
        EXPECT_LE(r.exitCode, 1) << c.folder << r.err;
        EXPECT_TRUE(fs::exists(dir.path() / c.folder / "a_Raw_text.txt")) << c.folder;
    }
    auto r = morvel({"recover", "-o", "six", "--", "-f.doc"}, dir.path());
    EXPECT_LE(r.exitCode, 1) << r.err;
    EXPECT_TRUE(fs::exists(dir.path() / "six" / "-f_Raw_text.txt")) << r.err;
}

TEST(CliRecover, UnknownFormatAndMissingFileFail) {
    test::TempDir dir;
    test::writeFile(dir.path() / "notes.txt", test::bytesOf("hello"));
    auto r = morvel({"recover", "notes.txt"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Error: unknown file format!"), std::string::npos);

    r = morvel({"recover", "gone.doc"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Error in read doc"), std::string::npos);
}

// An empty file has nothing to recover: no result files, a failure and the reason.
TEST(CliRecover, EmptyDocWritesNothingAndSaysWhy) {
    test::TempDir dir;
    test::writeFile(dir.path() / "empty.doc", {});
    fs::create_directory(dir.path() / "out");
    auto r = morvel({"recover", "empty.doc", "-o", "out"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("the file is empty"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(dir.path() / "out"));
}

// A missing output folder is made, with its parents.
TEST(CliRecover, MakesAMissingOutputFolder) {
    test::TempDir dir;
    test::writeFile(dir.path() / "a.doc",
                    test::bytesOf("Dear reader,\r\nthis letter survived.\r\n"));
    auto r = morvel({"recover", "a.doc", "-o", "new/out"}, dir.path());
    EXPECT_TRUE(fs::is_directory(dir.path() / "new" / "out")) << r.err;
    EXPECT_FALSE(fs::is_empty(dir.path() / "new" / "out")) << r.err;
}

// A document that gives nothing is no success, and every document without a full document
// says why, in JSON and in the human output.
TEST(CliRecover, NothingWrittenIsNoSuccessAndTheReasonIsGiven) {
    test::TempDir dir;
    test::writeFile(dir.path() / "noise.docx", std::vector<uint8_t>(3000, 0x5A));
    auto r = morvel({"recover", "--json", "noise.docx"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("\"success\":false"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"reason\":{\"code\":\"docx-status-7\",\"message\":\"word/document.xml - "
                         "NotFound.\"}"),
              std::string::npos)
        << r.out;
    r = morvel({"recover", "noise.docx"}, dir.path());
    EXPECT_NE(r.out.find("noise.docx: failed: word/document.xml - NotFound."), std::string::npos)
        << r.out;
}

// A document without a full document says why: what its bytes show it to be comes first (an
// older Word binary, an RTF file named .doc), with a stable code and one line.
TEST(CliRecover, ReasonComesFromTheEngineResult) {
    test::TempDir dir;
    test::Word97Builder word95;
    word95.nFib = 104;
    test::writeFile(dir.path() / "old.doc", word95.buildFile());
    test::writeFile(dir.path() / "rtf.doc", [] {
        std::vector<uint8_t> rtf = test::bytesOf("{\\rtf1\\ansi Some text in a letter.\\par}");
        rtf.resize(1200, ' ');
        return rtf;
    }());
    struct Case {
        const char* input;
        const char* reason;
    } cases[] = {
        {"old.doc",
         "\"reason\":{\"code\":\"word6-95\",\"message\":\"Word 6.0/95 document: no full "
         "document; text recovered\"}"},
        {"rtf.doc",
         "\"reason\":{\"code\":\"rtf-document\",\"message\":\"RTF document: it is not a Word "
         "binary"},
    };
    for (const Case& c : cases) {
        auto r = morvel({"recover", "--json", "-o", "out", c.input}, dir.path());
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
    }
}

// Opens of the inputs and files made, from an strace log of a whole run.
struct TracedRun {
    std::map<std::string, int> opens;  // path -> times opened
    std::vector<std::string> made;     // paths opened for creation or renamed to
};

TracedRun parseTrace(const fs::path& log) {
    TracedRun t;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        const size_t q = line.find('"');
        const size_t q2 = q == std::string::npos ? q : line.find('"', q + 1);
        if (q2 == std::string::npos || line.find(" = -1 ") != std::string::npos)
            continue;
        const std::string path = line.substr(q + 1, q2 - q - 1);
        if (line.find("open") != std::string::npos) {
            ++t.opens[path];
            if (line.find("O_CREAT") != std::string::npos)
                t.made.push_back(path);
        } else if (line.find("rename") != std::string::npos || line.find("link") == 0) {
            const size_t q3 = line.find('"', q2 + 1);
            const size_t q4 = q3 == std::string::npos ? q3 : line.find('"', q3 + 1);
            if (q4 != std::string::npos)
                t.made.push_back(line.substr(q3 + 1, q4 - q3 - 1));
        }
    }
    return t;
}

// The whole program reads each input exactly once and makes no file but its results and the
// run folder's lock: nothing passes through the working folder.
TEST(CliRecover, OpensEachInputOnceAndMakesOnlyTheResults) {
    if (!test::haveProgram("strace") || std::system("strace -o /dev/null true 2>/dev/null") != 0)
        GTEST_SKIP() << "strace cannot trace here";
    test::TempDir dir;
    std::vector<fs::path> inputs = test::corpusFiles("doc");
    const auto docx = test::corpusFiles("docx");
    inputs.insert(inputs.end(), docx.begin(), docx.end());
    test::writeFile(dir.path() / "made.doc", test::Word97Builder().buildFile());
    test::writeFile(dir.path() / "made.docx", test::buildWordPackage(test::wordPackageParts(), {}));
    inputs.push_back(dir.path() / "made.doc");
    inputs.push_back(dir.path() / "made.docx");
    const fs::path out = dir.path() / "out";
    const fs::path log = dir.path() / "trace.log";
    std::vector<std::string> args = {
        "-f",
        "-o",
        log.string(),
        "-e",
        "trace=open,openat,creat,rename,renameat,renameat2,link,linkat",
        MORVEL_CLI_PATH,
        "recover",
        "-o",
        out.string()};
    for (const fs::path& in : inputs)
        args.push_back(fs::absolute(in).lexically_normal().string());
    test::runProgram(
        "/usr/bin/env",
        [&] {
            std::vector<std::string> a{"strace"};
            a.insert(a.end(), args.begin(), args.end());
            return a;
        }(),
        dir.path());
    const TracedRun t = parseTrace(log);
    for (const fs::path& in : inputs) {
        const std::string p = fs::absolute(in).lexically_normal().string();
        EXPECT_EQ(t.opens.count(p) ? t.opens.at(p) : 0, 1) << p;
    }
    ASSERT_FALSE(t.made.empty());
    for (const std::string& m : t.made) {
        const bool result = m.rfind(out.string() + "/", 0) == 0;
        const bool lock = fs::path(m).filename() == "lock.new" || fs::path(m).filename() == "lock";
        EXPECT_TRUE(result || lock) << m;
    }
}

TEST(CliRecover, RefusesFilesBeyondTwoGigabytes) {
    test::TempDir dir;
    const fs::path big = dir.path() / "huge.doc";
    test::writeFile(big, {});
    fs::resize_file(big, (2ull << 30) + 1);  // sparse: costs no disk
    auto r = morvel({"recover", "huge.doc"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("larger than 2 GiB"), std::string::npos) << r.err;
}

TEST(CliRecover, WritesTextsWithoutTheirNulAndHonoursUppercaseNames) {
    test::TempDir dir;
    test::writeFile(dir.path() / "LETTER.DOC", textDocBytes());
    fs::create_directory(dir.path() / "out");
    auto r = morvel({"recover", "LETTER.DOC", "-o", "out"}, dir.path());
    EXPECT_LE(r.exitCode, 1) << r.err;
    auto raw = test::readFile(dir.path() / "out" / "LETTER_Raw_text.txt");
    auto filtered = test::readFile(dir.path() / "out" / "LETTER_Filtered_text.txt");
    std::string expected = std::string(1200, 'a') + "\r\n";
    EXPECT_EQ(std::string(raw.begin(), raw.end()), expected);
    EXPECT_EQ(std::string(filtered.begin(), filtered.end()), expected);
}

TEST(CliRecover, NeverReplacesAFileWithoutForce) {
    test::TempDir dir;
    test::writeFile(dir.path() / "a.doc", textDocBytes());
    test::writeFile(dir.path() / "a_Raw_text.txt", test::bytesOf("keep me"));
    auto r = morvel({"recover", "a.doc"}, dir.path());
    EXPECT_NE(r.err.find("--force"), std::string::npos);
    EXPECT_EQ(test::readFile(dir.path() / "a_Raw_text.txt"), test::bytesOf("keep me"));

    r = morvel({"recover", "--force", "a.doc"}, dir.path());
    EXPECT_EQ(test::readFile(dir.path() / "a_Raw_text.txt").size(), 1202u);
    // No temporary names are left behind either way.
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".partial"), std::string::npos);
}

TEST(CliRecover, JsonReportsEachDocument) {
    test::TempDir dir;
    test::writeFile(dir.path() / "a.doc", textDocBytes());
    test::writeFile(dir.path() / "b.txt", test::bytesOf("x"));
    auto r = morvel({"recover", "--json", "a.doc", "b.txt"}, dir.path());
    EXPECT_EQ(r.exitCode, 2);
    auto first = r.out.substr(0, r.out.find('\n'));
    EXPECT_EQ(first.rfind("{\"path\":\"a.doc\",\"format\":\"doc\",\"success\":true", 0), 0u)
        << first;
    EXPECT_NE(first.find("{\"kind\":\"raw\""), std::string::npos);
    EXPECT_NE(r.out.find("\"format\":\"unknown\""), std::string::npos);
    if (std::system("python3 -c 'import json' 2>/dev/null") == 0) {
        test::writeFile(dir.path() / "report.jsonl", test::bytesOf(r.out));
        std::string cmd = "cd '" + dir.path().string() +
                          "' && python3 -c 'import json,sys; [json.loads(l) for l in "
                          "open(\"report.jsonl\")]'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
}

// Watches a file for any change: a write, a close after writing, a change of attributes.
class ChangeWatch {
  public:
    explicit ChangeWatch(const fs::path& p) : fd_(inotify_init1(IN_NONBLOCK)) {
        wd_ = inotify_add_watch(fd_, p.c_str(),
                                IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CLOSE_NOWRITE |
                                    IN_MOVE_SELF | IN_DELETE_SELF);
    }
    ~ChangeWatch() { ::close(fd_); }
    bool valid() const { return fd_ >= 0 && wd_ >= 0; }
    // Reads the pending events: returns the mask of all of them.
    uint32_t events() {
        alignas(inotify_event) char buf[4096];
        uint32_t mask = 0;
        ssize_t n;
        while ((n = ::read(fd_, buf, sizeof buf)) > 0) {
            for (ssize_t off = 0; off < n;) {
                auto* ev = reinterpret_cast<inotify_event*>(buf + off);
                mask |= ev->mask;
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            }
        }
        return mask;
    }

  private:
    int fd_;
    int wd_ = -1;
};

TEST(CliRecover, InputIsReadButNeverOpenedForWriting) {
    std::vector<fs::path> inputs = test::corpusFiles("doc");
    auto docx = test::corpusFiles("docx");
    inputs.insert(inputs.end(), docx.begin(), docx.end());
    test::TempDir dir;
    if (inputs.empty()) {
        test::writeFile(dir.path() / "plain.doc", textDocBytes());
        inputs.push_back(dir.path() / "plain.doc");
    }
    fs::create_directory(dir.path() / "out");
    for (const auto& in : inputs) {
        SCOPED_TRACE(in.filename().string());
        auto before = test::readFile(in);
        auto mtime = fs::last_write_time(in);
        ChangeWatch watch(in);
        ASSERT_TRUE(watch.valid());
        morvel({"recover", "--force", "-o", (dir.path() / "out").string(), in.string()},
               dir.path());
        uint32_t mask = watch.events();
        EXPECT_TRUE(mask & IN_CLOSE_NOWRITE) << "the input was never read";
        EXPECT_EQ(mask & (IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF),
                  0u);
        EXPECT_EQ(test::readFile(in), before);
        EXPECT_EQ(fs::last_write_time(in), mtime);
    }
}

}  // namespace
}  // namespace morvel
