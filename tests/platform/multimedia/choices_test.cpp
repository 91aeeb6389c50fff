// The choices in the test's private registry store.
#include "platform/multimedia/stored_choices.h"
#include "platform/registry/registry.h"
#include "tests/support/registry_values.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace registry;

namespace {

void storeDword(const char* name, DWORD value)
{
    ASSERT_TRUE(testing_support::writeRaw(HKEY_CURRENT_USER, multimedia::kKey, name, REG_DWORD,
        std::string(reinterpret_cast<const char*>(&value), sizeof value)));
}

} // namespace

TEST(MultimediaChoices, ComeBackAsStoredAndOutOfRangeValuesReadAsDefaults)
{
    EXPECT_EQ(multimedia::load(), multimedia::Choices{}) << "nothing stored: the defaults";

    multimedia::Choices chosen;
    chosen.soundOutput = "USB Audio CODEC Analog Stereo";
    chosen.midiOutput = multimedia::MidiOutput::External;
    chosen.soundfont = "/home/u/Fonts/Orchestra.sf2";
    chosen.midiClient = "UM-ONE";
    chosen.midiPort = "UM-ONE MIDI 1";
    chosen.midiAddress = "24:0";
    chosen.resetSettleMs = 250;
    chosen.videoSize = multimedia::VideoSize::FullScreen;
    chosen.showWords = false;
    std::string error;
    ASSERT_TRUE(multimedia::save(chosen, error)) << error;
    EXPECT_EQ(multimedia::load(), chosen);

    storeDword(multimedia::kResetSettle, multimedia::kMaxResetSettleMs + 1);
    storeDword(multimedia::kVideoSize, 3);
    storeDword(multimedia::kShowWords, 2);
    const multimedia::Choices read = multimedia::load();
    EXPECT_TRUE(read.showWords) << "the words are shown unless turned off";
    EXPECT_EQ(read.resetSettleMs, multimedia::kDefaultResetSettleMs);
    EXPECT_EQ(read.videoSize, multimedia::VideoSize::Original);
    EXPECT_EQ(read.midiPort, chosen.midiPort);
}

// Scripts and tests set these over whatever the user stored; the panel that
// stores the choices must never see them.
TEST(MultimediaChoices, EnvironmentOverridesTheChoicesInForceButNotTheStoredOnes)
{
    multimedia::Choices stored;
    stored.midiOutput = multimedia::MidiOutput::External;
    stored.midiClient = "UM-ONE";
    stored.midiPort = "UM-ONE MIDI 1";
    stored.soundfont = "/home/u/Fonts/Orchestra.sf2";
    stored.resetSettleMs = 250;
    std::string error;
    ASSERT_TRUE(multimedia::save(stored, error)) << error;

    setenv(multimedia::kMidiOutVariable, "alsa:128:0", 1);
    setenv(multimedia::kSoundfontVariable, "/nowhere/Piano.sf2", 1);
    setenv(multimedia::kResetSettleVariable, "25", 1);
    multimedia::Choices inForce = stored;
    inForce.overrides = {.midiOutput = "alsa:128:0", .soundfont = "/nowhere/Piano.sf2", .resetSettleMs = 25};
    EXPECT_EQ(multimedia::load(), inForce);
    EXPECT_EQ(multimedia::loadStored(), stored);
    EXPECT_EQ(multimedia::variablesInForce(),
        (std::vector<std::string> {
            multimedia::kMidiOutVariable, multimedia::kSoundfontVariable, multimedia::kResetSettleVariable}));

    // Saving what is in force stores only the choices.
    ASSERT_TRUE(multimedia::save(multimedia::load(), error)) << error;
    EXPECT_EQ(multimedia::loadStored(), stored);

    for (const char* bad : {"abc", "-5", "10001", "12ms", ""}) {
        setenv(multimedia::kResetSettleVariable, bad, 1);
        EXPECT_EQ(multimedia::load().overrides.resetSettleMs, std::nullopt) << bad;
    }
    setenv(multimedia::kResetSettleVariable, "10000", 1);
    EXPECT_EQ(multimedia::load().overrides.resetSettleMs, 10000u);

    for (const char* name :
        {multimedia::kMidiOutVariable, multimedia::kSoundfontVariable, multimedia::kResetSettleVariable})
        unsetenv(name);
    EXPECT_EQ(multimedia::load(), stored);
    EXPECT_TRUE(multimedia::variablesInForce().empty());
}
