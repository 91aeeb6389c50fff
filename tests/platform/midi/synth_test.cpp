// The real FluidSynth with Debian's GM soundfont; skipped where it is missing.
#include "platform/midi/chase.h"
#include "platform/midi/sequence.h"
#include "platform/midi/soundfonts.h"
#include "platform/midi/synth.h"
#include "platform/midi/synth_feed.h"
#include "platform/midi/synth_output.h"

#include "tests/support/onsets.h"
#include "tests/support/smf_builder.h"
#include "tests/support/temp_dir.h"

#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
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

// Waits, a little at a time, up to LIMIT for DONE.
template <class Condition>
bool eventually(Condition done, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    return done();
}

int presetOn(midi::SynthOutput& out, int channel)
{
    int preset = -1;
    out.withSynth([&](midi::Synth& s) { preset = programOf(s, channel).preset; });
    return preset;
}

const std::vector<uint8_t> gsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const std::vector<uint8_t> gmOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

class SynthTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        soundfont = midi::findSoundfont(multimedia::Choices {}, error);
        if (soundfont.empty())
            GTEST_SKIP() << "no soundfont: " << error;
        synth = midi::Synth::create(44100, soundfont, error);
        ASSERT_NE(synth, nullptr) << error;
    }
    std::string soundfont;
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
    std::unique_ptr<midi::SynthOutput> out = midi::SynthOutput::open(soundfont, "", error);
    ASSERT_NE(out, nullptr) << error;
    const std::vector<uint8_t> program{0xC5, 42};
    out->send(program, midi::Clock::now());
    EXPECT_TRUE(eventually([&] { return presetOn(*out, 5) == 42; }));
    EXPECT_EQ(out->dropped(), 0u);
}

// The synthesizer renders only while something sounds or waits: a player at
// rest costs no processor time.
TEST_F(SynthTest, OutputRestsOnceItsSoundHasFadedAndWakesAtTheNextMessage)
{
    synth.reset();
    std::string error;
    std::unique_ptr<midi::SynthOutput> out = midi::SynthOutput::open(soundfont, "", error);
    ASSERT_NE(out, nullptr) << error;
    EXPECT_FALSE(out->rendering());
    const std::vector<uint8_t> on{0x90, 60, 100}, off{0x80, 60, 0};
    out->send(on, midi::Clock::now());
    out->send(off, midi::Clock::now() + 50ms);
    EXPECT_TRUE(out->rendering());
    EXPECT_TRUE(eventually([&] { return !out->rendering(); }, 10s)) << "the tail has faded";

    const std::vector<uint8_t> program{0xC5, 42};
    out->send(program, midi::Clock::now());
    EXPECT_TRUE(eventually([&] { return presetOn(*out, 5) == 42; }, 500ms));

    // Rested long enough, it lets go of its samples; the next note reads
    // back what its channel had chosen, and sounds.
    out->setReleaseAfter(50ms);
    ASSERT_TRUE(eventually([&] { return out->samplesReleased(); }));
    std::atomic<float> peak{0};
    audio::setTap([&](const float* frames, int count) {
        for (int i = 0; i < 2 * count; ++i)
            peak = std::max(peak.load(), std::abs(frames[i]));
    });
    const std::vector<uint8_t> cello{0x95, 48, 100};
    out->send(cello, midi::Clock::now());
    EXPECT_FALSE(out->samplesReleased());
    EXPECT_TRUE(eventually([&] { return peak > 0.01f; }, 1s));
    audio::setTap({});
    EXPECT_EQ(presetOn(*out, 5), 42);
}

namespace {

// Debian's timgm6mb-soundfont: a second General MIDI set beside the default.
const std::string secondSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

std::vector<float> middleC(const std::string& soundfont)
{
    std::string error;
    auto synth = midi::Synth::create(44100, soundfont, error);
    EXPECT_NE(synth, nullptr) << error;
    std::vector<float> out(2 * 8820);
    if (synth) {
        apply(*synth, {0x90, 60, 100});
        synth->render(out.data(), 8820);
    }
    return out;
}

} // namespace

