// A singer's minus one and quiet melody, a player's mutes and the meters,
// played by hand-stepped time into a capture output.
#include "platform/midi/capture_output.h"
#include "platform/midi/sequence.h"

#include "tests/support/smf_builder.h"
#include "tests/support/stepped_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

using namespace smf_builder;
using testing_support::hex;
using testing_support::msDivision;
using namespace std::chrono_literals;

namespace {

using Strings = std::vector<std::string>;

// What a synthesizer sounds, given the messages captured: the notes whose
// keys are down, counted per note-on, and those a sustain pedal holds. A
// note ends by its note-off or the channel's All Notes Off, nothing else.
class Heard {
public:
    void take(const std::vector<uint8_t>& m)
    {
        const int kind = m[0] & 0xF0;
        const int ch = m[0] & 0x0F;
        if (kind == 0x90 && m[2] > 0) {
            ++down_[{ch, m[1]}];
        } else if (kind == 0x80 || kind == 0x90) {
            int& count = down_[{ch, m[1]}];
            if (count == 0)
                faults.push_back("an end of a note not sounding: " + hex(m));
            else if (--count == 0 && pedal_[ch])
                held_.insert({ch, m[1]});
        } else if (kind == 0xB0 && m[1] == 64) {
            pedal_[ch] = m[2] >= 64;
            if (!pedal_[ch])
                std::erase_if(held_, [&](const auto& note) { return note.first == ch; });
        } else if (kind == 0xB0 && m[1] == 123) {
            for (auto& [note, count] : down_) {
                if (note.first == ch && count > 0) {
                    count = 0;
                    if (pedal_[ch])
                        held_.insert(note);
                }
            }
        }
    }
    // Takes what OUTPUT has captured since the last call.
    void follow(const midi::CaptureOutput& output)
    {
        const auto messages = output.messages();
        for (; taken_ < messages.size(); ++taken_)
            take(messages[taken_].bytes);
    }
    // The channels with a note sounding, as a mask.
    uint16_t sounding() const
    {
        uint16_t mask = 0;
        for (const auto& [note, count] : down_)
            if (count > 0)
                mask |= static_cast<uint16_t>(1u << note.first);
        for (const auto& note : held_)
            mask |= static_cast<uint16_t>(1u << note.first);
        return mask;
    }

    std::vector<std::string> faults;

private:
    std::map<std::pair<int, int>, int> down_;
    std::set<std::pair<int, int>> held_;
    std::array<bool, 16> pedal_ {};
    size_t taken_ = 0;
};

class ChannelsTest : public testing_support::SteppedSequence { };

} // namespace

// The melody goes silent while C4 sounds and the pedal holds D4: C4 ends,
// the pedal lets go of D4 and comes down again, at once and on that channel
// only. While silent its notes are not struck and what they would end goes
// unsent; its volume, program and bend go out. Back, it sounds at its next note.
TEST_F(ChannelsTest, ASilencedChannelEndsItsNotesAtOnceKeepsItsControllersAndComesBackAtItsNextNote)
{
    load(file(1, msDivision,
        {timed({{0, {0xB0, 64, 127}}, {0, {0x90, 60, 100}}, {200, {0x90, 62, 80}}, {220, {0x80, 62, 0}},
                   {400, {0x80, 60, 0}}, {600, {0x90, 64, 100}}, {650, {0x80, 64, 0}}, {700, {0xB0, 7, 80}},
                   {700, {0xC0, 5}}, {700, {0xE0, 0x00, 0x50}}, {800, {0x90, 65, 100}}, {900, {0x80, 65, 0}},
                   {1000, {0x90, 67, 100}}, {1100, {0x80, 67, 0}}},
             1200),
            timed({{0, {0x91, 48, 100}}, {1200, {0x81, 48, 0}}}, 1200)}));
    seq->play(t0);
    seq->process(at(250ms));
    EXPECT_EQ(sent(), (Strings {"B0 40 7F", "90 3C 64", "91 30 64", "90 3E 50", "80 3E 00"}));

    seq->setSilenced(0x0001, at(250ms));
    const auto ending = output->messages();
    EXPECT_EQ(sent(), (Strings {"80 3C 00", "B0 40 00", "B0 40 7F", "B0 78 00"}));
    for (const midi::CapturedMessage& m : ending)
        EXPECT_EQ(m.due, at(250ms));

    seq->process(at(960ms));
    EXPECT_EQ(sent(), (Strings {"B0 07 50", "C0 05", "E0 00 50"}));
    seq->setSilenced(0, at(960ms));
    EXPECT_EQ(sent(), Strings {});
    seq->process(at(1150ms));
    EXPECT_EQ(sent(), (Strings {"90 43 64", "80 43 00"}));
}

