// recover -j: documents recovered on several threads give the same files, the same names and
// the same report as one at a time; and the pool that runs them hands results back in order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch_pool.h"
#include "tests/support/cli_runner.h"
#include "tests/support/test_files.h"
#include "tests/support/word_package.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

test::CliResult morvel(const std::vector<std::string>& args, const fs::path& cwd) {
    return test::runProgram(MORVEL_CLI_PATH, args, cwd);
}

void put(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    test::writeFile(path, bytes);
}

// Every file below `root` by relative path, with its bytes.
std::map<std::string, std::vector<uint8_t>> treeOf(const fs::path& root) {
    std::map<std::string, std::vector<uint8_t>> tree;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            tree[fs::relative(e.path(), root).string()] = test::readFile(e.path());
    return tree;
}

// The report without the times, which differ from run to run.
std::string withoutTimes(const std::string& report) {
    static const std::regex seconds(R"("seconds":[-+.eE0-9]+)");
    return std::regex_replace(report, seconds, R"("seconds":0)");
}

struct BatchRun {
    int exitCode;
    std::string report;
    std::map<std::string, std::vector<uint8_t>> files;
};

// Recovers `inputs` into a fresh "out" folder with -j `jobs` and keeps what it made.
BatchRun recoverWith(unsigned jobs, const std::vector<std::string>& inputs, const fs::path& cwd) {
    fs::remove_all(cwd / "out");
    std::vector<std::string> args = {"recover", "--json", "-j", std::to_string(jobs), "-o", "out"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const auto r = morvel(args, cwd);
    return {r.exitCode, withoutTimes(r.out), treeOf(cwd / "out")};
}

// Compares runs with 2 and 4 threads against one at a time.
void expectSameAsOneJob(const std::vector<std::string>& inputs, const fs::path& cwd) {
    const BatchRun one = recoverWith(1, inputs, cwd);
    ASSERT_FALSE(one.files.empty());
    for (const unsigned jobs : {2u, 4u}) {
        SCOPED_TRACE("-j " + std::to_string(jobs));
        const BatchRun many = recoverWith(jobs, inputs, cwd);
        EXPECT_EQ(many.exitCode, one.exitCode);
        EXPECT_EQ(many.report, one.report);
        ASSERT_EQ(many.files.size(), one.files.size());
        for (const auto& [name, bytes] : one.files) {
            const auto it = many.files.find(name);
            ASSERT_NE(it, many.files.end()) << name;
            EXPECT_TRUE(it->second == bytes) << name << " differs";
        }
    }
}

// A .doc-named text file whose text is `letter` repeated, so results tell their document.
std::vector<uint8_t> textDoc(char letter, size_t length) {
    std::vector<uint8_t> bytes = test::bytesOf(std::string(length, letter) + "\r\n");
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// Many documents of the same name in folders and as file arguments, packages whole and cut
// off, a file of no known format and an empty one, in sizes that finish out of order.
TEST(CliRecoverJobs, GeneratedBatchIsTheSameWithEveryNumberOfJobs) {
    test::TempDir dir;
    const auto parts = test::wordPackageParts();
    for (int i = 0; i < 12; ++i) {
        const char letter = static_cast<char>('a' + i);
        const fs::path folder = dir.path() / "docs" / ("f" + std::to_string(i % 3));
        // Big and small alternate so that later documents often finish first.
        put(folder / ("report" + std::to_string(i / 3) + ".doc"),
            textDoc(letter, i % 2 == 0 ? 200000 : 1200));
        put(folder / "same.doc", textDoc(letter, 800));
    }
    put(dir.path() / "docs" / "p" / "whole.docx", test::buildWordPackage(parts));
    put(dir.path() / "docs" / "p" / "cut.docx", test::buildCutOffWordPackage(parts, "Charlie"));
    put(dir.path() / "docs" / "p" / "empty.doc", {});
    put(dir.path() / "x" / "same.doc", textDoc('x', 500));
    put(dir.path() / "y" / "same.doc", textDoc('y', 90000));
    put(dir.path() / "notes.txt", test::bytesOf("not a document"));
    expectSameAsOneJob({"docs", "x/same.doc", "y/same.doc", "notes.txt", "missing.doc"},
                       dir.path());
    // The two file arguments of one name are numbered in the order given.
    const BatchRun run = recoverWith(2, {"x/same.doc", "y/same.doc"}, dir.path());
    EXPECT_EQ(run.files.at("same_Raw_text.txt"), test::bytesOf(std::string(500, 'x') + "\r\n"));
    EXPECT_EQ(run.files.at("same (2)_Raw_text.txt"),
              test::bytesOf(std::string(90000, 'y') + "\r\n"));
}

// Two names of one output folder: the numbering that keeps the second result from replacing
// the first does not depend on which thread finished first.
TEST(CliRecoverJobs, AnotherSpellingOfAResultIsNumberedTheSameWithEveryNumberOfJobs) {
    test::TempDir dir;
    for (const char letter : {'x', 'y', 'z'})
        put(dir.path() / "docs" / std::string(1, letter) / "r.doc", textDoc(letter, 1200));
    for (const unsigned jobs : {1u, 2u, 4u}) {
        SCOPED_TRACE("-j " + std::to_string(jobs));
        fs::remove_all(dir.path() / "out");
        fs::create_directories(dir.path() / "out" / "x");
        fs::create_directory_symlink("x", dir.path() / "out" / "y");
        fs::create_directory_symlink("x", dir.path() / "out" / "z");
        const auto r =
            morvel({"recover", "-j", std::to_string(jobs), "-o", "out", "docs"}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << r.err;
        const fs::path x = dir.path() / "out" / "x";
        EXPECT_EQ(test::readFile(x / "r_Raw_text.txt"),
                  test::bytesOf(std::string(1200, 'x') + "\r\n"));
        EXPECT_EQ(test::readFile(x / "r (2)_Raw_text.txt"),
                  test::bytesOf(std::string(1200, 'y') + "\r\n"));
        EXPECT_EQ(test::readFile(x / "r (3)_Raw_text.txt"),
                  test::bytesOf(std::string(1200, 'z') + "\r\n"));
    }
}

TEST(CliRecoverJobs, CorpusIsTheSameWithEveryNumberOfJobs) {
    const fs::path corpus = test::corpusDir();
    if (corpus.empty() || test::corpusFiles("doc").empty() || test::corpusFiles("docx").empty())
        GTEST_SKIP() << "no corpus";
    test::TempDir dir;
    // Twice over, so that the same names are numbered too.
    expectSameAsOneJob({(corpus / "doc").string(), (corpus / "docx").string(),
                        (corpus / "doc").string(), (corpus / "docx").string()},
                       dir.path());
}

// The pool hands results back in the order given whatever order they finish in, never holds
// more than its window, and passes on a task's exception to the thread that collects.
TEST(BatchPool, ResultsComeBackInOrderWithinTheWindow) {
    for (const unsigned threads : {0u, 1u, 3u}) {
        SCOPED_TRACE(threads);
        std::vector<int> order;
        std::atomic<int> running{0};
        std::atomic<int> mostHeld{0};
        std::atomic<int> held{0};
        constexpr size_t kWindow = 5;
        {
            cli::BatchPool<int> pool(threads, kWindow, [&](int& r) {
                order.push_back(r);
                --held;
            });
            for (int i = 0; i < 40; ++i) {
                const int h = ++held;
                mostHeld = std::max(mostHeld.load(), h);
                pool.submit([i, &running](unsigned) {
                    ++running;
                    // Later tasks are quicker, so they finish before earlier ones.
                    std::this_thread::sleep_for(std::chrono::microseconds((40 - i) % 7 * 300));
                    --running;
                    return i;
                });
            }
            pool.drain();
        }
        std::vector<int> expected(40);
        for (int i = 0; i < 40; ++i)
            expected[static_cast<size_t>(i)] = i;
        EXPECT_EQ(order, expected);
        EXPECT_LE(mostHeld.load(), static_cast<int>(kWindow) + 1);
    }
}

TEST(BatchPool, ATaskThatThrowsThrowsWhereItsResultIsCollected) {
    std::vector<int> order;
    cli::BatchPool<int> pool(2, 4, [&](int& r) { order.push_back(r); });
    for (int i = 0; i < 3; ++i)
        pool.submit([i](unsigned) {
            if (i == 1)
                throw std::runtime_error("task 1");
            return i;
        });
    EXPECT_THROW(pool.drain(), std::runtime_error);
    pool.drain();
    EXPECT_EQ(order, (std::vector<int>{0, 2}));
}

}  // namespace
}  // namespace morvel
