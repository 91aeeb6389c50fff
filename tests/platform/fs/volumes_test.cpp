// The volumes the browser offers and the volume of a path.
#include "platform/fs/volumes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

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

namespace {

// HOME and XDG_CONFIG_HOME inside a folder of the test's own, put back after.
struct OwnHome {
    TempDir dir;
    std::string home = (dir / "home").string();
    std::optional<std::string> oldHome = get("HOME"), oldConfig = get("XDG_CONFIG_HOME");
    OwnHome()
    {
        std::filesystem::create_directories(dir / "home");
        std::filesystem::create_directories(dir / "config");
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        setMountTable(dir.write("mounts", "/dev/vda / ext4 rw 0 0\n/dev/sdb1 " + home + "/usb vfat rw 0 0\n"));
    }
    ~OwnHome()
    {
        setMountTable("/proc/self/mounts");
        oldHome ? ::setenv("HOME", oldHome->c_str(), 1) : ::unsetenv("HOME");
        oldConfig ? ::setenv("XDG_CONFIG_HOME", oldConfig->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    }
    static std::optional<std::string> get(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    void userDirs(const std::string& lines) const { dir.write("config/user-dirs.dirs", lines); }
};

} // namespace

// The user's music lives in the home folder, which the browser once could
// reach only from "/".
TEST(Volumes, TheHomeAndMusicFoldersComeBeforeTheVolumes)
{
    OwnHome own;
    const std::string& home = own.home;
    std::filesystem::create_directories(home + "/usb");
    std::filesystem::create_directories(home + "/Meine \"Musik\"");
    const std::vector<Drive> volumesOnly {{home, "Home"}, {"/", "/"}, {home + "/usb", home + "/usb"}};
    EXPECT_EQ(drives(), volumesOnly) << "no user-dirs.dirs";
    own.userDirs("# written by xdg-user-dirs-update\nXDG_MUSIC_DIR=\"$HOME/\"\n");
    EXPECT_EQ(drives(), volumesOnly) << "turned off: the home folder itself";
    own.userDirs("XDG_MUSIC_DIR=\"$HOME/Gone\"\n");
    EXPECT_EQ(drives(), volumesOnly) << "not a folder";

    own.userDirs("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n  XDG_MUSIC_DIR=\"$HOME/Meine \\\"Musik\\\"\"\n");
    const std::string music = home + "/Meine \"Musik\"";
    EXPECT_EQ(userFolders(), (std::vector<Drive> {{home, "Home"}, {music, "Meine \"Musik\""}}));
    own.userDirs("XDG_MUSIC_DIR=\"" + (own.dir / "songs").string() + "\"\n");
    std::filesystem::create_directories(own.dir / "songs");
    EXPECT_EQ(userFolders().back(), (Drive {(own.dir / "songs").string(), "songs"})) << "an absolute path";

    // The most specific drive holds a path.
    own.userDirs("XDG_MUSIC_DIR=\"$HOME/Meine \\\"Musik\\\"\"\n");
    EXPECT_EQ(driveOf(home + "/Documents/a.mid"), home);
    EXPECT_EQ(driveOf(music + "/Bach/a.mid"), music);
    EXPECT_EQ(driveOf(home + "/usb/a.mid"), home + "/usb");
    EXPECT_EQ(driveOf(own.dir.str()), "/");

    ::setenv("HOME", "/", 1);
    EXPECT_EQ(drives().front(), (Drive {"/", "/"})) << "the root is no home folder of its own";
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
