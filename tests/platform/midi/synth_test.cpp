// The real FluidSynth with Debian's GM soundfont; skipped where it is missing.
#include "platform/midi/synth.h"
#include "platform/midi/synth_output.h"

#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

namespace {

struct Program {
    int bank = -1;
    int preset = -1;
    bool operator==(const Program&) const = default;
};

Program programOf(midi::Synth& synth, int channel)
{
    int sfont = 0;
    Program p;
    fluid_synth_get_program(synth.handle(), channel, &sfont, &p.bank, &p.preset);
    return p;
}

void apply(midi::Synth& synth, std::vector<uint8_t> m) { synth.apply(m); }

const std::vector<uint8_t> gsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const std::vector<uint8_t> gmOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

class SynthTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        if (midi::findSoundfont(error).empty())
            GTEST_SKIP() << "no soundfont: " << error;
        synth = midi::Synth::create(44100, error);
        ASSERT_NE(synth, nullptr) << error;
    }
    std::unique_ptr<midi::Synth> synth;
};

} // namespace

TEST_F(SynthTest, GmAndGsResetsReachFluidSynth)
{
    apply(*synth, {0xC0, 5});
    EXPECT_EQ(programOf(*synth, 0), (Program{0, 5}));
    apply(*synth, gsReset);
    EXPECT_EQ(programOf(*synth, 0), (Program{0, 0})) << "the GS reset resets the synthesizer";

    // General MIDI has no banks: after GM System On bank selects are ignored
    // until a GS reset.
    apply(*synth, gmOn);
    apply(*synth, {0xB0, 0x00, 8});
    apply(*synth, {0xC0, 1});
    EXPECT_EQ(programOf(*synth, 0), (Program{0, 1}));
    apply(*synth, gsReset);
    apply(*synth, {0xB0, 0x00, 8});
    apply(*synth, {0xC0, 1});
    EXPECT_EQ(programOf(*synth, 0), (Program{8, 1}));
}

TEST_F(SynthTest, SysexInPiecesIsPutTogether)
{
    apply(*synth, {0xC3, 9});
    apply(*synth, {0xF0, 0x41, 0x10, 0x42});
    apply(*synth, {0x90, 60, 100}); // a channel message in between does not break it
    apply(*synth, {0x12, 0x40, 0x00, 0x7F});
    EXPECT_EQ(programOf(*synth, 3).preset, 9);
    apply(*synth, {0x00, 0x41, 0xF7});
    EXPECT_EQ(programOf(*synth, 3).preset, 0);
}

TEST_F(SynthTest, OutputAppliesMessagesOnTheAudioThread)
{
    synth.reset();
    std::string error;
    std::unique_ptr<midi::SynthOutput> out = midi::SynthOutput::open(error);
    ASSERT_NE(out, nullptr) << error;
    const std::vector<uint8_t> program{0xC5, 42};
    out->send(program, midi::Clock::now());
    int preset = -1;
    for (int i = 0; i < 200 && preset != 42; ++i) {
        std::this_thread::sleep_for(10ms);
        out->withSynth([&](midi::Synth& s) { preset = programOf(s, 5).preset; });
    }
    EXPECT_EQ(preset, 42);
    EXPECT_EQ(out->dropped(), 0u);
}