TEST_F(SynthTest, AnotherSoundfontSoundsOtherwiseAndOneThatDoesNotLoadKeepsTheOld)
{
    if (midi::soundfontName(secondSoundfont).empty())
        GTEST_SKIP() << secondSoundfont << " is not installed (timgm6mb-soundfont)";
    const std::vector<float> first = middleC(soundfont);
    const std::vector<float> second = middleC(secondSoundfont);
    double energy = 0, difference = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        energy += double(first[i]) * first[i];
        difference += double(first[i] - second[i]) * (first[i] - second[i]);
    }
    ASSERT_GT(energy, 1.0) << "the note sounds";
    EXPECT_GT(difference, 0.1 * energy);

    synth.reset();
    std::string error;
    auto out = midi::SynthOutput::open(soundfont, "", error);
    ASSERT_NE(out, nullptr) << error;
    testing_support::TempDir dir;
    const std::string broken = dir.write("broken.sf2", std::string("RIFF\x10\0\0\0sfbkLIST", 16));
    EXPECT_FALSE(out->useSoundfont(broken, error));
    EXPECT_EQ(error, "The soundfont " + broken + " could not be loaded.");
    EXPECT_EQ(out->soundfont(), soundfont);

    // The song after the change still finds the GM mode its reset asked for:
    // no banks.
    out->send(gmOn, midi::Clock::now());
    EXPECT_TRUE(out->useSoundfont(secondSoundfont, error)) << error;
    int sfonts = 0;
    Program program;
    out->withSynth([&](midi::Synth& s) {
        sfonts = fluid_synth_sfcount(s.handle());
        apply(s, {0xB0, 0x00, 8});
        apply(s, {0xC0, 1});
        program = programOf(s, 0);
    });
    EXPECT_EQ(out->soundfont(), secondSoundfont);
    EXPECT_EQ(sfonts, 1) << "the new soundfont replaces the old one";
    EXPECT_EQ(program, (Program{0, 1}));
}

namespace {

// A song that sets a bank, changes programs in the middle and plays drums,
// rendered event by event; every tick is 100 frames.
std::vector<float> renderSong(const std::string& soundfont, midi::SampleLoading loading)
{
    using smf_builder::Track;
    Track t;
    t.sysex(0, 0xF0, smf_builder::bytes({0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}))
        .ev(0, {0xB0, 0x00, 8}).ev(0, {0xC0, 4}).ev(0, {0xC1, 40}).ev(0, {0xC9, 0})
        .ev(0, {0x90, 60, 100}).ev(0, {0x91, 67, 90}).ev(0, {0x99, 36, 120})
        .ev(40, {0x80, 60, 0}).ev(0, {0xC0, 25}).ev(0, {0x90, 64, 100}).ev(0, {0x99, 38, 110})
        .ev(40, {0x80, 64, 0}).ev(0, {0x81, 67, 0}).end(80);
    const std::string file = smf_builder::file(0, 96, {t});
    midi::Song song;
    std::string error;
    EXPECT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, song, error)) << error;

    auto synth = midi::Synth::create(44100, soundfont, error, loading);
    EXPECT_NE(synth, nullptr) << error;
    if (!synth)
        return {};
    synth->holdPrograms(midi::programsSelected(song));
    std::vector<float> out(2 * 100 * size_t(song.endTick));
    uint32_t rendered = 0;
    for (const midi::Event& e : song.events) {
        synth->render(out.data() + 2 * 100 * rendered, int(100 * (e.tick - rendered)));
        rendered = e.tick;
        const uint8_t channel[3] = {e.status(), e.data1(), e.data2()};
        synth->apply(e.isSysex() ? song.sysex(e.sysexIndex()) : std::span<const uint8_t>(channel));
    }
    synth->render(out.data() + 2 * 100 * rendered, int(100 * (song.endTick - rendered)));
    return out;
}

} // namespace

