#include "platform/audio/audio_output.h"
#include "platform/audio/converter.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using audio::Converter;

namespace {

// A source that counts its frames: frame i carries the value i on every channel.
struct Ramp {
    int channels;
    long next = 0;
    audio::RenderFn fn()
    {
        return [this](float* out, int frames) {
            for (int f = 0; f < frames; ++f, ++next)
                for (int c = 0; c < channels; ++c)
                    out[f * channels + c] = float(next) + 0.25f * float(c);
        };
    }
};

std::vector<float> mix(Converter& conv, Ramp& ramp, int frames, int block)
{
    std::vector<float> out(size_t(frames) * 2, 0.0f);
    auto fn = ramp.fn();
    for (int done = 0; done < frames; done += block)
        conv.mixInto(out.data() + size_t(done) * 2, std::min(block, frames - done), fn);
    return out;
}

} // namespace

TEST(Converter, SameRateMonoIsSpreadAndExact)
{
    Ramp ramp{1};
    Converter conv(44100, 1, 44100, 512);
    const auto out = mix(conv, ramp, 2048, 512);
    for (int i = 0; i < 2048; ++i) {
        ASSERT_FLOAT_EQ(out[2 * i], float(i)) << i;
        ASSERT_FLOAT_EQ(out[2 * i + 1], float(i)) << i;
    }
}

TEST(Converter, UpsamplingInterpolatesAcrossBlocks)
{
    Ramp ramp{2};
    Converter conv(22050, 2, 44100, 512);
    const auto out = mix(conv, ramp, 4000, 333); // blocks that do not divide evenly
    for (int i = 0; i < 4000; ++i) {
        ASSERT_NEAR(out[2 * i], i * 0.5f, 1e-3) << i;
        ASSERT_NEAR(out[2 * i + 1], i * 0.5f + 0.25f, 1e-3) << i;
    }
    EXPECT_NEAR(double(ramp.next), 2000.0, 2.0);
}

TEST(Converter, DownsamplingKeepsTheSourcePaceAndTakesTheFrontPair)
{
    Ramp ramp{6};
    Converter conv(48000, 6, 44100, 512);
    const auto out = mix(conv, ramp, 44100, 512);
    EXPECT_NEAR(double(ramp.next), 48000.0, 3.0);
    const double step = 48000.0 / 44100.0;
    for (int i = 0; i < 44100; i += 97) {
        ASSERT_NEAR(out[2 * i], i * step, 1e-2) << i;
        ASSERT_NEAR(out[2 * i + 1], i * step + 0.25, 1e-2) << i;
    }
}