// Overlapping melody notes under the pedal, a note struck again before its
// end, bass, a pad and drums, through keys, silences, seeks, a pause, a stop
// and the close: every note that sounds ends by its own note-off, in the key
// it was struck in, or by All Notes Off; a silent channel never sounds, and
// nothing sounds once the song is halted.
TEST_F(ChannelsTest, NoNoteIsLeftSoundingWhateverTheSilencesKeysAndSeeks)
{
    std::vector<std::pair<uint32_t, std::vector<int>>> melody {{0, {0xB0, 64, 127}}, {500, {0xB0, 64, 0}},
        {700, {0xB0, 64, 100}}, {300, {0x90, 61, 90}}, {330, {0x90, 61, 70}}, {360, {0x80, 61, 0}},
        {390, {0x80, 61, 0}}};
    std::vector<std::pair<uint32_t, std::vector<int>>> band {{0, {0x92, 64, 60}}, {1400, {0x82, 64, 0}}};
    for (uint32_t t = 0; t < 1400; t += 60) {
        const int key = 60 + int(t / 60 % 13);
        melody.push_back({t, {0x90, key, 100}});
        melody.push_back({t + 90, {0x80, key, 0}});
    }
    for (uint32_t t = 0; t < 1400; t += 200) {
        const int key = 40 + int(t / 200 % 5);
        band.push_back({t, {0x91, key, 100}});
        band.push_back({t + 250, {0x81, key, 0}});
    }
    for (uint32_t t = 0; t < 1400; t += 50) {
        const int key = std::array {36, 38, 42}[t / 50 % 3];
        band.push_back({t, {0x99, key, 110}});
        band.push_back({t + 30, {0x89, key, 0}});
    }
    load(file(1, msDivision, {timed(melody, 1500), timed(band, 1500)}));

    Heard heard;
    const uint16_t drums = 1u << 9;
    // At each step's time, what the window asks; after a halt nothing sounds.
    struct Step {
        int ms;
        std::function<void(midi::TimePoint)> act;
        bool halted = false;
    };
    const std::vector<Step> steps {
        {100, [&](midi::TimePoint t) { seq->setTranspose(3, t); }},
        {230, [&](midi::TimePoint t) { seq->setSilenced(0x0001, t); }},
        {310,
            [&](midi::TimePoint t) {
                seq->seek(120'000, t);
                seq->play(t);
            }},
        {380, [&](midi::TimePoint t) { seq->setTranspose(-2, t); }},
        {460, [&](midi::TimePoint t) { seq->setSilenced(0x0001 | drums, t); }},
        {520, [&](midi::TimePoint t) { seq->setSilenced(drums, t); }},
        {600, [&](midi::TimePoint t) { seq->pause(t); }, true},
        {650, [&](midi::TimePoint t) { seq->setSilenced(0x0002, t); }, true},
        {700, [&](midi::TimePoint t) { seq->play(t); }},
        {760, [&](midi::TimePoint t) { seq->setTranspose(0, t); }},
        {820, [&](midi::TimePoint t) { seq->setSilenced(0, t); }},
        {900, [&](midi::TimePoint t) { seq->stop(t); }, true},
        {950,
            [&](midi::TimePoint t) {
                seq->setTranspose(5, t);
                seq->play(t);
            }},
        {1000,
            [&](midi::TimePoint t) {
                seq->seek(1'100'000, t);
                seq->play(t);
            }},
        {1100, [&](midi::TimePoint t) { seq->setSilenced(0xFFFF & ~drums, t); }},
        {1150,
            [&](midi::TimePoint t) {
                seq->setSilenced(0x0004, t);
                seq->close(t);
            },
            true},
    };
    int now = 0;
    for (const Step& step : steps) {
        for (; now < step.ms; now += 5) {
            seq->process(at(std::chrono::milliseconds(now)));
            heard.follow(*output);
            ASSERT_EQ(heard.sounding() & seq->silenced(), 0) << "a silent channel sounds at " << now << " ms";
        }
        step.act(at(std::chrono::milliseconds(step.ms)));
        heard.follow(*output);
        EXPECT_EQ(heard.sounding() & seq->silenced(), 0) << "a channel sounds on once silenced at " << step.ms << " ms";
        seq->process(at(std::chrono::milliseconds(step.ms)));
        heard.follow(*output);
        if (step.halted) {
            EXPECT_EQ(heard.sounding(), 0) << "notes sound on after the halt at " << step.ms << " ms";
        }
    }
    EXPECT_TRUE(seq->settled());
    EXPECT_EQ(heard.faults, std::vector<std::string> {});
}

// Quiet halves the melody's volume, the song's own changes to it included:
// at once on a change and after a reset, as a seek chases it, and back to
// the song's value for the next song when the song closes. A channel whose
// volume the song never set is taken at the default, 100.
TEST_F(ChannelsTest, QuietHalvesTheVolumeTheSongSetsAtEveryChangeAndInTheChase)
{
    Track track;
    track.sysex(0, 0xF0, bytes({0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}))
        .ev(10, {0xB0, 7, 120})
        .ev(0, {0x91, 48, 100})
        .ev(490, {0xB0, 7, 80})
        .ev(500, {0x81, 48, 0})
        .end();
    load(file(0, msDivision, {track}));
    const uint16_t both = 0x0003;
    seq->setQuiet(both, t0);
    EXPECT_EQ(sent(), (Strings {"B0 07 32", "B1 07 32"}));
    seq->play(t0);
    seq->process(at(10ms));
    EXPECT_EQ(sent(), (Strings {"F0 41 10 42 12 40 00 7F 00 41 F7", "B0 07 32", "B1 07 32", "B0 07 3C", "91 30 64"}));
    seq->process(at(600ms));
    EXPECT_EQ(sent(), Strings {"B0 07 28"});

    seq->setQuiet(0x0002, at(600ms));
    EXPECT_EQ(sent(), Strings {"B0 07 50"}) << "the song's 80 again";
    seq->setQuiet(both, at(610ms));
    EXPECT_EQ(sent(), Strings {"B0 07 28"});

    seq->seek(300'000, at(620ms));
    seq->play(at(620ms));
    seq->process(at(620ms));
    const Strings chased = sent();
    EXPECT_NE(std::find(chased.begin(), chased.end(), "B0 07 3C"), chased.end()) << "the chase's 120, halved";
    EXPECT_EQ(std::find(chased.begin(), chased.end(), "B0 07 78"), chased.end());

    seq->close(at(700ms));
    seq->process(at(700ms));
    const Strings closing = sent();
    EXPECT_NE(std::find(closing.begin(), closing.end(), "B0 07 78"), closing.end());
    EXPECT_NE(std::find(closing.begin(), closing.end(), "B1 07 64"), closing.end());
}

// The meter shows the loudest note sounding on each channel: a note the
// pedal holds still sounds, a short one shows once, a silenced channel
// reads 0 at once. Off, it reads 0 and follows nothing.
TEST_F(ChannelsTest, TheMeterShowsTheLoudestNoteSoundingOnEachChannel)
{
    load(file(0, msDivision,
        {timed({{0, {0xB0, 64, 127}}, {0, {0x90, 60, 100}}, {0, {0x90, 64, 80}}, {0, {0x91, 50, 30}},
                   {100, {0x80, 60, 0}}, {200, {0xB0, 64, 0}}, {300, {0x80, 64, 0}}, {500, {0x81, 50, 0}},
                   {600, {0x92, 70, 90}}, {700, {0x82, 70, 0}}, {850, {0x93, 72, 90}}, {870, {0x83, 72, 0}}},
            1000)}));
    const auto level = [&](int channel) { return int(seq->levels()[channel]); };
    seq->setMetering(true);
    seq->play(t0);
    seq->process(at(50ms));
    EXPECT_EQ(level(0), 100);
    EXPECT_EQ(level(1), 30);
    seq->process(at(150ms));
    EXPECT_EQ(level(0), 100) << "the pedal holds C4";
    seq->process(at(250ms));
    EXPECT_EQ(level(0), 80) << "the pedal let go of C4";
    seq->process(at(350ms));
    EXPECT_EQ(level(0), 0);
    seq->setSilenced(0x0002, at(400ms));
    EXPECT_EQ(level(1), 0);

    seq->process(at(750ms));
    EXPECT_EQ(level(2), 90) << "a note begun and ended between two looks still shows";
    EXPECT_EQ(level(2), 0);

    seq->setMetering(false);
    seq->process(at(900ms));
    EXPECT_EQ(seq->levels(), (std::array<uint8_t, 16> {}));
}
