// The key and the tempo a singer sets, played by hand-stepped time into a
// capture output.
#include "platform/midi/capture_output.h"
#include "platform/midi/sequence.h"

#include "tests/support/smf_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace smf_builder;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kBeat = 480; // ticks; 500 ms at 120 a minute

class KeyTempoTest : public testing::Test {
protected:
    void load(const std::string& bytes)
    {
        auto song = std::make_shared<midi::Song>();
        std::string error;
        ASSERT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error))
            << error;
        seq = std::make_unique<midi::Sequence>(song, output);
    }
    // The note-ons sent so far (status, key) at their due times from t0.
    std::vector<std::tuple<int, int, std::chrono::milliseconds>> noteOns() const
    {
        std::vector<std::tuple<int, int, std::chrono::milliseconds>> out;
        for (const midi::CapturedMessage& m : output->messages())
            if ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0)
                out.emplace_back(
                    m.bytes[0], m.bytes[1], std::chrono::duration_cast<std::chrono::milliseconds>(m.due - t0));
        return out;
    }
    // Each note ends exactly once, in the key it was struck in, before the
    // song's end silences the channels; none is struck twice meanwhile.
    void expectEachNoteEndsOnce() const
    {
        std::map<std::pair<int, int>, int> sounding;
        for (const midi::CapturedMessage& m : output->messages()) {
            const int kind = m.bytes[0] & 0xF0;
            if (kind == 0xB0 && m.bytes[1] == 123)
                break;
            if (kind != 0x80 && kind != 0x90)
                continue;
            int& count = sounding[{m.bytes[0] & 0x0F, m.bytes[1]}];
            count += kind == 0x90 && m.bytes[2] > 0 ? 1 : -1;
            EXPECT_GE(count, 0) << "an end of a note that was not sounding: " << int(m.bytes[1]);
            EXPECT_LE(count, 1) << "a note struck twice: " << int(m.bytes[1]);
        }
        for (const auto& [note, count] : sounding)
            EXPECT_EQ(count, 0) << "left sounding: channel " << note.first << " key " << note.second;
    }
    static midi::TimePoint at(std::chrono::milliseconds t) { return t0 + t; }

    static inline const midi::TimePoint t0 = midi::TimePoint {} + 100s;
    std::shared_ptr<midi::CaptureOutput> output = std::make_shared<midi::CaptureOutput>();
    std::unique_ptr<midi::Sequence> seq;
};

double frequency(int key)
{
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

// A karaoke backing as such songs are made: a tempo track, piano with the
// sustain pedal, bass, drums, and a bell an octave above the piano.
std::string backing()
{
    Track tempo, piano, bass, drums, bell;
    tempo.meta(0, 3, "Backing").tempo(0, 500000).end(4 * kBeat);
    piano.ev(0, {0xC0, 0})
        .ev(0, {0xB0, 64, 127})
        .ev(0, {0x90, 69, 90}) // A4
        .ev(kBeat, {0x80, 69, 0}) // held by the pedal
        .ev(0, {0x90, 72, 90}) // C5
        .ev(2 * kBeat, {0x80, 72, 0})
        .ev(kBeat, {0xB0, 64, 0})
        .ev(0, {0x90, 76, 90}) // E5
        .ev(kBeat / 2, {0xA0, 76, 40})
        .ev(kBeat / 2, {0x80, 76, 0})
        .end();
    bass.ev(0, {0xC1, 33}).ev(0, {0x91, 45, 100}).ev(4 * kBeat, {0x81, 45, 0}).end();
    for (int i = 0; i < 4; ++i)
        drums.ev(i == 0 ? 0 : kBeat - 60, {0x99, 36, 110}).ev(60, {0x89, 36, 0});
    drums.end();
    bell.ev(0, {0xC2, 14}).ev(0, {0x92, 126, 80}).ev(60, {0x82, 126, 0}).end();
    return file(1, 480, {tempo, piano, bass, drums, bell});
}

} // namespace

