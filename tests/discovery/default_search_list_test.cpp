#include "discovery/default_search_list.h"

#include <gtest/gtest.h>

#include "tests/support/test_files.h"

namespace morvel {
namespace {

TEST(DefaultSearchList, LocalDiskMountPointsOnly) {
    test::TempDir dir;
    test::writeFile(dir.path() / "mounts",
                    test::bytesOf("/dev/sda2 / ext4 rw,relatime 0 0\n"
                                  "proc /proc proc rw 0 0\n"
                                  "sysfs /sys sysfs rw 0 0\n"
                                  "tmpfs /run tmpfs rw 0 0\n"
                                  "/dev/sda1 /boot/efi vfat rw 0 0\n"
                                  "/dev/sdb1 /home xfs rw 0 0\n"
                                  "/dev/sdc1 /media/My\\040Disk ntfs3 rw 0 0\n"
                                  "/dev/loop3 /snap/core/1 squashfs ro 0 0\n"
                                  "server:/export /net nfs4 rw 0 0\n"
                                  "garbage\n"));
    // Everything else lies under "/", which the walk enters anyway.
    EXPECT_EQ(DefaultDriveList(dir.path() / "mounts"), "/;");

    const std::string t = dir.path().string();
    std::filesystem::create_directories(dir.path() / "home" / "shared");
    std::filesystem::create_directories(dir.path() / "My Disk");
    std::filesystem::create_directories(dir.path() / "odd;name");
    std::filesystem::create_directories(dir.path() / "image");
    test::writeFile(dir.path() / "hosts", test::bytesOf("x"));
    std::string table;
    for (const char* line :
         {"/dev/sdb1 T/home xfs", "/dev/sdb1 T/home/shared xfs", "/dev/sdc1 T/My\\040Disk ntfs3",
          "/dev/sdd1 T/odd;name ext4", "/dev/loop3 T/image ext4", "/dev/sda1 T/hosts ext4",
          "/dev/sde1 T/absent ext4", "/dev/sdb1 T/home xfs"}) {
        std::string l = line;
        table += l.replace(l.find(" T/") + 1, 1, t) + " rw 0 0\n";
    }
    test::writeFile(dir.path() / "mounts", test::bytesOf(table));
    EXPECT_EQ(DefaultDriveList(dir.path() / "mounts"), t + "/home;" + t + "/My Disk;");
    EXPECT_EQ(DefaultDriveList(dir.path() / "absent"), "");
}

}  // namespace
}  // namespace morvel
