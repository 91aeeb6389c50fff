// The wave device driven through an output the test pulls by hand, standing in
// for the audio thread; the reader thread is the real one.
#include "platform/mci/wave/wave_device.h"
#include "tests/platform/mci/wave/wav_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <mutex>
#include <thread>

using namespace wave_test;
using namespace std::chrono_literals;
using mci::Mode;

namespace {

class WaveDeviceTest : public ::testing::Test {
protected:
    struct HandSink : mci::wave::Sink {
        WaveDeviceTest* test;
        explicit HandSink(WaveDeviceTest* t) : test(t) {}
        ~HandSink() override { set(false, true); }
        void start() override { set(true, false); }
        void pause() override { set(false, false); }
        void set(bool running, bool gone)
        {
            std::lock_guard lock(test->mutex);
            test->running = running;
            if (gone)
                test->render = nullptr;
        }
    };

    // A device on BYTES; an open that fails is expected unless RESULT takes it.
    std::unique_ptr<mci::Device> device(const std::string& bytes, mci::Result* result = nullptr)
    {
        auto d = mci::wave::makeDevice(
            [this](const audio::Format& f, audio::RenderFn fn, std::string&, const audio::StreamLabel&) {
                std::lock_guard lock(mutex);
                render = std::move(fn);
                format = f;
                return std::make_unique<HandSink>(this);
            });
        const mci::Result r = d->open(dir.write("t.wav", bytes));
        if (result)
            *result = r;
        else
            EXPECT_TRUE(r.ok()) << r.text;
        d->setEndNotify([this] {
            std::lock_guard lock(mutex);
            ++ends;
        });
        return d;
    }

    // One callback of FRAMES frames; silence while the output is paused.
    std::vector<float> pull(int frames)
    {
        std::vector<float> out(size_t(frames) * format.channels, 0.0f);
        std::lock_guard lock(mutex);
        if (running && render)
            render(out.data(), frames);
        return out;
    }

    // Callbacks until FRAMES frames with sound have come (or the device stopped),
    // leaving the reader time to refill. The frame numbers heard, in order.
    std::vector<int64_t> hear(int64_t frames, mci::Device& d)
    {
        std::vector<int64_t> heard;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (int64_t(heard.size()) < frames && d.mode() == Mode::Playing &&
               std::chrono::steady_clock::now() < deadline) {
            const std::vector<float> out = pull(int(std::min<int64_t>(frames - int64_t(heard.size()), 256)));
            size_t i = 0;
            for (; i < out.size() && out[i] != 0.0f; i += format.channels)
                heard.push_back(frameOf(out[i]));
            if (i < out.size())
                std::this_thread::sleep_for(1ms);
        }
        return heard;
    }

    // Callbacks until N end notifications have come in all.
    bool pullUntilEnds(int n)
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (endCount() < n && std::chrono::steady_clock::now() < deadline) {
            pull(256);
            std::this_thread::sleep_for(1ms);
        }
        return endCount() >= n;
    }

    int endCount()
    {
        std::lock_guard lock(mutex);
        return ends;
    }

    static uint32_t lengthOf(mci::Device& d)
    {
        uint32_t v = 0;
        EXPECT_TRUE(d.length(v).ok());
        return v;
    }
    static uint32_t positionOf(mci::Device& d)
    {
        uint32_t v = 0;
        EXPECT_TRUE(d.position(v).ok());
        return v;
    }

    testing_support::TempDir dir;
    std::mutex mutex;
    audio::RenderFn render;
    audio::Format format;
    bool running = false;
    int ends = 0;
};

} // namespace

