// Playback driven by hand-stepped time into a capture output.
#include "platform/midi/capture_output.h"
#include "platform/midi/sequence.h"

#include "tests/support/smf_builder.h"
#include "tests/support/stepped_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace smf_builder;
using testing_support::hex;
using testing_support::msDivision;
using namespace std::chrono_literals;

namespace {

class SequenceTest : public testing_support::SteppedSequence { };

using Strings = std::vector<std::string>;

} // namespace

TEST_F(SequenceTest, PlaysEventsAtTheirTimesAndEndsExactlyAtTheLength)
{
    load(file(1, msDivision,
              {Track().ev(0, {0x90, 60, 100}).ev(100, {0x80, 60, 0}).end(200),
               Track().ev(100, {0x91, 62, 100}).ev(100, {0x81, 62, 0}).end(50)}));
    ASSERT_EQ(seq->lengthMs(), 300u);
    seq->play(t0);
    EXPECT_EQ(seq->process(t0), at(100ms));
    EXPECT_EQ(seq->positionMs(at(50ms)), 50u);
    EXPECT_EQ(seq->process(at(100ms)), at(200ms));
    // Equal times go in track order.
    const auto timed = output->messages();
    ASSERT_EQ(timed.size(), 3u);
    EXPECT_EQ(hex(timed[1].bytes), "80 3C 00");
    EXPECT_EQ(hex(timed[2].bytes), "91 3E 64");
    EXPECT_EQ(timed[2].due, at(100ms));
    output->clear();

    EXPECT_EQ(seq->process(at(299ms)), at(300ms));
    EXPECT_EQ(seq->positionMs(at(299999us)), 299u) << "below the length until the end";
    EXPECT_FALSE(seq->takeEnded());
    EXPECT_EQ(seq->process(at(300ms)), std::nullopt);
    EXPECT_TRUE(seq->takeEnded());
    EXPECT_FALSE(seq->takeEnded());
    EXPECT_EQ(seq->state(), midi::Sequence::State::Stopped);
    EXPECT_EQ(seq->positionMs(at(10s)), 300u);
    // The note-off at 200, then both channels that sounded are silenced.
    EXPECT_EQ(sent(), (Strings{"81 3E 00", "B0 7B 00", "B0 40 00", "B1 7B 00", "B1 40 00"}));

    // Played again from the end: it ends at once.
    seq->play(at(20s));
    EXPECT_EQ(seq->process(at(20s)), std::nullopt);
    EXPECT_TRUE(seq->takeEnded());
}

