#include "settings/editor_settings.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

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

    dir.write("quorvana.INI", "[quorvana]\r\nwavedit=\r\nmidiedit=" + std::string(1500, 'm') + "\r\n");
    EXPECT_EQ(editor_settings::editorForFile(file, "/m/a.WAV"), "");
    EXPECT_EQ(editor_settings::editorForFile(file, "/m/a.bun"), std::string(1023, 'm'));
}