TEST_F(WaveDeviceTest, CountsLengthsInRoundedMillisecondsOnly)
{
    EXPECT_EQ(lengthOf(*device(pcm8(11025, 1, 5513))), 500u); // 500.04 ms
    EXPECT_EQ(format.sampleRate, 11025);
    EXPECT_EQ(lengthOf(*device(pcm8(11025, 1, 5512))), 500u); // 499.95 ms
    auto stereo = device(markedPcm16(44100, 2, 4409)); // 99.98 ms
    EXPECT_EQ(lengthOf(*stereo), 100u);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(stereo->mode(), Mode::Stopped);
    EXPECT_TRUE(stereo->setTimeFormat(mci::TimeFormat::Milliseconds).ok());
    EXPECT_EQ(stereo->setTimeFormat(mci::TimeFormat::Frames).code, mci::ErrUnsupportedFunction);

    // libsndfile counts IMA ADPCM in whole blocks (1010 frames here); the fact
    // chunk has the exact count, and playback ends there too.
    std::string ima = viaSndfile(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 8000, 1, 1000);
    setFact(ima, 1000);
    auto adpcm = device(ima);
    EXPECT_EQ(lengthOf(*adpcm), 125u);
    ASSERT_TRUE(adpcm->play().ok());
    ASSERT_TRUE(pullUntilEnds(1));
    EXPECT_EQ(positionOf(*adpcm), 125u);

    // 11,025 Hz has no whole number of frames per millisecond: every
    // millisecond still seeks back to itself.
    auto odd = device(pcm8(11025, 1, 2205));
    for (uint32_t ms = 0; ms <= 200; ++ms) {
        ASSERT_TRUE(odd->seek(ms).ok());
        ASSERT_EQ(positionOf(*odd), ms);
    }
}

TEST_F(WaveDeviceTest, PlaysEveryFrameOnceAndEndsWithPositionEqualToLength)
{
    auto d = device(markedPcm16(8000, 2, 3001)); // 375.125 ms
    ASSERT_TRUE(d->play().ok());
    EXPECT_EQ(d->mode(), Mode::Playing);
    EXPECT_EQ(frameOf(pull(64)[0]), 0); // the first callback already carries the file
    const std::vector<int64_t> heard = hear(5000, *d);
    ASSERT_EQ(heard.size(), 3001u - 64);
    for (size_t i = 0; i < heard.size(); ++i)
        ASSERT_EQ(heard[i], int64_t(i) + 64);

    ASSERT_TRUE(pullUntilEnds(1));
    EXPECT_EQ(d->mode(), Mode::Stopped);
    EXPECT_EQ(positionOf(*d), lengthOf(*d));
    EXPECT_FALSE(running); // the output is not left running on silence
    pull(64);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(endCount(), 1);

    // Play at the end ends again at once.
    ASSERT_TRUE(d->play().ok());
    ASSERT_TRUE(pullUntilEnds(2));
    EXPECT_EQ(positionOf(*d), 375u);
}

TEST_F(WaveDeviceTest, SeekPauseResumeAndStopKeepThePlace)
{
    auto d = device(markedPcm16(8000, 1, 8000)); // one second
    EXPECT_EQ(d->resume().code, mci::ErrUnsupportedFunction); // nothing paused
    ASSERT_TRUE(d->play().ok());
    hear(800, *d);
    ASSERT_TRUE(d->pause().ok());
    EXPECT_EQ(d->mode(), Mode::Paused);
    EXPECT_EQ(pull(16)[0], 0.0f);
    EXPECT_EQ(positionOf(*d), 100u);
    ASSERT_TRUE(d->resume().ok());
    EXPECT_EQ(frameOf(pull(16)[0]), 800);
    ASSERT_TRUE(d->stop().ok());
    EXPECT_EQ(positionOf(*d), 102u);
    ASSERT_TRUE(d->play().ok());
    EXPECT_EQ(frameOf(pull(16)[0]), 816);

    ASSERT_TRUE(d->seek(333).ok()); // frame 2664
    EXPECT_EQ(d->mode(), Mode::Stopped);
    EXPECT_EQ(positionOf(*d), 333u);
    ASSERT_TRUE(d->play().ok());
    EXPECT_EQ(frameOf(pull(16)[0]), 2664);
    ASSERT_TRUE(d->seekToStart().ok());
    ASSERT_TRUE(d->play().ok());
    EXPECT_EQ(frameOf(pull(16)[0]), 0);

    ASSERT_TRUE(d->seek(5000).ok()); // past the end: at the end
    EXPECT_EQ(positionOf(*d), 1000u);
    ASSERT_TRUE(d->seekToEnd().ok());
    EXPECT_EQ(positionOf(*d), 1000u);
    ASSERT_TRUE(d->play().ok());
    ASSERT_TRUE(pullUntilEnds(1));
    EXPECT_EQ(endCount(), 1);
}

