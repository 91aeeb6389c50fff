#include "settings/editor_settings.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

using testing_support::TempDir;

TEST(EditorSettings, EditorChosenByUpperCasedExtension)
{
    const std::pair<const char*, const editor_settings::Entry*> cases[] = {
        {"/m/a.mid", &editor_settings::MidiEdit}, {"/m/a.RMI", &editor_settings::MidiEdit},
        {"/m/a.Bun", &editor_settings::MidiEdit}, {"/m/a.wav", &editor_settings::WavEdit},
        {"/m/a.wa~", &editor_settings::WavEdit},  {"/m/a.b.AVI", &editor_settings::AviEdit},
        {"/m/a.txt", nullptr},                    {"/m/a.midi", nullptr},
        {"/m.mid/noextension", nullptr},          {"", nullptr},
    };
    for (const auto& [path, entry] : cases)
        EXPECT_EQ(editor_settings::entryForFile(path), entry) << path;
}

TEST(EditorSettings, DefaultsOnlyForAbsentKeysAndTheReadLimit)
{
    TempDir dir;
    const auto file = (dir / "quorvana.INI").string();
    EXPECT_EQ(editor_settings::editorForFile(file, "/m/a.wav"), "sndrec32.exe");
    EXPECT_EQ(editor_settings::editorForFile(file, "/m/a.mid"), "");
    EXPECT_EQ(editor_settings::editorForFile(file, "/m/a.txt"), "");

    dir.write("quorvana.INI", "[quorvana]\r\nwavedit=\r\nmidiedit=" + std::string(1500, 'm') + "\r\n");
    EXPECT_EQ(editor_settings::editorForFile(file, "/m/a.WAV"), "");
    EXPECT_EQ(editor_settings::editorForFile(file, "/m/a.bun"), std::string(1023, 'm'));
}

TEST(EditorSettings, FileLiesBesideTheExecutable)
{
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
    EXPECT_EQ(editor_settings::filePath(), (self.parent_path() / "editor_settings_test.INI").string());
}
