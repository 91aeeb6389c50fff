#include "platform/midi/alsa_output.h"
#include "platform/midi/capture_output.h"
#include "platform/midi/message_ring.h"
#include "platform/midi/output.h"
#include "platform/midi/ports.h"
#include "platform/multimedia/choices.h"

#include "tests/support/fake_ports.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// SysEx events point into M: it must outlive the event.
snd_seq_event_t encode(const std::vector<uint8_t>& m, bool expectOk = true)
{
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    EXPECT_EQ(midi::encodeAlsaEvent(m, ev), expectOk);
    return ev;
}

const std::vector<uint8_t> gsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const std::vector<uint8_t> gmOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

} // namespace

TEST(AlsaEncoding, ChannelMessagesMapToTheirEvents)
{
    struct Case {
        std::vector<uint8_t> message;
        int type, channel, param, value; // note events: note and velocity in param and value
    };
    const Case cases[] = {
        {{0x93, 60, 100}, SND_SEQ_EVENT_NOTEON, 3, 60, 100},
        {{0x80, 61, 5}, SND_SEQ_EVENT_NOTEOFF, 0, 61, 5},
        {{0xA1, 62, 7}, SND_SEQ_EVENT_KEYPRESS, 1, 62, 7},
        {{0xB9, 7, 90}, SND_SEQ_EVENT_CONTROLLER, 9, 7, 90},
        {{0xC2, 33}, SND_SEQ_EVENT_PGMCHANGE, 2, 0, 33},
        {{0xDF, 44}, SND_SEQ_EVENT_CHANPRESS, 15, 0, 44},
        // Pitch bend is signed around the centre.
        {{0xE0, 0x00, 0x40}, SND_SEQ_EVENT_PITCHBEND, 0, 0, 0},
        {{0xE0, 0x00, 0x00}, SND_SEQ_EVENT_PITCHBEND, 0, 0, -8192},
        {{0xE4, 0x7F, 0x7F}, SND_SEQ_EVENT_PITCHBEND, 4, 0, 8191},
    };
    for (const Case& c : cases) {
        const snd_seq_event_t ev = encode(c.message);
        EXPECT_EQ(ev.type, c.type);
        if (c.type <= SND_SEQ_EVENT_KEYPRESS) {
            EXPECT_EQ(ev.data.note.channel, c.channel);
            EXPECT_EQ(ev.data.note.note, c.param);
            EXPECT_EQ(ev.data.note.velocity, c.value);
        } else {
            EXPECT_EQ(ev.data.control.channel, c.channel);
            EXPECT_EQ(ev.data.control.param, unsigned(c.param));
            EXPECT_EQ(ev.data.control.value, c.value);
        }
    }
    encode({}, false);
    encode({0x90, 60}, false);
    encode({0xC0}, false);
}

TEST(AlsaEncoding, SysexAndItsPiecesTravelAsRawBytes)
{
    snd_seq_event_t ev = encode(gsReset);
    EXPECT_EQ(ev.type, SND_SEQ_EVENT_SYSEX);
    EXPECT_EQ(ev.flags & SND_SEQ_EVENT_LENGTH_MASK, SND_SEQ_EVENT_LENGTH_VARIABLE);
    ASSERT_EQ(ev.data.ext.len, gsReset.size());
    EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(ev.data.ext.ptr),
                                   static_cast<uint8_t*>(ev.data.ext.ptr) + ev.data.ext.len),
              gsReset);
    EXPECT_EQ(encode({0x12, 0x34, 0xF7}).type, SND_SEQ_EVENT_SYSEX);
}

TEST(AlsaOutput, ResetsMakeTheNextMessageWait)
{
    const midi::TimePoint t = midi::TimePoint{} + 5s;
    midi::ResetSettle settle(60ms);
    settle.sent(std::vector<uint8_t>{0x90, 60, 1}, t);
    settle.sent(std::vector<uint8_t>{0xF0, 0x7D, 0xF7}, t);
    EXPECT_EQ(settle.readyAt(), midi::TimePoint{});
    settle.sent(gsReset, t);
    EXPECT_EQ(settle.readyAt(), t + 60ms);
    settle.sent(gmOn, t + 1s);
    EXPECT_EQ(settle.readyAt(), t + 1060ms);
    std::vector<uint8_t> otherDevice = gsReset;
    otherDevice[2] = 0x11;
    settle.sent(otherDevice, t + 2s);
    EXPECT_EQ(settle.readyAt(), t + 2060ms);

    multimedia::Choices choices;
    choices.resetSettleMs = 250;
    EXPECT_EQ(midi::resetSettleTime(choices), 250ms);
    choices.overrides.resetSettleMs = 25;
    EXPECT_EQ(midi::resetSettleTime(choices), 25ms) << "the override wins";
    choices.overrides.resetSettleMs = 0;
    EXPECT_EQ(midi::resetSettleTime(choices), 0ms) << "no pause is a pause too";
}