TEST_F(SynthTest, SamplesReadOnDemandSoundAsIfAllWereLoaded)
{
    synth.reset();
    const std::vector<float> whole = renderSong(soundfont, midi::SampleLoading::Whole);
    const std::vector<float> onDemand = renderSong(soundfont, midi::SampleLoading::OnDemand);
    double energy = 0;
    for (float v : whole)
        energy += double(v) * v;
    ASSERT_GT(energy, 1.0) << "the song sounds";
    ASSERT_EQ(onDemand.size(), whole.size());
    // Samples read one at a time may differ from the whole file's at the
    // rounding level where a voice fades; a missing or wrong sample would
    // differ by whole notes.
    float worst = 0;
    for (size_t i = 0; i < whole.size(); ++i)
        worst = std::max(worst, std::abs(whole[i] - onDemand[i]));
    EXPECT_LT(worst, 1e-5f);
}

// A server that resamples asks for buffers of 1024 frames in a sawtooth: at
// every cycle of its own (1024 frames at 48 kHz) that finds its store short,
// a little late at times. The notes, sent as the player sends them (at their
// time, a little late at times), sound each within FluidSynth's own step of
// 64 frames of a steady beat.
TEST_F(SynthTest, NotesKeepTheBeatHoweverUnevenlyTheCardAsks)
{
    constexpr int rate = 44100, buffer = 1024;
    constexpr int64_t second = 1000000000, cycle = second * 1024 / 48000;
    constexpr int64_t start = 1000 * second, step = second * 2037 / 10000; // a beat no buffer divides
    constexpr int count = 30;
    unsigned seed = 12345;
    const auto jitter = [&seed](int64_t most) {
        seed = seed * 1103515245 + 12345;
        return int64_t((seed >> 8) % 1024) * most / 1024;
    };
    midi::SynthFeed feed(rate);
    const std::vector<uint8_t> dry[] = {{0xB9, 91, 0}, {0xB9, 93, 0}};
    for (const std::vector<uint8_t>& m : dry)
        feed.push(m, start);

    std::vector<float> out;
    std::vector<double> times;
    int sent = 0;
    int64_t sentAt = start + jitter(second / 1000);
    double stored = 0; // frames the server holds
    for (int64_t now = start; sent < count || now < start + count * step + second / 2; now += cycle) {
        stored -= double(cycle) * rate / second;
        if (stored >= 0)
            continue;
        const int64_t asked = now + jitter(2 * second / 1000);
        for (; sent < count && sentAt <= asked; sentAt = start + ++sent * step + jitter(second / 1000)) {
            const int64_t due = start + sent * step;
            const uint8_t on[3] = {0x99, 76, 110}, off[3] = {0x89, 76, 0};
            feed.push(on, due);
            feed.push(off, due); // a wood block rings on after its note-off
            times.push_back(double(due - start) / second);
        }
        out.resize(out.size() + 2 * buffer);
        feed.render(*synth, out.data() + out.size() - 2 * buffer, buffer, asked);
        stored += buffer;
    }
    std::vector<double> heard;
    for (size_t frame : onsets::find(out, 0.01f, rate / 20))
        heard.push_back(double(frame) / rate);
    ASSERT_EQ(heard.size(), size_t(count)) << "every note sounds once";
    double slope = 0;
    const std::vector<double> off = onsets::deviations(heard, times, &slope);
    EXPECT_LT(*std::max_element(off.begin(), off.end()), 64000.0 / rate);
    EXPECT_NEAR(slope, 1.0, 1e-3) << "the beat keeps its pace";
}

