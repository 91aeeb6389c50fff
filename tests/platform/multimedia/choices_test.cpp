// The choices in the test's private registry store.
#include "platform/multimedia/stored_choices.h"
#include "platform/registry/registry.h"
#include "tests/support/registry_values.h"

#include <gtest/gtest.h>

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
    std::string error;
    ASSERT_TRUE(multimedia::save(chosen, error)) << error;
    EXPECT_EQ(multimedia::load(), chosen);

    storeDword(multimedia::kResetSettle, multimedia::kMaxResetSettleMs + 1);
    storeDword(multimedia::kVideoSize, 3);
    const multimedia::Choices read = multimedia::load();
    EXPECT_EQ(read.resetSettleMs, multimedia::kDefaultResetSettleMs);
    EXPECT_EQ(read.videoSize, multimedia::VideoSize::Original);
    EXPECT_EQ(read.midiPort, chosen.midiPort);
}
