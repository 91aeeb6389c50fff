#include "platform/base/process.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace {

class PathSetting {
public:
    explicit PathSetting(const std::string& path) : old_(std::getenv("PATH")) { ::setenv("PATH", path.c_str(), 1); }
    ~PathSetting() { ::setenv("PATH", old_.c_str(), 1); }

private:
    std::string old_;
};

std::string script(const testing_support::TempDir& dir, const std::string& name, const std::string& body)
{
    const std::string path = dir.write(name, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

} // namespace

TEST(FindInPath, PassesOverWhatCannotRunAndTellsDeniedFromMissing)
{
    testing_support::TempDir dir;
    ::chmod(dir.write("plain/tool", "#!/bin/sh\n").c_str(), 0644);
    std::filesystem::create_directories(dir / "folder/tool");
    const std::string tool = script(dir, "bin/tool", "");
    const std::string plain = (dir / "plain").string(), folder = (dir / "folder").string();

    bool denied = false;
    {
        PathSetting path(plain + ":" + folder + ":" + (dir / "bin").string());
        EXPECT_EQ(base::process::findInPath("tool", &denied), tool);
        EXPECT_TRUE(denied);
    }
    {
        denied = false;
        PathSetting path(plain + ":" + folder);
        EXPECT_EQ(base::process::findInPath("tool", &denied), "");
        EXPECT_TRUE(denied);
    }
    {
        denied = false;
        PathSetting path(folder);
        EXPECT_EQ(base::process::findInPath("tool", &denied), "");
        EXPECT_FALSE(denied) << "a folder of that name is no program, not a forbidden one";
    }
}

TEST(RunAndWait, ReturnsWhenTheProgramHasEndedWithItsExitStatus)
{
    testing_support::TempDir dir;
    const std::string builder = script(dir, "builder", "sleep 0.2\necho built > \"$1\"\nexit 3\n");
    const std::string out = (dir / "out").string();
    EXPECT_EQ(base::process::runAndWait(builder, {"builder", out}), 3);
    EXPECT_EQ(testing_support::readFile(out), "built\n");
    EXPECT_EQ(base::process::runAndWait((dir / "missing").string(), {"missing"}), -1);
}
