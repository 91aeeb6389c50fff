#include "platform/shell/shell.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Fake programs in a folder that is the whole PATH. Each writes one line to a
// FIFO: its name, its parent's pid, its working folder and its arguments.
class FakePrograms {
public:
    FakePrograms() : fifo_((dir / "report").string()), oldPath_(std::getenv("PATH"))
    {
        ::mkfifo(fifo_.c_str(), 0600);
        reader_ = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        writer_ = ::open(fifo_.c_str(), O_WRONLY | O_CLOEXEC); // no hang-up between programs
        ::setenv("PATH", (dir / "bin").c_str(), 1);
    }
    ~FakePrograms()
    {
        ::setenv("PATH", oldPath_.c_str(), 1);
        ::close(writer_);
        ::close(reader_);
    }

    std::string add(const std::string& name) const
    {
        const auto path = dir.write("bin/" + name, "#!/bin/sh\nline=\"${0##*/}|$PPID|$PWD\"\n"
                                                   "for a in \"$@\"; do line=\"$line|$a\"; done\n"
                                                   "printf '%s\\n' \"$line\" > " + fifo_ + "\n");
        ::chmod(path.c_str(), 0755);
        return path;
    }

    // The report of what FILE started for PARAMETERS, or why there is none.
    std::string started(const std::string& file, const std::string& parameters) const
    {
        return shell::execute(file, parameters) > 32 ? report().value_or("(no report)") : "(not started)";
    }

    // The next report, or nothing when no program wrote one within 10 s.
    std::optional<std::string> report() const
    {
        std::string line;
        for (char c;;) {
            if (::read(reader_, &c, 1) == 1) {
                if (c == '\n')
                    return line;
                line += c;
            } else if (pollfd p{reader_, POLLIN, 0}; ::poll(&p, 1, 10000) <= 0) {
                return std::nullopt;
            }
        }
    }

    testing_support::TempDir dir;

private:
    std::string fifo_;
    std::string oldPath_;
    int reader_ = -1;
    int writer_ = -1;
};

} // namespace

TEST(ShellExecute, MissingOrUnrunnableProgramsGiveWindowsCodes)
{
    FakePrograms fakes;
    const auto& dir = fakes.dir;
    EXPECT_EQ(shell::execute("", ""), shell::ErrFileNotFound);
    EXPECT_EQ(shell::execute((dir / "missing").string(), ""), shell::ErrFileNotFound);
    EXPECT_EQ(shell::execute((dir / "no/such/editor").string(), ""), shell::ErrPathNotFound);

    const auto file = [&](const std::string& name, const std::string& bytes, mode_t mode) {
        const auto path = dir.write(name, bytes);
        ::chmod(path.c_str(), mode);
        return path;
    };
    EXPECT_EQ(shell::execute(file("editor.sh", "#!/bin/sh\n", 0644), ""), shell::ErrAccessDenied);
    EXPECT_EQ(shell::execute(file("EDIT.EXE", "MZ\x90", 0644), ""), shell::ErrBadFormat);
    EXPECT_EQ(shell::execute(file("garbage", "\x01\x02\x03", 0755), ""), shell::ErrBadFormat);
    fakes.add("editor");
    EXPECT_EQ(shell::execute("editor", "", (dir / "no/such/folder").string()), shell::ErrPathNotFound);
}

