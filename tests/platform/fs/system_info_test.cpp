#include "platform/fs/kernel.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace {

// Sets an environment variable for one test and puts the old value back.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvVar() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(WindowsDirectory, OverrideThenDataHomeThenHomeAndCreated)
{
    testing_support::TempDir dir;
    {
        EnvVar own("QUORVANA_WINDIR", (dir / "win/dir/").c_str());
        EXPECT_EQ(kernel::windowsDirectory(), (dir / "win/dir").string());
        EXPECT_TRUE(std::filesystem::is_directory(dir / "win/dir"));
    }
    EnvVar own("QUORVANA_WINDIR", nullptr);
    {
        EnvVar data("XDG_DATA_HOME", (dir / "data").c_str());
        EXPECT_EQ(kernel::windowsDirectory(), (dir / "data/quorvana").string());
        EXPECT_TRUE(std::filesystem::is_directory(dir / "data/quorvana"));
    }
    EnvVar relative("XDG_DATA_HOME", "relative/path");
    EnvVar home("HOME", dir.str().c_str());
    EXPECT_EQ(kernel::windowsDirectory(), (dir / ".local/share/quorvana").string());
    EXPECT_TRUE(std::filesystem::is_directory(dir / ".local/share/quorvana"));
}

TEST(IniPath, ReplacesOrAppendsTheExtension)
{
    EXPECT_EQ(kernel::iniPathFor("/usr/bin/quorvana"), "/usr/bin/quorvana.INI");
    EXPECT_EQ(kernel::iniPathFor("/opt/q/QUORVANA.EXE"), "/opt/q/QUORVANA.INI");
    EXPECT_EQ(kernel::iniPathFor("/opt/q.v2/quorvana"), "/opt/q.v2/quorvana.INI");
    EXPECT_EQ(kernel::iniPathFor("/opt/a.b.c"), "/opt/a.b.INI");
    EXPECT_EQ(kernel::iniPathFor("quorvana"), "quorvana.INI");
}

TEST(ModuleFileName, IsThisExecutable)
{
    const std::string self = kernel::moduleFileName();
    EXPECT_EQ(self, std::filesystem::canonical("/proc/self/exe").string());
    EXPECT_EQ(std::filesystem::path(self).filename(), "fs_test");
}

TEST(TickCount, AdvancesInMilliseconds)
{
    const uint32_t before = kernel::tickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t elapsed = kernel::tickCount() - before; // wraps like the Windows counter
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 5000u);
}