namespace {

// Hands the messages to a feed, as the built-in output does, for a test to
// render on a clock of its own.
class FeedOutput final : public midi::Output {
public:
    explicit FeedOutput(midi::SynthFeed& feed) : feed_(feed) { }
    void send(std::span<const uint8_t> message, midi::TimePoint due) override
    {
        feed_.push(message, std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count());
    }

private:
    midi::SynthFeed& feed_;
};

// How strongly FREQUENCY sounds in COUNT stereo frames from FIRST (Goertzel,
// over a Hann window so that a neighbouring pitch hardly leaks in).
double strength(const std::vector<float>& sound, size_t first, size_t count, double frequency, int rate)
{
    const double w = 2 * std::numbers::pi * frequency / rate;
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < count; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(count - 1));
        const double s = hann * (sound[2 * (first + i)] + sound[2 * (first + i) + 1]) + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2);
}

} // namespace

// An organ's A4 (440 Hz) on one channel and E5 (659 Hz) on another, dry,
// played on the card's clock: silencing the first takes its pitch out of
// the sound within 30 ms of the call, the output's delay included, and the
// other sounds on.
TEST_F(SynthTest, ASilencedChannelsPitchIsGoneWithin30MsAndTheOtherSoundsOn)
{
    constexpr int rate = 44100, frames = 512;
    using smf_builder::Track;
    Track t;
    t.ev(0, {0xC0, 20}).ev(0, {0xC1, 20});
    t.ev(0, {0x90, 69, 100}).ev(0, {0x91, 76, 100}).ev(2000, {0x80, 69, 0}).ev(0, {0x81, 76, 0}).end();
    const std::string file = smf_builder::file(0, 500, {t});
    auto song = std::make_shared<midi::Song>();
    std::string error;
    ASSERT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, *song, error));

    // The room's echo of the silenced note fades on its own time: what is
    // measured is the channel's own sound.
    fluid_synth_reverb_on(synth->handle(), -1, 0);
    fluid_synth_chorus_on(synth->handle(), -1, 0);
    midi::SynthFeed feed(rate);
    midi::Sequence seq(song, std::make_shared<FeedOutput>(feed));
    const midi::TimePoint start = midi::TimePoint {} + 1000s;
    const midi::TimePoint call = start + 503ms; // between two of the card's calls
    const auto period = std::chrono::nanoseconds(int64_t {frames} * 1'000'000'000 / rate);
    seq.play(start);
    std::vector<float> sound;
    for (midi::TimePoint ask = start; ask < start + 1s; ask += period) {
        if (ask >= call && seq.silenced() == 0)
            seq.setSilenced(0x0001, call);
        seq.process(ask);
        sound.resize(sound.size() + 2 * frames);
        feed.render(*synth, sound.data() + sound.size() - 2 * frames, frames,
            std::chrono::duration_cast<std::chrono::nanoseconds>(ask.time_since_epoch()).count());
    }

    // The song's first notes sound the output's delay after their time: the
    // frames are placed in time from there.
    const std::vector<size_t> begun = onsets::find(sound, 1e-6f, 1);
    ASSERT_FALSE(begun.empty()) << "the organ sounds";
    const double delay = double(feed.delayNanos()) / 1e9;
    const auto frameAt = [&](midi::TimePoint heard) {
        return begun.front() + size_t(std::chrono::duration<double>(heard - start).count() * rate - delay * rate);
    };
    const size_t window = rate * 40 / 1000;
    const size_t before = frameAt(call - 60ms), after = frameAt(call + 30ms);
    ASSERT_LE(after + window, sound.size() / 2);
    const double a4 = strength(sound, before, window, 440.0, rate);
    const double e5 = strength(sound, before, window, 659.26, rate);
    ASSERT_GT(a4, 1.0) << "A4 sounds before the call";
    EXPECT_LT(strength(sound, after, window, 440.0, rate), 0.01 * a4) << "A4 is gone";
    EXPECT_GT(strength(sound, after, window, 659.26, rate), 0.7 * e5) << "E5 sounds on";
}
