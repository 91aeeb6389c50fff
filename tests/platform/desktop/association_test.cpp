#include "platform/desktop/association.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace desktop;
using testing_support::readFile;
using testing_support::TempDir;

namespace {

bool installed(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

class DesktopAssociation : public testing::Test {
protected:
    void SetUp() override
    {
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        unsetenv("XDG_DATA_DIRS");
    }

    std::string entry() const { return readFile(dir_ / "data" / "applications" / "quorvana.desktop"); }
    std::string mimeapps() const { return readFile(dir_ / "config" / "mimeapps.list"); }

    TempDir dir_;
    const std::vector<OwnType> own_ {
        {".wa~", "audio/x-quorvana-wave-backup", "audio/x-wav", "Wave sound (backup copy)"}};
};

} // namespace

TEST(MimeappsList, DefaultChangesOnlyTheLinesOfItsType)
{
    const std::string before = "# kept as it is\n"
                               "[Added Associations]\n"
                               "audio/midi=vlc.desktop;\n"
                               "\n"
                               "[Default Applications]\n"
                               "text/plain=gedit.desktop\n"
                               "audio/midi = timidity.desktop;quorvana.desktop;vlc.desktop\n"
                               "\n"
                               "[Removed Associations]\n"
                               "audio/x-wav=foo.desktop;\n";
    EXPECT_EQ(withDefault(before, "audio/midi", "quorvana.desktop"),
              "# kept as it is\n"
              "[Added Associations]\n"
              "audio/midi=quorvana.desktop;vlc.desktop;\n"
              "\n"
              "[Default Applications]\n"
              "text/plain=gedit.desktop\n"
              "audio/midi=quorvana.desktop;timidity.desktop;vlc.desktop;\n"
              "\n"
              "[Removed Associations]\n"
              "audio/x-wav=foo.desktop;\n");

    // A type without a line gets one at the end of each group.
    const std::string added = withDefault(before, "video/x-msvideo", "quorvana.desktop");
    EXPECT_NE(added.find("vlc.desktop;\nvideo/x-msvideo=quorvana.desktop;\n\n[Default"), std::string::npos);
    EXPECT_NE(added.find("vlc.desktop\nvideo/x-msvideo=quorvana.desktop;\n\n[Removed"), std::string::npos);
    EXPECT_EQ(added.size(), before.size() + 2 * std::string("video/x-msvideo=quorvana.desktop;\n").size());

    // No group, no file, no final line break.
    EXPECT_EQ(withEntryFirst("", "Default Applications", "audio/midi", "q.desktop"),
              "[Default Applications]\naudio/midi=q.desktop;\n");
    EXPECT_EQ(withEntryFirst("[Added Associations]\nx/y=a.desktop;", "Default Applications", "audio/midi", "q.desktop"),
              "[Added Associations]\nx/y=a.desktop;\n\n[Default Applications]\naudio/midi=q.desktop;\n");
    EXPECT_EQ(withEntryFirst("[Default Applications]\naudio/midi=a.desktop", "Default Applications", "audio/midi",
                             "q.desktop"),
              "[Default Applications]\naudio/midi=q.desktop;a.desktop;");
}

TEST(DesktopEntry, ExecQuotesOnlyWhatNeedsQuoting)
{
    EXPECT_EQ(execLine("/usr/bin/quorvana"), "/usr/bin/quorvana %f");
    EXPECT_EQ(execLine("/opt/my player/quorvana"), "\"/opt/my player/quorvana\" %f");
    EXPECT_EQ(execLine("/opt/100%/q$\"x\""), "\"/opt/100%%/q\\\\$\\\\\"x\\\\\"\" %f");
}

TEST(DesktopEntry, PlayerIsFoundInItsOpenCommand)
{
    const std::string self = moduleFileName();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(playerIn(self + " %1"), self);
    EXPECT_EQ(playerIn(self), self);
    EXPECT_EQ(playerIn("\"" + self + "\" \"%1\""), self);
    EXPECT_EQ(playerIn("  " + self + " %1"), self);
    EXPECT_EQ(playerIn("/usr/bin/timidity %1"), std::nullopt);
    EXPECT_EQ(playerIn(self + "x %1"), std::nullopt);
    EXPECT_EQ(playerIn("\"" + self), std::nullopt);
    EXPECT_EQ(playerIn(""), std::nullopt);

    // Started through a link, it is still this program.
    TempDir dir;
    const auto link = dir / "quorvana";
    std::filesystem::create_symlink(self, link);
    EXPECT_EQ(playerIn(link.string() + " %1"), link.string());
}

TEST_F(DesktopAssociation, KnownTypesGetTheDefaultAndTheEntryListsThemAll)
{
    const std::string self = moduleFileName();
    ASSERT_TRUE(associate(".MID", self, own_));
    ASSERT_TRUE(associate(".avi", self, own_));
    EXPECT_NE(entry().find("\nExec=" + self + " %f\n"), std::string::npos);
    EXPECT_NE(entry().find("\nMimeType=audio/midi;video/x-msvideo;\n"), std::string::npos);
    EXPECT_EQ(mimeapps(), "[Default Applications]\n"
                          "audio/midi=quorvana.desktop;\n"
                          "video/x-msvideo=quorvana.desktop;\n"
                          "\n"
                          "[Added Associations]\n"
                          "audio/midi=quorvana.desktop;\n"
                          "video/x-msvideo=quorvana.desktop;\n");
    // Known types need no glob of ours.
    EXPECT_FALSE(std::filesystem::exists(dir_ / "data" / "mime" / "packages"));

    // Associating again changes nothing.
    const std::string before = mimeapps() + entry();
    ASSERT_TRUE(associate(".mid", self, own_));
    EXPECT_EQ(mimeapps() + entry(), before);
}

TEST_F(DesktopAssociation, AnInstalledPlayerIsNamedByItsInstalledEntry)
{
    const std::string self = moduleFileName();
    ASSERT_TRUE(associate(".mid", self, own_));
    ASSERT_FALSE(entry().empty());

    dir_.write("usr/share/applications/quorvana.desktop", "[Desktop Entry]\n");
    const std::string installed = dir_.write("usr/bin/quorvana", "");
    ASSERT_TRUE(associate(".mid", installed, own_));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "data" / "applications" / "quorvana.desktop"))
        << "the user's own entry would hide the installed one";
    EXPECT_NE(mimeapps().find("[Default Applications]\naudio/midi=quorvana.desktop;\n"), std::string::npos);
}

