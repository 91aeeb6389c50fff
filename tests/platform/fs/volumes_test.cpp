// The volumes the browser offers and the volume of a path.
#include "platform/fs/volumes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace volumes;
using testing_support::TempDir;

TEST(Volumes, MountTableKeepsRealVolumesOnly)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "usb stick");
    dir.write("hosts", "127.0.0.1 localhost\n");
    const std::string table = dir.write("mounts",
        "/dev/vda / ext4 rw 0 0\nproc /proc proc rw 0 0\ntmpfs /run tmpfs rw 0 0\ntmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sdb1 " + (dir / "usb\\040stick").string() + " vfat rw 0 0\n"
        "/dev/vda /etc/hosts ext4 rw 0 0\n/dev/vda " + (dir / "hosts").string() + " ext4 rw 0 0\n"
        "server:/x /net/share nfs4 rw 0 0\n/dev/loop0 /snap/core/1 squashfs ro 0 0\n"
        "overlay / overlay rw 0 0\ncgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n");
    EXPECT_EQ(mountPoints(table.c_str()), (std::vector<std::string>{"/", "/net/share", "/tmp", (dir / "usb stick").string()}));
    EXPECT_EQ(mountPoints((dir / "none").c_str()), std::vector<std::string>{"/"});

    const std::vector<std::string> points{"/", "/media/usb", "/media/usb/inner"};
    EXPECT_EQ(driveOf("/media/usb2/a.mid", points), "/");
    EXPECT_EQ(driveOf("/media/usb", points), "/media/usb");
    EXPECT_EQ(driveOf("/media/usb/inner/../b.mid", points), "/media/usb");
    EXPECT_EQ(driveOf("/media/usb/inner/b.mid", points), "/media/usb/inner");
}

TEST(Volumes, MaskMatchesSuffixesWithoutAsciiCaseAndGlobsByFnmatch)
{
    const NameMask mask("*.mid; *.wa~;song?.[ab]vi");
    for (const char* yes : {"a.mid", "A.MID", ".mid", "x.WA~", "song1.avi", "songX.bvi"})
        EXPECT_TRUE(mask.matches(yes)) << yes;
    for (const char* no : {"a.midi", "amid", "x.wav", "song12.avi", "a.m\xc4\xb0" "d"})
        EXPECT_FALSE(mask.matches(no)) << no;
    EXPECT_TRUE(NameMask("").matches("anything"));
}

TEST(Volumes, AbsolutePathsAreCleanedWithoutTouchingTheDisk)
{
    EXPECT_EQ(absolutePath("/a//b/./c/../d/"), "/a/b/d");
    EXPECT_EQ(absolutePath("/.."), "/");
    EXPECT_EQ(absolutePath("/"), "/");
    EXPECT_EQ(absolutePath("x"), absolutePath(currentFolder() + "/x"));
}
