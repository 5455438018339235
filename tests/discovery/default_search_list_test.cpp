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

    test::writeFile(dir.path() / "mounts",
                    test::bytesOf("overlay / overlay rw 0 0\n"
                                  "/dev/sdb1 /home xfs rw 0 0\n"
                                  "/dev/sdb1 /home/shared xfs rw 0 0\n"
                                  "/dev/sdc1 /media/My\\040Disk ntfs3 rw 0 0\n"
                                  "/dev/sdd1 /odd;name ext4 rw 0 0\n"
                                  "/dev/loop3 /mnt/image ext4 ro 0 0\n"
                                  "/dev/sdb1 /home xfs rw 0 0\n"));
    EXPECT_EQ(DefaultDriveList(dir.path() / "mounts"), "/home;/media/My Disk;");
    EXPECT_EQ(DefaultDriveList(dir.path() / "absent"), "");
}

}  // namespace
}  // namespace morvel