TEST(ShellExecute, StartsProgramDetachedWithSplitParameters)
{
    FakePrograms fakes;
    const std::string work = (fakes.dir / "work").string();
    std::filesystem::create_directory(work);
    const std::string song = "/home/u/My \"Songs\"/a b.mid";
    EXPECT_GT(shell::execute(fakes.add("editor"), shell::quoteParameter(song) + " -x", work), 32);
    const auto line = fakes.report();
    ASSERT_TRUE(line);
    const auto bar = line->find('|', 7);
    EXPECT_NE(line->substr(7, bar - 7), std::to_string(::getpid())) << "the program must not be our child";
    EXPECT_EQ(line->substr(bar + 1), work + "|" + song + "|-x");

    // A bare name is found in PATH; nothing is left for us to reap.
    EXPECT_GT(shell::execute("editor", "one"), 32);
    ASSERT_TRUE(fakes.report());
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ShellExecute, DocumentsAndWindowsProgramNamesGoToOurPanelAndDesktopPrograms)
{
    FakePrograms fakes;
    const auto document = fakes.dir.write("notes.txt", "plain text");
    const std::string multimedia = "shell32,Control_RunDLL MMSYS.CPL,Multimedia";
    EXPECT_EQ(shell::execute(document, "ignored"), shell::ErrNoAssociation);
    EXPECT_EQ(shell::execute("sndrec32.exe", "/tmp/a.wav"), shell::ErrFileNotFound);

    fakes.add("xdg-open");
    EXPECT_EQ(fakes.started(document, "ignored").substr(0, 9), "xdg-open|");
    EXPECT_TRUE(fakes.started(fakes.dir.str(), "").ends_with("|" + fakes.dir.str()));

    // The control panel is the panel the program hands in, whether or not
    // the desktop has a mixer.
    EXPECT_EQ(shell::execute("RUNDLL32.EXE", multimedia), shell::ErrFileNotFound) << "none handed in";
    const std::string player = fakes.add("quorvana");
    const shell::Desktop before = shell::setDesktop({player, {"quorvana", "--panel"}, {}});
    const auto panel = fakes.started("RUNDLL32.EXE", multimedia);
    EXPECT_TRUE(panel.starts_with("quorvana|") && panel.ends_with("|--panel")) << panel;
    EXPECT_EQ(std::count(panel.begin(), panel.end(), '|'), 3) << "one argument: " << panel;
    EXPECT_EQ(shell::execute("rundll32.exe", "shell32,Control_RunDLL desk.cpl"), shell::ErrFileNotFound);
    shell::setDesktop(before);

    // The desktop's mixer is what the panel's button opens.
    EXPECT_FALSE(shell::soundSettingsInstalled());
    EXPECT_EQ(shell::openSoundSettings(), shell::ErrFileNotFound);
    fakes.add("gnome-control-center");
    EXPECT_TRUE(shell::soundSettingsInstalled());
    EXPECT_GT(shell::openSoundSettings(), 32);
    EXPECT_TRUE(fakes.report().value_or("").ends_with("|sound"));
    fakes.add("pavucontrol"); // preferred over the desktop's settings
    EXPECT_GT(shell::openSoundSettings(), 32);
    EXPECT_EQ(fakes.report().value_or("").substr(0, 12), "pavucontrol|");

    fakes.add("audacity");
    const auto line = fakes.started("SNDREC32.EXE", "\"/tmp/My Sounds/a.wav\"");
    EXPECT_TRUE(line.starts_with("audacity|") && line.ends_with("|/tmp/My Sounds/a.wav")) << line;
}