TEST_F(SequenceTest, StopPauseSeekAndCloseSilenceTheChannelsThatSounded)
{
    load(file(0, msDivision,
              {Track()
                   .ev(0, {0x90, 60, 100})
                   .ev(0, {0x99, 36, 100})
                   .ev(0, {0x93, 40, 0}) // a note-on of velocity 0 sounds nothing
                   .ev(0, {0xB3, 7, 90})
                   .ev(1000, {0x80, 60, 0})
                   .ev(1000, {0x90, 62, 100})
                   .ev(500, {0x99, 38, 100})
                   .end(500)}));
    const Strings silenced{"B0 7B 00", "B0 40 00", "B9 7B 00", "B9 40 00"};
    seq->play(t0);
    seq->process(t0);
    sent();
    seq->stop(at(10ms));
    EXPECT_EQ(sent(), Strings{}) << "a command only changes the state";
    EXPECT_EQ(seq->process(at(10ms)), std::nullopt);
    EXPECT_EQ(sent(), silenced);
    EXPECT_TRUE(seq->settled());
    seq->stop(at(20ms));
    seq->process(at(20ms));
    EXPECT_EQ(sent(), Strings{}) << "nothing sounded since";

    // Pause keeps the place; resuming goes on from it.
    seq->seek(0, at(30ms));
    seq->play(at(30ms));
    seq->process(at(30ms));
    sent();
    seq->pause(at(130ms));
    EXPECT_EQ(seq->state(), midi::Sequence::State::Paused);
    seq->process(at(130ms));
    EXPECT_EQ(sent(), silenced);
    EXPECT_EQ(seq->positionMs(at(5s)), 100u);
    seq->play(at(5s));
    EXPECT_EQ(seq->process(at(5s)), at(5s + 900ms));

    seq->process(at(6900ms)); // the note at 2000 ms
    sent();
    seq->seek(1500'000, at(7s));
    seq->process(at(7s));
    EXPECT_EQ(sent(), (Strings{"B0 7B 00", "B0 40 00"}));
    seq->play(at(8s));
    seq->process(at(9s)); // the notes at 2000 and 2500 ms
    sent();
    seq->close(at(9100ms));
    seq->process(at(9100ms));
    EXPECT_EQ(sent(), silenced);
}

TEST_F(SequenceTest, CloseDeliversWhatIsDueAndNothingLater)
{
    // The reset file is played and closed at once by the next track's open.
    load(gsResetFile());
    seq->play(t0);
    seq->close(t0);
    EXPECT_FALSE(seq->settled());
    seq->process(at(1s));
    EXPECT_EQ(sent(), Strings{"F0 41 10 42 12 40 00 7F 00 41 F7"});
    EXPECT_TRUE(seq->settled());

    load(file(0, msDivision, {Track().ev(0, {0xC0, 5}).ev(50, {0xC0, 6}).end()}));
    seq->play(t0);
    seq->close(at(10ms));
    seq->process(at(1s));
    EXPECT_EQ(sent(), Strings{"C0 05"});
}

TEST_F(SequenceTest, SeekChasesTheStateAtTheNewPosition)
{
    load(file(1, msDivision,
              {Track().sysex(10, 0xF0, bytes({0x7D, 0x01, 0xF7})).sysex(10, 0xF0, bytes({0x7D, 0x02, 0xF7})).end(3000),
               Track()
                   .ev(0, {0xB0, 0x00, 1})
                   .ev(0, {0xB0, 0x20, 2})
                   .ev(0, {0xC0, 5})
                   .ev(0, {0xB0, 7, 80})
                   .ev(0, {0xB0, 101, 0})
                   .ev(0, {0xB0, 100, 0})
                   .ev(0, {0xB0, 6, 12})
                   .ev(30, {0xE0, 0x00, 0x50})
                   .ev(10, {0x90, 60, 100})
                   .ev(1960, {0xC0, 9})
                   .ev(0, {0xB0, 10, 20})
                   .ev(0, {0xE0, 0x00, 0x40})
                   .ev(1000, {0x80, 60, 0})
                   .end()}));
    seq->seek(1000'000, t0);
    seq->play(t0);
    EXPECT_EQ(seq->process(t0), at(1000ms));
    // SysEx first, in order; then bank, program, controllers (pan goes back
    // to its default: it is set only later), the bend range, the selection
    // as the song left it, and pitch bend.
    EXPECT_EQ(sent(), (Strings{"F0 7D 01 F7", "F0 7D 02 F7", "B0 00 01", "B0 20 02", "C0 05", "B0 07 50", "B0 0A 40",
                               "B0 65 00", "B0 64 00", "B0 06 0C", "B0 65 00", "B0 64 00", "E0 00 50"}));
    seq->process(at(1500ms));
    EXPECT_EQ(sent(), (Strings{"C0 09", "B0 0A 14", "E0 00 40"}));

    // Back before the changes: they are undone.
    seq->seek(500'000, at(1600ms));
    seq->play(at(1600ms));
    seq->process(at(1600ms));
    const Strings chased = sent();
    EXPECT_EQ(std::count(chased.begin(), chased.end(), "C0 05"), 1);
    EXPECT_EQ(std::count(chased.begin(), chased.end(), "B0 0A 40"), 1);
    EXPECT_EQ(chased.back(), "E0 00 50");
}

TEST_F(SequenceTest, AResetInTheSongClearsWhatCameBeforeIt)
{
    load(file(0, msDivision,
              {Track()
                   .ev(0, {0xC0, 5})
                   .ev(0, {0xB0, 7, 30})
                   .sysex(10, 0xF0, bytes({0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}))
                   .ev(0, {0xB0, 7, 90})
                   .end(1000)}));
    seq->seek(100'000, t0);
    seq->play(t0);
    seq->process(t0);
    EXPECT_EQ(sent(), (Strings{"F0 41 10 42 12 40 00 7F 00 41 F7", "C0 00", "B0 07 5A"}));
}

TEST_F(SequenceTest, AFloodAtOneInstantGoesOutInTurnsAndAPauseKeepsItsOrder)
{
    Track flood;
    for (int i = 0; i < 1000; ++i)
        flood.ev(0, {0x90, 60, 100}).ev(0, {0x80, 60, 0});
    load(file(0, msDivision, {flood.ev(100, {0x91, 62, 100}).end(100)}));
    seq->play(t0);
    EXPECT_EQ(seq->process(t0, 256), t0) << "more is due at once";
    EXPECT_EQ(output->count(), 256u);
    seq->pause(at(1ms));
    EXPECT_EQ(seq->state(), midi::Sequence::State::Paused);
    EXPECT_EQ(seq->positionMs(at(1s)), 1u);
    EXPECT_EQ(output->count(), 256u) << "the pause sent nothing itself";

    // What was due at the pause goes out, then the silence, and nothing later.
    EXPECT_EQ(seq->process(at(2ms), 256), at(2ms));
    while (seq->process(at(2ms), 256)) {
    }
    Strings rest = sent();
    ASSERT_EQ(rest.size(), 2000u + 2u);
    EXPECT_EQ(rest[rest.size() - 3], "80 3C 00");
    EXPECT_EQ(rest[rest.size() - 2], "B0 7B 00");
    EXPECT_EQ(rest.back(), "B0 40 00");
    EXPECT_TRUE(seq->settled());
    seq->play(at(5s));
    EXPECT_EQ(seq->process(at(5s)), at(5s + 99ms));
}

TEST_F(SequenceTest, SeekingToTheLengthIsTheEnd)
{
    load(file(0, msDivision, {Track().ev(0, {0x90, 60, 1}).end(1234)}));
    seq->seek(99'000'000, t0);
    EXPECT_EQ(seq->positionMs(t0), 1234u);
    seq->seek(1234'000, t0);
    EXPECT_EQ(seq->positionMs(t0), 1234u);
    seq->seek(1233'999, t0);
    EXPECT_EQ(seq->positionMs(t0), 1233u);
    seq->seek(1234'000, t0);
    seq->play(t0);
    EXPECT_EQ(seq->process(t0), std::nullopt);
    EXPECT_TRUE(seq->takeEnded());
    EXPECT_EQ(seq->positionMs(at(1s)), 1234u);
}

namespace {

// An output that is not ready until a given time, as an external
// synthesizer after a reset.
class SlowOutput : public midi::Output {
public:
    explicit SlowOutput(midi::TimePoint ready) : ready_(ready) {}
    void send(std::span<const uint8_t>, midi::TimePoint due) override { dues.push_back(due); }
    midi::TimePoint readyAt() const override { return ready_; }
    std::vector<midi::TimePoint> dues;

private:
    midi::TimePoint ready_;
};

} // namespace

TEST(SequenceSettle, PlaybackStartsWhenTheOutputIsReady)
{
    auto song = std::make_shared<midi::Song>();
    const std::string f = file(0, msDivision, {Track().ev(0, {0xC0, 1}).ev(10, {0xC0, 2}).end()});
    std::string error;
    ASSERT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(f.data()), f.size()}, *song, error));
    const midi::TimePoint now = midi::TimePoint{} + 10s;
    auto out = std::make_shared<SlowOutput>(now + 60ms);
    midi::Sequence seq(song, out);
    seq.play(now);
    EXPECT_EQ(seq.positionMs(now + 30ms), 0u);
    EXPECT_EQ(seq.process(now), now + 60ms);
    seq.process(now + 70ms);
    EXPECT_EQ(out->dues, (std::vector<midi::TimePoint>{now + 60ms, now + 70ms}));
}

// A loop from 200 to 600 ms over notes struck every 100 ms and held 150:
// across ten returns every note starts on the 100 ms grid with none
// missing, the notes sounding at the end are ended there, the program set
// inside the loop goes back to the one at its start before the first note,
// and the position never passes the end. Cleared, the song plays on.
TEST_F(SequenceTest, ALoopComesRoundWithoutAGapAndLeavesNothingSounding)
{
    std::vector<std::pair<uint32_t, std::vector<int>>> events {{0, {0xC0, 5}}, {300, {0xC0, 7}}};
    for (uint32_t i = 0; i < 10; ++i)
        events.insert(events.end(), {{100 * i, {0x90, 60 + int(i), 100}}, {100 * i + 150, {0x80, 60 + int(i), 0}}});
    load(file(0, msDivision, {timed(events, 1100)}));
    seq->setLoop(200000, 600000, t0);
    seq->play(t0);

    std::vector<int> starts, keys;
    std::map<int, int> sounding;
    int program = -1, returns = 0;
    for (auto t = 0ms; t <= 4700ms; t += 10ms) {
        seq->process(at(t));
        returns += seq->takeLooped();
        EXPECT_LE(seq->positionMicros(at(t)), 600000u);
        for (const midi::CapturedMessage& m : output->messages()) {
            const int kind = m.bytes[0] & 0xF0, ms = int((m.due - t0) / 1ms);
            if (kind == 0xC0)
                program = m.bytes[1];
            if (kind == 0xB0 && m.bytes[1] == 123)
                sounding.clear();
            if (kind == 0x80)
                --sounding[m.bytes[1]];
            if (kind != 0x90)
                continue;
            const bool first = m.bytes[1] == 60 || (m.bytes[1] == 62 && ms >= 600);
            EXPECT_EQ(
                std::count_if(sounding.begin(), sounding.end(), [](auto& s) { return s.second > 0; }), first ? 0 : 1)
                << "at " << ms << " ms";
            ++sounding[m.bytes[1]];
            starts.push_back(ms);
            keys.push_back(m.bytes[1]);
            if (m.bytes[1] == 62) {
                EXPECT_EQ(program, 5) << "the program at the loop's start, at " << ms << " ms";
            }
        }
        output->clear();
    }
    EXPECT_EQ(returns, 11);
    ASSERT_EQ(starts.size(), 48u);
    for (size_t i = 0; i < starts.size(); ++i) {
        EXPECT_EQ(starts[i], int(i) * 100);
        EXPECT_EQ(keys[i], i < 2 ? 60 + int(i) : 62 + int(i - 2) % 4);
    }

    seq->clearLoop();
    seq->process(at(10s));
    EXPECT_FALSE(seq->takeLooped());
    EXPECT_EQ(seq->state(), midi::Sequence::State::Stopped) << "played on to the end";
}
