// The soundfont list from folders of a temporary tree, and which soundfont
// the built-in synthesizer takes.
#include "platform/midi/soundfonts.h"
#include "platform/multimedia/choices.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

std::string le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::string chunk(const std::string& id, const std::string& body)
{
    return id + le32(uint32_t(body.size())) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

// The head of a soundfont: its INFO list, with a name when NAME is given.
std::string soundfontBytes(const std::string& name)
{
    std::string info = "INFO" + chunk("ifil", std::string{2, 0, 1, 0});
    if (!name.empty())
        info += chunk("INAM", name + std::string(1, '\0'));
    return chunk("RIFF", "sfbk" + chunk("LIST", info));
}

} // namespace

TEST(Soundfonts, ListedFolderByFolderUnderTheirOwnNamesEachFileOnce)
{
    testing_support::TempDir dir;
    dir.write("system/sf2/Zebra.sf2", soundfontBytes("Zebra Piano Set"));
    dir.write("system/sf2/GeneralUser.SF2", soundfontBytes("GeneralUser GS v1.47"));
    dir.write("system/sf2/notes.txt", soundfontBytes("not by its extension"));
    dir.write("system/sf2/broken.sf2", "RIFF\x04\0\0\0WAVE");
    std::filesystem::create_symlink(dir / "system/sf2/Zebra.sf2", dir / "system/sf2/default-GM.sf2");
    dir.write("system/sf2/piano.sf2", soundfontBytes("Piano"));
    std::filesystem::create_symlink("piano.sf2", dir / "system/sf2/alias.sf2"); // sorts first, listed as the file
    ::mkfifo((dir / "system/sf2/pipe.sf2").c_str(), 0600); // must not hang the list
    dir.write("user/Orchestras/Strings/chamber.sf3", soundfontBytes(""));

    const auto found = midi::findSoundfonts({(dir / "system/sf2").string(), (dir / "nowhere").string(),
                                             (dir / "user").string()});
    const std::vector<midi::SoundfontFile> expected = {
        {(dir / "system/sf2/GeneralUser.SF2").string(), "GeneralUser GS v1.47"},
        {(dir / "system/sf2/Zebra.sf2").string(), "Zebra Piano Set"},
        {(dir / "system/sf2/piano.sf2").string(), "Piano"},
        {(dir / "user/Orchestras/Strings/chamber.sf3").string(), "chamber.sf3"},
    };
    EXPECT_EQ(found, expected);
}

TEST(Soundfonts, OverrideWinsOverTheStoredChoiceWhichWinsOverTheSystems)
{
    testing_support::TempDir dir;
    multimedia::Choices choices;
    choices.soundfont = dir.write("stored.sf2", soundfontBytes("Stored"));
    const std::string named = dir.write("named.sf2", soundfontBytes("Named"));
    std::string error;
    EXPECT_EQ(midi::findSoundfont(choices, error), choices.soundfont);
    choices.overrides.soundfont = named;
    EXPECT_EQ(midi::findSoundfont(choices, error), named);

    const std::string gone = (dir / "gone.sf2").string();
    choices.overrides.soundfont.clear();
    choices.soundfont = gone;
    error.clear();
    EXPECT_EQ(midi::findSoundfont(choices, error), "");
    EXPECT_NE(error.find(gone), std::string::npos) << error;

    EXPECT_EQ(midi::findSoundfont(multimedia::Choices {}, error), midi::systemSoundfont());
}

// timgm6mb-soundfont alone gives the system a default, with or without the
// alternatives link; the list shows that file once, as the default.
TEST(Soundfonts, TimGM6mbAloneIsTheSystemsDefault)
{
    testing_support::TempDir share;
    const std::string tim = share.write("sounds/sf2/TimGM6mb.sf2", soundfontBytes("TimGM6mb"));
    EXPECT_EQ(midi::systemSoundfont(share.str()), tim);
    std::filesystem::create_symlink(tim, share / "sounds/sf2/default-GM.sf2");
    std::filesystem::create_directories(share / "sounds/sf3");
    std::filesystem::create_symlink(tim, share / "sounds/sf3/default-GM.sf3");
    const std::string system = midi::systemSoundfont(share.str());
    EXPECT_EQ(system, (share / "sounds/sf2/default-GM.sf2").string());

    const std::vector<std::string> folders = {(share / "sounds/sf2").string(), (share / "sounds/sf3").string()};
    EXPECT_EQ(midi::findSoundfonts(folders), (std::vector<midi::SoundfontFile> {{tim, "TimGM6mb"}}));
    EXPECT_TRUE(midi::findSoundfonts(folders, system).empty());
}