// +2 before the song, -1 while the piano's C5 and the bass sound and the
// pedal holds A4: the notes sounding end at once in the key they were
// struck in, the pedal lets go and comes down again, the drums go on.
TEST_F(KeyTempoTest, TheKeyMovesEveryNoteButTheDrumsAndLeavesNoneSounding)
{
    load(backing());
    seq->setTranspose(2, t0);
    seq->play(t0);
    seq->process(at(750ms));
    const auto struck = noteOns();
    ASSERT_GE(struck.size(), 3u);
    EXPECT_EQ(struck[0], std::make_tuple(0x90, 71, 0ms));
    EXPECT_NEAR(frequency(std::get<1>(struck[0])), 493.9, 4.939) << "A4 two semitones up";
    EXPECT_EQ(struck[1], std::make_tuple(0x91, 47, 0ms));
    EXPECT_EQ(struck[2], std::make_tuple(0x99, 36, 0ms)) << "the drums keep their keys";
    for (const auto& [status, key, due] : struck)
        EXPECT_NE(status, 0x92) << "the bell moved off the keyboard stays silent";

    const size_t before = output->count();
    seq->setTranspose(-1, at(750ms));
    std::vector<std::vector<uint8_t>> change;
    const auto messages = output->messages();
    for (size_t i = before; i < messages.size(); ++i)
        change.push_back(messages[i].bytes);
    const std::vector<std::vector<uint8_t>> ended {{0x80, 74, 0}, {0xB0, 64, 0}, {0xB0, 64, 127}, {0x81, 47, 0}};
    EXPECT_EQ(change, ended) << "C5 and the bass end, the pedal lets go of A4";

    seq->process(at(10s));
    EXPECT_EQ(noteOns().back(), std::make_tuple(0x90, 75, 2000ms)) << "E5 one semitone down";
    expectEachNoteEndsOnce();
}

// 120 a minute at 80 %, then 200 % from the middle of a beat, a pause, and
// 100 % set while paused: each note lands where the tempo puts it, and the
// position reads the song's own time throughout.
TEST_F(KeyTempoTest, TheTempoScalesTheSongsTimeAndThePositionKeepsToTheSong)
{
    Track notes;
    notes.tempo(0, 500000);
    for (int i = 0; i < 8; ++i)
        notes.ev(i == 0 ? 0 : kBeat / 2, {0x90, 57 + i, 100}).ev(kBeat / 2, {0x80, 57 + i, 0});
    load(file(0, 480, {notes.end(kBeat / 2)}));
    ASSERT_EQ(seq->lengthMs(), 4000u);

    seq->setTempo(80, t0);
    seq->play(t0);
    seq->process(at(1250ms));
    EXPECT_EQ(seq->positionMs(at(1250ms)), 1000u);
    seq->setTempo(200, at(1250ms));
    seq->process(at(1500ms));
    EXPECT_EQ(seq->positionMs(at(1500ms)), 1500u);
    seq->pause(at(1600ms));
    EXPECT_EQ(seq->positionMs(at(1600ms)), 1700u);
    seq->setTempo(100, at(2s));
    EXPECT_EQ(seq->positionMs(at(3s)), 1700u) << "paused";
    seq->play(at(3s));
    EXPECT_EQ(seq->process(at(3s)), at(3050ms)) << "the note-off due at 1750 ms";
    seq->process(at(10s));

    std::vector<std::chrono::milliseconds> dues;
    for (const auto& [status, key, due] : noteOns())
        dues.push_back(due);
    const std::vector<std::chrono::milliseconds> expected {0ms, 625ms, 1250ms, 1500ms, 3300ms, 3800ms, 4300ms, 4800ms};
    EXPECT_EQ(dues, expected);
    EXPECT_TRUE(seq->takeEnded());
    EXPECT_EQ(seq->positionMs(at(10s)), 4000u) << "the end is the length at any tempo";
}