// SDL's dummy driver, like several real ones, allows a single open device:
// every output is a stream on the one card, so several coexist, and closing
// one never keeps the next from opening.
TEST(Output, StreamsShareTheOneCard)
{
    std::atomic<int> a{0}, b{0};
    std::string error;
    auto first = audio::Output::open(
        {44100, 2, 512}, [&](float*, int) { ++a; }, {}, error);
    ASSERT_TRUE(first) << error;
    auto second = audio::Output::open(
        {11025, 1, 512}, [&](float*, int) { ++b; }, {}, error);
    ASSERT_TRUE(second) << error;
    first->start();
    second->start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while ((a == 0 || b == 0) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(a.load(), 0);
    EXPECT_GT(b.load(), 0);

    second->pause();
    const int seen = b.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(b.load(), seen) << "a paused stream is not rendered";

    for (int i = 0; i < 20; ++i) {
        first.reset();
        first = audio::Output::open(
            {44100, 2, 512}, [](float*, int) {}, {}, error);
        ASSERT_TRUE(first) << error;
    }
}

namespace {

template <class Condition>
bool within(std::chrono::milliseconds limit, Condition done)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

} // namespace

TEST(Output, CardSleepsWhileNothingRunsAndWakesAtAStart)
{
    std::atomic<int> calls{0};
    std::atomic<bool> goIdle{false};
    std::string error;
    std::unique_ptr<audio::Output> out;
    out = audio::Output::open(
        {44100, 2, 512},
        [&](float*, int) {
            ++calls;
            if (goIdle)
                out->setIdle(true);
        },
        {}, error);
    ASSERT_TRUE(out) << error;
    EXPECT_TRUE(within(std::chrono::milliseconds(500), [] { return !audio::cardAwake(); }))
        << "a stream that never started keeps the card asleep";

    for (int round = 0; round < 2; ++round) {
        const int before = calls.load();
        out->start();
        EXPECT_TRUE(audio::cardAwake());
        EXPECT_TRUE(within(std::chrono::milliseconds(200), [&] { return calls.load() > before; }));
        if (round == 0)
            out->pause();
        else
            goIdle = true; // the stream stops itself from its render function
        EXPECT_TRUE(within(std::chrono::milliseconds(500), [] { return !audio::cardAwake(); }));
        EXPECT_FALSE(out->running());
        goIdle = false;
    }

    // Asleep long enough, the card closes; the next start opens it again.
    audio::setCloseAfterSleeping(std::chrono::milliseconds(50));
    EXPECT_TRUE(within(std::chrono::milliseconds(1000), [] { return !audio::cardOpen(); }));
    const int before = calls.load();
    out->start();
    EXPECT_TRUE(within(std::chrono::milliseconds(500), [&] { return calls.load() > before; }));
    out->pause();
    EXPECT_TRUE(within(std::chrono::milliseconds(1000), [] { return !audio::cardOpen(); }));
    audio::setCloseAfterSleeping(std::chrono::seconds(3));
}

// A sound output that cannot be opened refuses the new stream with its name,
// and the card moves back to where it was: what plays on it goes on.
TEST(Output, ChosenDeviceIsOpenedAndABadOneChangesNothing)
{
    std::atomic<int> played{0};
    std::string error;
    auto playing = audio::Output::open(
        {44100, 2, 512}, [&](float*, int) { ++played; }, {}, error);
    ASSERT_TRUE(playing) << error;
    playing->start();

    error.clear();
    EXPECT_EQ(audio::Output::open(
                  {44100, 2, 512}, [](float*, int) {}, "Sound Blaster 16", error),
        nullptr);
    EXPECT_NE(error.find("\"Sound Blaster 16\""), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(audio::canOpenDevice("Sound Blaster 16", error));
    EXPECT_NE(error.find("\"Sound Blaster 16\""), std::string::npos) << error;

    const int before = played.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (played.load() < before + 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(played.load(), before + 3) << "the stream already playing stopped";

    // Every device the system lists can be chosen.
    error.clear();
    for (const std::string& device : audio::outputDevices(error))
        EXPECT_NE(audio::Output::open(
                      {44100, 2, 512}, [](float*, int) {}, device, error),
            nullptr)
            << device << ": " << error;
}

// The sound server learns who plays what as the card opens, from the stream
// that opens it: the first one, or the one that wakes it after it closed
// asleep. File names need not be UTF-8; what the server is told must be.
TEST(Output, TheStreamThatOpensTheCardLabelsIt)
{
    using std::chrono::milliseconds;
    audio::setCloseAfterSleeping(milliseconds(20));
    ASSERT_TRUE(within(milliseconds(4000), [] { return !audio::cardOpen(); }));
    audio::setCloseAfterSleeping(std::chrono::seconds(3));
    audio::setApplicationName("Quorvana");
    std::string error;
    auto song = audio::Output::open(
        {44100, 2, 512}, [](float*, int) {}, {}, error, audio::fileLabel("/music/Song.mid", audio::Role::Music));
    ASSERT_TRUE(song) << error;
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_APP_NAME), "Quorvana");
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME), "Song.mid");
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE), "music");

    auto clip = audio::Output::open(
        {44100, 2, 512}, [](float*, int) {}, {}, error, audio::fileLabel("/films/Fl\xFCge.avi", audio::Role::Video));
    ASSERT_TRUE(clip) << error;
    audio::setCloseAfterSleeping(milliseconds(20));
    ASSERT_TRUE(within(milliseconds(1000), [] { return !audio::cardOpen(); }));
    clip->start();
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME), "Fl\uFFFDge.avi");
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE), "video");
    clip->pause();
    audio::setCloseAfterSleeping(std::chrono::seconds(3));
}