TEST_F(DesktopAssociation, UnknownExtensionsGetATypeOfTheirOwn)
{
    if (!knownMimeType(".wa~").empty())
        GTEST_SKIP() << "this desktop knows .wa~ already";
    ASSERT_TRUE(associate(".wa~", moduleFileName(), own_));
    const std::string package = readFile(dir_ / "data" / "mime" / "packages" / "quorvana-wave-backup.xml");
    EXPECT_NE(package.find("<mime-type type=\"audio/x-quorvana-wave-backup\">"), std::string::npos);
    EXPECT_NE(package.find("<sub-class-of type=\"audio/x-wav\"/>"), std::string::npos);
    EXPECT_NE(package.find("<glob pattern=\"*.wa~\"/>"), std::string::npos);
    EXPECT_NE(mimeapps().find("audio/x-quorvana-wave-backup=quorvana.desktop;"), std::string::npos);
    // The .wav files of other programs stay theirs.
    EXPECT_EQ(mimeapps().find("audio/x-wav="), std::string::npos);
    if (installed("update-mime-database")) {
        EXPECT_EQ(knownMimeType(".WA~"), "audio/x-quorvana-wave-backup");
    }
    EXPECT_EQ(mimeTypeFor(".wa~", own_), "audio/x-quorvana-wave-backup");
}

TEST_F(DesktopAssociation, ExtensionsAGlobCannotCarryAreLeftToTheRegistry)
{
    for (const char* ext : {".a b", ".x<y>", ".", "", ".*", ".q\"uote"})
        EXPECT_TRUE(associate(ext, moduleFileName(), own_)) << ext;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "data"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "config"));

    // A program path that a desktop entry cannot hold is refused.
    std::string error;
    EXPECT_FALSE(associate(".mid", "/opt/q\nplayer", own_, &error));
    EXPECT_FALSE(error.empty());
}