TEST(OutputTable, ChoosesByNameAndExplainsFailures)
{
    std::string error;
    EXPECT_EQ(midi::openOutput("midiman", {}, error), nullptr);
    EXPECT_NE(error.find("synth, alsa, capture"), std::string::npos) << error;

    error.clear();
    EXPECT_EQ(midi::openOutput("alsa:no-such-synth:0", {}, error), nullptr);
    EXPECT_NE(error.find("ALSA"), std::string::npos) << error;

    multimedia::Choices gone;
    gone.overrides.soundfont = "/nowhere/none.sf2";
    error.clear();
    EXPECT_EQ(midi::openOutput("synth", gone, error), nullptr);
    EXPECT_EQ(error, "The soundfont /nowhere/none.sf2 (QUORVANA_SOUNDFONT) cannot be found.");

    // The shared one is opened once and kept.
    auto capture = midi::sharedCapture();
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(midi::sharedOutput("capture", {}, error), capture);
    multimedia::Choices overridden;
    overridden.overrides.midiOutput = "capture";
    EXPECT_EQ(midi::sharedOutput(overridden, error), capture);
}

using testing_support::FakePorts;

TEST(ExternalSynthesizer, FoundByNameUnderNewNumbersElseByItsNumbers)
{
    const midi::Port through{14, 0, "Midi Through", "Midi Through Port-0"};
    const midi::Port replugged{28, 0, "UM-ONE", "UM-ONE MIDI 1"};
    const midi::Port fluid{128, 0, "FLUID Synth (4242)", "Synth input port (4242:0)"};
    const std::vector<midi::Port> ports{through, replugged, fluid};

    EXPECT_EQ(midi::findPort(ports, "UM-ONE", "UM-ONE MIDI 1", "24:0"), replugged);
    // A software synthesizer started again has a new name but its old numbers.
    EXPECT_EQ(midi::findPort(ports, "FLUID Synth (1717)", "Synth input port (1717:0)", "128:0"), fluid);
    EXPECT_EQ(midi::findPort(ports, "SC-8850", "SC-8850 Part A", "20:0"), std::nullopt);
    EXPECT_EQ(midi::findPort(ports, "UM-ONE", "UM-ONE MIDI 2", ""), std::nullopt);

    EXPECT_EQ(midi::portTitle("UM-ONE", "UM-ONE MIDI 1"), "UM-ONE MIDI 1");
    EXPECT_EQ(midi::portTitle("SC-8850", "Part A"), "SC-8850 Part A");
}

TEST(ExternalSynthesizer, ChosenPortThatIsNotThereRefusesTheSongWithItsName)
{
    auto fake = std::make_shared<FakePorts>();
    fake->ports = {{14, 0, "Midi Through", "Midi Through Port-0"}};
    const auto previous = midi::setPortDirectory(fake);
    multimedia::Choices choices;
    choices.midiOutput = multimedia::MidiOutput::External;
    choices.midiClient = "SC-8850";
    choices.midiPort = "SC-8850 Part A";
    choices.midiAddress = "20:0";
    std::string error;
    EXPECT_EQ(midi::sharedOutput(choices, error), nullptr);
    EXPECT_EQ(error, "The MIDI port \"SC-8850 Part A\" is not connected.");

    fake->missing = "This system has no ALSA sequencer (/dev/snd/seq is missing).";
    error.clear();
    EXPECT_EQ(midi::sharedOutput(choices, error), nullptr);
    EXPECT_NE(error.find("\"SC-8850 Part A\""), std::string::npos) << error;
    EXPECT_NE(error.find(fake->missing), std::string::npos) << error;

    // An override wins over the stored choice.
    choices.overrides.midiOutput = "capture";
    EXPECT_EQ(midi::sharedOutput(choices, error), midi::sharedCapture());
    midi::setPortDirectory(previous);
}

TEST(MessageRing, KeepsMessagesWholeAcrossTheWrapAndRefusesWhenFull)
{
    midi::MessageRing ring(64);
    const std::vector<uint8_t> five{1, 2, 3, 4, 5};
    int pushed = 0;
    while (ring.push(five, pushed))
        ++pushed;
    EXPECT_EQ(pushed, 64 / (12 + 5)) << "header and bytes per message";

    // Interleaved pushes and pops of every size walk the wrap point around.
    uint8_t out[64];
    int64_t due;
    while (ring.peekDue(due))
        ring.pop(out, sizeof out);
    for (int round = 0; round < 500; ++round) {
        std::vector<uint8_t> m(static_cast<size_t>(round % 30 + 1));
        for (size_t i = 0; i < m.size(); ++i)
            m[i] = static_cast<uint8_t>(round + i);
        ASSERT_TRUE(ring.push(m, round));
        ASSERT_TRUE(ring.peekDue(due));
        ASSERT_EQ(due, round);
        ASSERT_EQ(ring.pop(out, sizeof out), m.size());
        ASSERT_EQ(std::vector<uint8_t>(out, out + m.size()), m);
    }
    EXPECT_FALSE(ring.peekDue(due));
}
