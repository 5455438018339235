#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
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

}  // namespace
}  // namespace morvel
