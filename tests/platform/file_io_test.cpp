#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace morvel {
namespace {

// The file is appended through a 256 KiB buffer: sizes around that buffer and past the size
// that gets huge pages (4 MiB) come back whole and in order, into an empty or a used vector.
TEST(ReadWholeFile, ReturnsEveryByteAroundTheReadBufferAndLargeBufferSizes) {
    test::TempDir dir;
    const size_t chunk = 256 * 1024;
    const size_t sizes[] = {0, 1, chunk - 1, chunk, chunk + 1, 3 * chunk + 7, (5u << 20) + 3};
    for (size_t size : sizes) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<uint8_t>(i * 131 + i / 251);
        const auto path = dir.path() / ("f" + std::to_string(size));
        test::writeFile(path, bytes);
        std::vector<uint8_t> fresh;
        ASSERT_EQ(readWholeFile(path, fresh), ReadStatus::Ok) << size;
        EXPECT_EQ(fresh, bytes) << size;
        std::vector<uint8_t> used(1000, 0xEE);
        ASSERT_EQ(readWholeFile(path, used), ReadStatus::Ok) << size;
        EXPECT_EQ(used, bytes) << size;
    }
}

TEST(ReadWholeFile, RefusesWhatIsNoRegularFileAndReportsAMissingOne) {
    test::TempDir dir;
    const auto fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<uint8_t> out = {1, 2, 3};
    EXPECT_EQ(readWholeFile(fifo, out), ReadStatus::NotRegularFile);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(readWholeFile(dir.path(), out), ReadStatus::NotRegularFile);
    EXPECT_EQ(readWholeFile(dir.path() / "missing", out), ReadStatus::CannotOpen);
}

// The names in a folder, hidden ones too.
std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    return names;
}

// Sets the process umask for one scope.
class UmaskScope {
  public:
    explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
    ~UmaskScope() { ::umask(old_); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

  private:
    mode_t old_;
};

// A result gets the permissions any new file of the user gets: 0666 less the umask, whether it
// is written in one call or staged and placed later, replacing a file or not.
TEST(AtomicWrite, ResultsTakeThePermissionsTheUmaskLeaves) {
    test::TempDir dir;
    const struct {
        mode_t umask, mode;
    } cases[] = {{022, 0644}, {077, 0600}, {002, 0664}, {027, 0640}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.umask);
        UmaskScope scope(c.umask);
        const auto whole = dir.path() / ("whole" + std::to_string(c.umask));
        ASSERT_EQ(writeFileAtomic(whole, test::bytesOf("abc"), false), "");
        const auto replaced = dir.path() / "replaced";
        ASSERT_EQ(writeFileAtomic(replaced, test::bytesOf("abc"), true), "");
        const auto staged = dir.path() / ("staged" + std::to_string(c.umask));
        StagedFile file;
        ASSERT_EQ(file.write(staged, test::bytesOf("abc")), "");
        ASSERT_EQ(file.place(staged, false), "");
        for (const auto& path : {whole, replaced, staged}) {
            struct stat st {};
            ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
            EXPECT_EQ(st.st_mode & 0777, c.mode) << path;
        }
    }
}

// Files written first and flushed afterwards (or flushed by being placed) end up whole under
// their names; one never placed leaves nothing behind, flushed or not; and placing without
// overwrite leaves an existing file as it was.
TEST(StagedFile, WrittenThenFlushedFilesArePlacedWhole) {
    test::TempDir dir;
    const std::vector<std::string> contents = {"first", std::string(70000, 'x'), ""};
    std::vector<StagedFile> files(contents.size());
    PartialFiles partials;
    for (size_t i = 0; i < files.size(); ++i)
        ASSERT_EQ(files[i].write(dir.path() / ("r" + std::to_string(i)), test::bytesOf(contents[i]),
                                 &partials),
                  "");
    EXPECT_EQ(namesIn(dir.path()).size(), files.size());
    EXPECT_EQ(files[0].flush(), "");
    EXPECT_EQ(files[0].flush(), "");  // a second flush has nothing left to do
    EXPECT_EQ(files[1].flush(), "");
    // The last one is placed without an explicit flush.
    for (size_t i = 0; i < files.size(); ++i) {
        const auto target = dir.path() / ("r" + std::to_string(i));
        ASSERT_EQ(files[i].place(target, false), "") << i;
        EXPECT_EQ(test::readFile(target), test::bytesOf(contents[i])) << i;
    }
    EXPECT_EQ(namesIn(dir.path()).size(), files.size());

    const auto kept = dir.path() / "r0";
    {
        StagedFile unflushed, flushed, refused;
        ASSERT_EQ(unflushed.write(dir.path() / "gone", test::bytesOf("never placed")), "");
        ASSERT_EQ(flushed.stage(dir.path() / "gone2", test::bytesOf("never placed")), "");
        ASSERT_EQ(refused.write(kept, test::bytesOf("not over r0")), "");
        WriteStatus status = WriteStatus::Ok;
        EXPECT_NE(refused.place(kept, false, &status), "");
        EXPECT_EQ(status, WriteStatus::AlreadyExists);
        EXPECT_EQ(test::readFile(kept), test::bytesOf("first"));
    }
    EXPECT_EQ(namesIn(dir.path()).size(), files.size());
    // Moved away, a written file goes with its new owner.
    StagedFile moved;
    {
        StagedFile first;
        ASSERT_EQ(first.write(dir.path() / "moved", test::bytesOf("moved")), "");
        moved = std::move(first);
    }
    ASSERT_EQ(moved.place(dir.path() / "moved", true), "");
    EXPECT_EQ(test::readFile(dir.path() / "moved"), test::bytesOf("moved"));
}

// Many files staged for one target at once each get a name of their own, and all of them go
// when they are dropped.
TEST(StagedFile, EveryStagedFileHasATemporaryNameOfItsOwn) {
    test::TempDir dir;
    std::vector<StagedFile> files(100);
    for (size_t i = 0; i < files.size(); ++i)
        ASSERT_EQ(files[i].write(dir.path() / "same", test::bytesOf(std::to_string(i))), "") << i;
    EXPECT_EQ(namesIn(dir.path()).size(), files.size());
    ASSERT_EQ(files[42].place(dir.path() / "same", false), "");
    EXPECT_EQ(test::readFile(dir.path() / "same"), test::bytesOf("42"));
    files.clear();
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"same"});
}

}  // namespace
}  // namespace morvel
