#include "platform/fs/system_info.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

TEST(WindowsDirectory, OverrideThenDataHomeThenHomeAndCreated)
{
    testing_support::TempDir dir;
    const std::string saved[] = {std::getenv("QUORVANA_WINDIR"), std::getenv("XDG_DATA_HOME"), std::getenv("HOME")};
    ::setenv("QUORVANA_WINDIR", (dir / "win/dir/").c_str(), 1);
    EXPECT_EQ(kernel::windowsDirectory(), (dir / "win/dir").string());
    ::unsetenv("QUORVANA_WINDIR");
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    EXPECT_EQ(kernel::windowsDirectory(), (dir / "data/quorvana").string());
    ::setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    ::setenv("HOME", dir.str().c_str(), 1);
    EXPECT_EQ(kernel::windowsDirectory(), (dir / ".local/share/quorvana").string());
    for (const char* made : {"win/dir", "data/quorvana", ".local/share/quorvana"})
        EXPECT_TRUE(std::filesystem::is_directory(dir / made)) << made;
    ::setenv("QUORVANA_WINDIR", saved[0].c_str(), 1);
    ::setenv("XDG_DATA_HOME", saved[1].c_str(), 1);
    ::setenv("HOME", saved[2].c_str(), 1);
}

TEST(IniPath, ReplacesOrAppendsTheExtension)
{
    EXPECT_EQ(kernel::iniPathFor("/usr/bin/quorvana"), "/usr/bin/quorvana.INI");
    EXPECT_EQ(kernel::iniPathFor("/opt/q/QUORVANA.EXE"), "/opt/q/QUORVANA.INI");
    EXPECT_EQ(kernel::iniPathFor("/opt/q.v2/quorvana"), "/opt/q.v2/quorvana.INI");
    EXPECT_EQ(kernel::iniPathFor("quorvana"), "quorvana.INI");
    EXPECT_EQ(kernel::moduleFileName(), std::filesystem::canonical("/proc/self/exe").string());
}
