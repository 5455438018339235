#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_io.h"
#include "tests/support/test_files.h"

namespace morvel {
namespace {

namespace fs = std::filesystem;

TEST(SameFile, KnowsOneFileUnderEveryName) {
    test::TempDir dir;
    const fs::path file = dir.path() / "a.doc";
    const fs::path other = dir.path() / "b.doc";
    test::writeFile(file, {1});
    test::writeFile(other, {1});
    fs::create_hard_link(file, dir.path() / "hard.doc");
    fs::create_symlink(file, dir.path() / "soft.doc");
    fs::create_directory(dir.path() / "sub");

    struct Case {
        fs::path a, b;
        bool same;
    } cases[] = {
        {file, file, true},
        {file, dir.path() / "sub" / ".." / "a.doc", true},
        {file, dir.path() / "hard.doc", true},
        {dir.path() / "soft.doc", file, true},
        {file, other, false},  // same bytes, another file
        {file, dir.path() / "missing.doc", false},
        {dir.path() / "missing.doc", dir.path() / "missing.doc", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sameFile(c.a, c.b), c.same) << c.a << " " << c.b;
}

}  // namespace
}  // namespace morvel