TEST_F(WaveDeviceTest, SeeksDuringPlaybackNeverReplayStaleSamples)
{
    auto d = device(markedPcm16(44100, 2, 44100));
    uint32_t seed = 12345;
    for (int i = 0; i < 200; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t ms = (seed >> 8) % 990;
        ASSERT_TRUE(d->seek(ms).ok());
        ASSERT_TRUE(d->play().ok());
        const std::vector<int64_t> heard = hear(1 + (seed >> 4) % 300, *d);
        ASSERT_FALSE(heard.empty());
        const int64_t start = (int64_t(ms) * 44100 + 500) / 1000;
        for (size_t k = 0; k < heard.size(); ++k)
            ASSERT_EQ(heard[k], (start + int64_t(k)) % 30000) << "after a seek to " << ms << " ms";
    }
}

TEST_F(WaveDeviceTest, OpenFailuresAndCloseLeaveNothingBehind)
{
    auto none = mci::wave::makeDevice(
        [](const audio::Format&, audio::RenderFn, std::string& error, const audio::StreamLabel&) {
            error = "No audio output device is available (no card).";
            return std::unique_ptr<mci::wave::Sink>();
        });
    const mci::Result r = none->open(dir.write("ok.wav", pcm8(8000, 1, 100)));
    EXPECT_EQ(r.code, mci::ErrNoAudioDevice);
    EXPECT_EQ(r.text, "No audio output device is available (no card).");
    EXPECT_EQ(none->mode(), Mode::NotReady);
    EXPECT_EQ(none->open((dir / "missing.wav").string()).code, mci::ErrFileNotFound);
    EXPECT_FALSE(none->play().ok());

    // Closing right after the end came, before it was delivered, must not
    // deliver it afterwards: many times over to meet the race.
    for (int i = 0; i < 50; ++i) {
        auto d = device(markedPcm16(8000, 1, 40));
        ASSERT_TRUE(d->play().ok());
        pull(64);
        d->close();
        EXPECT_EQ(d->mode(), Mode::NotReady);
        EXPECT_FALSE(d->seek(0).ok());
        const int seen = endCount();
        std::this_thread::sleep_for(1ms);
        EXPECT_EQ(endCount(), seen);
    }
}

// Headers that lie, damaged bytes and cut-off files of every codec kind: each
// is refused or plays to its real end, with position equal to length.
TEST_F(WaveDeviceTest, DamagedFilesAreRefusedOrPlayedToTheirEnd)
{
    std::string claims = markedPcm16(8000, 1, 800);
    claims.resize(claims.size() - 800); // the data chunk claims twice what is there
    auto d = device(claims);
    EXPECT_EQ(lengthOf(*d), 50u);
    ASSERT_TRUE(d->play().ok());
    EXPECT_EQ(hear(1000, *d).size(), 400u);
    ASSERT_TRUE(pullUntilEnds(1));
    EXPECT_EQ(positionOf(*d), 50u);

    std::string ima = viaSndfile(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 8000, 2, 2000);
    setFact(ima, 1990);
    const std::vector<std::string> originals{markedPcm16(8000, 2, 2000), pcm8(11025, 1, 2000),
                                             float32(8000, std::vector<float>(2000, 0.5f)), ima,
                                             viaSndfile(SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 8000, 1, 2000),
                                             viaSndfile(SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, 2000),
                                             viaSndfile(SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 8000, 2, 2000)};
    uint32_t seed = 7;
    auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    int played = 0;
    for (int i = 0; i < 400; ++i) {
        std::string bytes = originals[size_t(i) % originals.size()];
        const uint32_t damage = next() % 3;
        for (uint32_t k = damage == 1 ? 0 : 1 + next() % 4; k > 0; --k)
            bytes[next() % 96] = char(next());
        if (damage >= 1)
            bytes.resize(next() % bytes.size());
        mci::Result r;
        auto e = device(bytes, &r);
        if (!r.ok()) {
            EXPECT_FALSE(r.text.empty());
            continue;
        }
        if (lengthOf(*e) > 100) {
            ASSERT_TRUE(e->seek(lengthOf(*e) - 100).ok());
        }
        ASSERT_TRUE(e->play().ok());
        ASSERT_TRUE(pullUntilEnds(endCount() + 1)) << "case " << i;
        EXPECT_EQ(positionOf(*e), lengthOf(*e)) << "case " << i;
        ++played;
    }
    EXPECT_GT(played, 50);
}
