#include "platform/shell/shell.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::TempDir;

namespace {

// A folder of fake programs put first in PATH; each writes a report line
// (its name, parent process, working folder and arguments) into a FIFO that
// the test reads without polling the disk.
class FakePrograms {
public:
    FakePrograms() : fifo_((dir_ / "report").string())
    {
        ::chmod(dir_.str().c_str(), 0755);
        ::mkfifo(fifo_.c_str(), 0600);
        // Non-blocking open: the writer's open then succeeds at once.
        reader_ = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        // Our own writer end keeps the FIFO from reporting hang-up between programs.
        keepOpen_ = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (const char* path = std::getenv("PATH"))
            oldPath_ = path;
        ::setenv("PATH", (dir_.str() + "/bin").c_str(), 1);
        std::filesystem::create_directory(dir_ / "bin");
    }
    ~FakePrograms()
    {
        ::setenv("PATH", oldPath_.c_str(), 1);
        ::close(keepOpen_);
        ::close(reader_);
    }

    std::string add(const std::string& name) const
    {
        const std::string script = "#!/bin/sh\nline=\"${0##*/}|$PPID|$PWD\"\n"
                                   "for a in \"$@\"; do line=\"$line|$a\"; done\n"
                                   "printf '%s\\n' \"$line\" > " + fifo_ + "\n";
        const auto path = dir_.write("bin/" + name, script);
        ::chmod(path.c_str(), 0755);
        return path;
    }

    // The next report line, or nothing when no program wrote one in time.
    std::optional<std::string> report()
    {
        std::string line;
        char c;
        for (;;) {
            const ssize_t n = ::read(reader_, &c, 1);
            if (n == 1 && c == '\n')
                return line;
            if (n == 1) {
                line += c;
                continue;
            }
            pollfd p{reader_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0)
                return std::nullopt;
        }
    }

    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    std::string fifo_;
    int reader_ = -1;
    int keepOpen_ = -1;
    std::string oldPath_;
};

} // namespace

TEST(ShellExecute, MissingOrUnrunnableProgramsGiveWindowsCodes)
{
    FakePrograms fakes;
    const TempDir& dir = fakes.dir();
    EXPECT_EQ(shell::execute("", ""), shell::ErrFileNotFound);
    EXPECT_EQ(shell::execute("no-such-editor", "x.mid"), shell::ErrFileNotFound);
    EXPECT_EQ(shell::execute((dir / "missing").string(), ""), shell::ErrFileNotFound);
    EXPECT_EQ(shell::execute((dir / "no/such/editor").string(), ""), shell::ErrPathNotFound);

    const auto script = dir.write("editor.sh", "#!/bin/sh\nexit 0\n");
    ::chmod(script.c_str(), 0644);
    EXPECT_EQ(shell::execute(script, ""), shell::ErrAccessDenied);

    const auto windows = dir.write("EDIT.EXE", "MZ\x90\0");
    ::chmod(windows.c_str(), 0644);
    EXPECT_EQ(shell::execute(windows, ""), shell::ErrBadFormat);

    const auto garbage = dir.write("garbage", std::string("\x01\x02\x03\x04", 4));
    ::chmod(garbage.c_str(), 0755);
    EXPECT_EQ(shell::execute(garbage, ""), shell::ErrBadFormat);

    const auto noInterpreter = dir.write("broken", "#!/no/such/interpreter\n");
    ::chmod(noInterpreter.c_str(), 0755);
    EXPECT_EQ(shell::execute(noInterpreter, ""), shell::ErrFileNotFound);

    fakes.add("editor");
    EXPECT_EQ(shell::execute("editor", "", (dir / "no/such/folder").string()), shell::ErrPathNotFound);
}

TEST(ShellExecute, StartsProgramDetachedWithSplitParameters)
{
    FakePrograms fakes;
    const std::string path = fakes.add("editor");
    std::filesystem::create_directory(fakes.dir() / "work");
    const std::string song = "/home/u/My \"Songs\"/a b.mid";

    EXPECT_GT(shell::execute(path, shell::quoteParameter(song) + " -x", (fakes.dir() / "work").string()), 32);
    const auto line = fakes.report();
    ASSERT_TRUE(line);
    const auto firstBar = line->find('|');
    const auto secondBar = line->find('|', firstBar + 1);
    EXPECT_NE(line->substr(firstBar + 1, secondBar - firstBar - 1), std::to_string(::getpid()))
        << "the program must not be our child";
    EXPECT_EQ(line->substr(secondBar + 1), (fakes.dir() / "work").string() + "|" + song + "|-x");

    // A bare name is found in PATH; nothing is left for us to reap.
    EXPECT_GT(shell::execute("editor", "one"), 32);
    ASSERT_TRUE(fakes.report());
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ShellExecute, DocumentsGoToTheDesktopOpener)
{
    FakePrograms fakes;
    const auto document = fakes.dir().write("notes.txt", "plain text");
    ::chmod(document.c_str(), 0644);
    EXPECT_EQ(shell::execute(document, "ignored"), shell::ErrNoAssociation) << "no opener installed";

    fakes.add("xdg-open");
    EXPECT_GT(shell::execute(document, "ignored"), 32);
    auto line = fakes.report();
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->starts_with("xdg-open|")) << *line;
    EXPECT_TRUE(line->ends_with("|" + document)) << *line;

    EXPECT_GT(shell::execute(fakes.dir().str(), ""), 32);
    line = fakes.report();
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->ends_with("|" + fakes.dir().str())) << *line;
}

TEST(ShellExecute, WindowsProgramNamesMapToDesktopPrograms)
{
    FakePrograms fakes;
    const std::string multimedia = "shell32,Control_RunDLL MMSYS.CPL,Multimedia";
    EXPECT_EQ(shell::execute("RUNDLL32.EXE", multimedia), shell::ErrFileNotFound);
    EXPECT_EQ(shell::execute("sndrec32.exe", "/tmp/a.wav"), shell::ErrFileNotFound);

    fakes.add("gnome-control-center");
    EXPECT_GT(shell::execute("RUNDLL32.EXE", multimedia), 32);
    auto line = fakes.report();
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->starts_with("gnome-control-center|")) << *line;
    EXPECT_TRUE(line->ends_with("|sound")) << *line;
    // Other control-panel applets have no counterpart.
    EXPECT_EQ(shell::execute("rundll32.exe", "shell32,Control_RunDLL desk.cpl"), shell::ErrFileNotFound);

    fakes.add("pavucontrol"); // preferred over the desktop's settings
    EXPECT_GT(shell::execute("rundll32.exe", multimedia), 32);
    line = fakes.report();
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->starts_with("pavucontrol|")) << *line;

    fakes.add("audacity");
    EXPECT_GT(shell::execute("SNDREC32.EXE", "\"/tmp/My Sounds/a.wav\""), 32);
    line = fakes.report();
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->starts_with("audacity|")) << *line;
    EXPECT_TRUE(line->ends_with("|/tmp/My Sounds/a.wav")) << *line;
}