namespace {

// Environment variables set for a test and put back after it.
class ScopedEnvironment {
public:
    void set(const char* name, const std::string& value)
    {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->second ? ::setenv(it->first, it->second->c_str(), 1) : ::unsetenv(it->first);
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// A desktop of the test's own: its applications, its mimeapps.list, and the
// system's MIME database to tell a wave from anything else; the program
// under test is "quorvana.desktop".
struct OwnDesktop {
    explicit OwnDesktop(const FakePrograms& fakes) : fakes(fakes)
    {
        env.set("XDG_DATA_HOME", (fakes.dir / "data").string());
        env.set("XDG_CONFIG_HOME", (fakes.dir / "config").string());
        env.set("XDG_DATA_DIRS", (fakes.dir / "share").string());
        env.set("XDG_CONFIG_DIRS", (fakes.dir / "etc").string());
        std::filesystem::create_directories(fakes.dir / "share");
        std::filesystem::create_directory_symlink("/usr/share/mime", fakes.dir / "share/mime");
        saved = shell::setDesktop({{}, {}, "quorvana.desktop"});
    }
    ~OwnDesktop() { shell::setDesktop(saved); }

    // An application of the desktop for TYPE in CATEGORIES, started as the
    // fake program NAME, indexed as update-desktop-database does.
    void addApplication(
        const std::string& id, const std::string& name, const std::string& type, const std::string& categories)
    {
        fakes.dir.write("data/applications/" + id,
            "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + fakes.add(name) + " %f\nMimeType=" + type
                + ";\nCategories=" + categories + "\n");
        index += id + ";";
        fakes.dir.write("data/applications/mimeinfo.cache", "[MIME Cache]\n" + type + "=" + index + "\n");
    }
    void setDefault(const std::string& type, const std::string& id) const
    {
        fakes.dir.write("config/mimeapps.list", "[Default Applications]\n" + type + "=" + id + ";\n");
    }

    const FakePrograms& fakes;
    std::string index;
    ScopedEnvironment env;
    shell::Desktop saved;
};

} // namespace

// Edit File with a Windows editor name once started the desktop's default
// for the file, a player that plays the wave and ends: only an application
// that edits stands in for an editor.
TEST(ShellExecute, AWindowsEditorOpensTheFileOnlyWithAnApplicationThatEdits)
{
    if (!std::filesystem::exists("/usr/bin/gio") || !std::filesystem::exists("/usr/share/mime/globs2"))
        GTEST_SKIP() << "needs glib's gio and the shared MIME database";
    FakePrograms fakes;
    fakes.add("gio");
    std::filesystem::remove(fakes.dir / "bin/gio");
    std::filesystem::create_symlink("/usr/bin/gio", fakes.dir / "bin/gio");
    OwnDesktop desktop(fakes);
    const std::string path = fakes.dir.write("My Sounds/a.wav", "RIFF....WAVEfmt ");
    const std::string wave = shell::quoteParameter(path);
    const std::string coolEdit = R"(C:\Programme\CoolEdit\COOL.EXE)";
    desktop.addApplication("quorvana.desktop", "quorvana", "audio/x-wav", "AudioVideo;Audio;Player;");
    desktop.addApplication("org.example.Player.desktop", "player", "audio/x-wav", "AudioVideo;Audio;Player;");
    desktop.addApplication("org.example.Converter.desktop", "converter", "audio/x-wav", "GTK;AudioVideo;Audio;");
    desktop.addApplication("org.example.Notes.desktop", "notes", "audio/x-wav", "Utility;");
    desktop.setDefault("audio/x-wav", "quorvana.desktop");

    testing::internal::CaptureStderr();
    EXPECT_EQ(shell::execute("sndrec32.exe", wave), shell::ErrNoAssociation) << "ourselves";
    desktop.setDefault("audio/x-wav", "org.example.Player.desktop");
    EXPECT_EQ(shell::execute(coolEdit, wave), shell::ErrNoAssociation) << "a player, or not the default";
    const std::string complaint = testing::internal::GetCapturedStderr();
    EXPECT_NE(complaint.find(": no application of the desktop edits audio/x-wav"), std::string::npos) << complaint;

    // The user's own default that is no audio or video application is taken
    // as chosen; an editor counts wherever it stands.
    desktop.setDefault("audio/x-wav", "org.example.Notes.desktop");
    EXPECT_EQ(fakes.started("sndrec32.exe", wave).substr(0, 6), "notes|");
    desktop.setDefault("audio/x-wav", "org.example.Player.desktop");
    desktop.addApplication(
        "org.example.WaveEditor.desktop", "waveeditor", "audio/x-wav", "AudioVideo;AudioVideoEditing;");
    const std::string line = fakes.started(coolEdit, wave);
    EXPECT_TRUE(line.starts_with("waveeditor|") && line.ends_with("|" + path)) << line;
}

// Without gio, xdg-utils name the type's default alone.
TEST(ShellExecute, WithoutGioOnlyADefaultThatEditsOpensTheFile)
{
    FakePrograms fakes;
    OwnDesktop desktop(fakes);
    const std::string saved = fakes.dir.write("default", "quorvana.desktop\n");
    const auto mime = fakes.dir.write("bin/xdg-mime",
        "#!/bin/sh\n[ \"$2\" = filetype ] && echo audio/x-wav && exit 0\n"
        "[ \"$2 $3\" = \"default audio/x-wav\" ] && read -r id < "
            + saved + " && echo \"$id\"\n");
    ::chmod(mime.c_str(), 0755);
    fakes.add("xdg-open");
    desktop.addApplication("quorvana.desktop", "quorvana", "audio/x-wav", "AudioVideo;Audio;Player;");
    desktop.addApplication("vlc.desktop", "vlc", "audio/x-wav", "AudioVideo;Player;Recorder;");
    desktop.addApplication("audacity.desktop", "audacity-entry", "audio/x-wav", "AudioVideo;Audio;AudioVideoEditing;");
    testing::internal::CaptureStderr();
    EXPECT_EQ(shell::execute("sndrec32.exe", "/tmp/a.wav"), shell::ErrNoAssociation);
    fakes.dir.write("default", "vlc.desktop\n");
    EXPECT_EQ(shell::execute("sndrec32.exe", "/tmp/a.wav"), shell::ErrNoAssociation);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("audio/x-wav"), std::string::npos);

    fakes.dir.write("default", "audacity.desktop\n");
    const std::string line = fakes.started("sndrec32.exe", "/tmp/a.wav");
    EXPECT_TRUE(line.starts_with("xdg-open|") && line.ends_with("|/tmp/a.wav")) << line;
}

// A Windows editor's name where the desktop cannot say which application
// edits: the user is asked for an editor, as for one that does not start.
TEST(ShellExecute, WindowsProgramsThisSystemLacksWithoutTheDesktopsToolsStartNothing)
{
    FakePrograms fakes;
    const std::string sound = "\"/tmp/My Sounds/a.wav\"";
    EXPECT_EQ(shell::execute("CoolEdit.EXE", sound), shell::ErrFileNotFound) << "no opener installed";
    fakes.add("xdg-open");
    EXPECT_EQ(shell::execute("sndrec32.exe", sound), shell::ErrFileNotFound) << "xdg-open cannot tell an editor";

    // A Linux program that is missing stays an error the user must fix.
    EXPECT_EQ(fakes.started("cooledit", sound), "(not started)");
    EXPECT_EQ(fakes.started("sndrec32", ""), "(not started)") << "nothing to open";
}
