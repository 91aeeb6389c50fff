// The key and the tempo through the sequencer device, played in real time
// into the capture output.
#include "platform/mci/sequencer/sequencer_device.h"
#include "platform/mci/singer.h"
#include "platform/midi/capture_output.h"
#include "platform/multimedia/choices.h"

#include "tests/support/smf_builder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>

using namespace smf_builder;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kBeat = 480; // ticks; 500 ms at 120 a minute

// Four beats of A4 on the piano over a kick drum, each note held most of its beat.
std::string fourBeats()
{
    Track tempo, piano, drums;
    tempo.meta(0, 3, "Four beats").tempo(0, 500000).end();
    piano.ev(0, {0xC0, 0});
    drums.ev(0, {0xC9, 0});
    for (int i = 0; i < 4; ++i) {
        piano.ev(i == 0 ? 0 : kBeat / 10, {0x90, 69, 96}).ev(kBeat * 9 / 10, {0x80, 69, 0});
        drums.ev(i == 0 ? 0 : kBeat - 48, {0x99, 36, 110}).ev(48, {0x89, 36, 0});
    }
    return file(1, 480, {tempo, piano.end(), drums.end()});
}

class KeyTempoDeviceTest : public testing::Test {
protected:
    void SetUp() override
    {
        multimedia::Choices choices;
        choices.overrides.midiOutput = "capture";
        device = mci::makeSequencerDevice(choices);
        capture = midi::sharedCapture();
        song = dir.write("four.mid", fourBeats());
    }
    void open()
    {
        capture->clear();
        const mci::Result r = device->open(song);
        ASSERT_TRUE(r.ok()) << r.text;
        device->setTimeFormat(mci::TimeFormat::Milliseconds);
    }
    // The next message from FROM on that MATCHES, waited for up to LIMIT.
    template <class Match>
    std::optional<midi::CapturedMessage> waitFor(size_t& from, Match matches, std::chrono::milliseconds limit = 3s)
    {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            const auto messages = capture->messages();
            for (; from < messages.size(); ++from)
                if (matches(messages[from].bytes))
                    return messages[from++];
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms || !capture->waitForCount(from + 1, left))
                return std::nullopt;
        }
    }
    static bool pianoOn(const std::vector<uint8_t>& m) { return m[0] == 0x90 && m[2] > 0; }
    static double msBetween(Clock::time_point a, Clock::time_point b)
    {
        return std::chrono::duration<double, std::milli>(b - a).count();
    }

    testing_support::TempDir dir;
    std::unique_ptr<mci::Device> device;
    std::shared_ptr<midi::CaptureOutput> capture;
    std::string song;
};

} // namespace

// Set before the song plays, the key and the tempo are heard from its first
// note; a key change mid-note ends that note within 30 ms; the position
// reads the song's own time.
TEST_F(KeyTempoDeviceTest, KeyAndTempoAreHeardAtOnce)
{
    open();
    for (const int refused : {-13, 13})
        EXPECT_EQ(device->singer()->setTranspose(refused).code, mci::ErrOutOfRange) << refused;
    for (const int refused : {45, 52, 205})
        EXPECT_EQ(device->singer()->setTempo(refused).code, mci::ErrOutOfRange) << refused;
    ASSERT_TRUE(device->singer()->setTranspose(2).ok());
    ASSERT_TRUE(device->singer()->setTempo(80).ok());

    const Clock::time_point started = Clock::now();
    ASSERT_TRUE(device->play().ok());
    size_t at = 0;
    std::vector<midi::CapturedMessage> notes;
    for (int i = 0; i < 3; ++i) {
        const auto note = waitFor(at, pianoOn);
        ASSERT_TRUE(note) << "note " << i;
        EXPECT_EQ(note->bytes[1], 71) << "A4 two semitones up: 493.9 Hz";
        EXPECT_NEAR(msBetween(notes.empty() ? note->sent : notes[0].sent, note->sent), 625.0 * i, 10.0)
            << "note " << i << " at 80 %";
        notes.push_back(*note);
    }
    uint32_t position = 0;
    ASSERT_TRUE(device->position(position).ok());
    EXPECT_NEAR(position, 0.8 * msBetween(started, Clock::now()), 10.0) << "the song's own time";

    // In the middle of the third note.
    const Clock::time_point changed = Clock::now();
    ASSERT_TRUE(device->singer()->setTranspose(0).ok());
    const auto ended = waitFor(at, [](const std::vector<uint8_t>& m) { return m[0] == 0x80 || m[0] == 0x90; });
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->bytes, (std::vector<uint8_t> {0x80, 71, 0})) << "the sounding note ends first";
    EXPECT_LE(msBetween(changed, ended->sent), 30.0);
    const auto fourth = waitFor(at, pianoOn);
    ASSERT_TRUE(fourth);
    EXPECT_EQ(fourth->bytes[1], 69);
    EXPECT_NEAR(msBetween(notes[0].sent, fourth->sent), 3 * 625.0, 10.0);
}

TEST_F(KeyTempoDeviceTest, AnotherSongStartsAtItsOwnKeyAndTempo)
{
    open();
    ASSERT_TRUE(device->singer()->setTranspose(-5).ok());
    ASSERT_TRUE(device->singer()->setTempo(150).ok());
    open();
    ASSERT_TRUE(device->play().ok());
    size_t at = 0;
    const auto first = waitFor(at, pianoOn);
    const auto second = waitFor(at, pianoOn);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->bytes[1], 69);
    EXPECT_NEAR(msBetween(first->sent, second->sent), 500.0, 10.0);

    ASSERT_TRUE(device->open("").ok());
    EXPECT_EQ(device->singer(), nullptr) << "no song";
}
