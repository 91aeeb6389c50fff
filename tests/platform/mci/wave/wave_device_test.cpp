#include "platform/mci/wave/wave_device.h"
#include "tests/platform/mci/wave/wav_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace wave_test;
using namespace std::chrono_literals;
using mci::Mode;

namespace {

// An output the test pulls by hand, standing in for the audio thread.
struct HandSink {
    std::mutex mutex;
    audio::RenderFn render;
    audio::Format format;
    bool running = false;
    std::atomic<int> opened{0};

    mci::wave::SinkOpener opener()
    {
        return [this](const audio::Format& f, audio::RenderFn fn, std::string&) -> std::unique_ptr<mci::wave::Sink> {
            struct Handle : mci::wave::Sink {
                HandSink* owner;
                explicit Handle(HandSink* o) : owner(o) {}
                ~Handle() override
                {
                    std::lock_guard lock(owner->mutex);
                    owner->render = nullptr;
                    owner->running = false;
                }
                void start() override
                {
                    std::lock_guard lock(owner->mutex);
                    owner->running = true;
                }
                void pause() override
                {
                    std::lock_guard lock(owner->mutex);
                    owner->running = false;
                }
            };
            std::lock_guard lock(mutex);
            render = std::move(fn);
            format = f;
            ++opened;
            return std::make_unique<Handle>(this);
        };
    }

    bool isRunning()
    {
        std::lock_guard lock(mutex);
        return running;
    }

    // One callback of FRAMES frames; silence when paused.
    std::vector<float> pull(int frames)
    {
        std::vector<float> out(size_t(frames) * size_t(format.channels), 0.0f);
        std::lock_guard lock(mutex);
        if (running && render)
            render(out.data(), frames);
        return out;
    }

    // Pulls until FRAMES frames with sound have come or DEVICE has stopped,
    // giving the reader thread time to refill between callbacks. Returns the
    // first sample of each frame heard.
    std::vector<float> consume(int64_t frames, mci::Device* device = nullptr)
    {
        std::vector<float> heard;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (int64_t(heard.size()) < frames && std::chrono::steady_clock::now() < deadline) {
            if (device && device->mode() != Mode::Playing)
                break;
            const int ask = int(std::min<int64_t>(frames - int64_t(heard.size()), 256));
            const std::vector<float> out = pull(ask);
            int got = 0;
            while (got < ask && out[size_t(got) * format.channels] != 0.0f)
                heard.push_back(out[size_t(got++) * format.channels]);
            if (got < ask)
                std::this_thread::sleep_for(1ms);
        }
        return heard;
    }
};

struct EndCounter {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;

    std::function<void()> callback()
    {
        return [this] {
            std::lock_guard lock(mutex);
            ++count;
            cv.notify_all();
        };
    }
    bool waitFor(int n, std::chrono::milliseconds limit = 5s)
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, limit, [&] { return count >= n; });
    }
    int value()
    {
        std::lock_guard lock(mutex);
        return count;
    }
};

uint32_t lengthOf(mci::Device& d)
{
    uint32_t v = 0;
    EXPECT_TRUE(d.length(v).ok());
    return v;
}

uint32_t positionOf(mci::Device& d)
{
    uint32_t v = 0;
    EXPECT_TRUE(d.position(v).ok());
    return v;
}

class WaveDeviceTest : public ::testing::Test {
protected:
    std::unique_ptr<mci::Device> openWith(const std::string& bytes, const std::string& name = "t.wav")
    {
        auto device = mci::wave::makeDevice(sink.opener());
        const mci::Result r = device->open(dir.write(name, bytes));
        EXPECT_TRUE(r.ok()) << r.text;
        device->setEndNotify(ends.callback());
        return device;
    }

    // Feeds the device callbacks until its end notification has come.
    bool pullUntilEnd()
    {
        const int before = ends.value();
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (ends.value() == before && std::chrono::steady_clock::now() < deadline) {
            sink.pull(64);
            std::this_thread::sleep_for(1ms);
        }
        return ends.value() > before;
    }

    testing_support::TempDir dir;
    HandSink sink;
    EndCounter ends;
};

} // namespace

TEST_F(WaveDeviceTest, ReportsLengthInTruncatedMillisecondsAndStartsStopped)
{
    // 5513 frames at 11,025 Hz are 500.04 ms; 4409 frames at 44.1 kHz 99.97 ms.
    auto mono8 = openWith(pcm8(11025, 1, 5513));
    EXPECT_EQ(lengthOf(*mono8), 500u);
    EXPECT_EQ(positionOf(*mono8), 0u);
    EXPECT_EQ(mono8->mode(), Mode::Stopped);
    EXPECT_EQ(sink.format.sampleRate, 11025);
    EXPECT_EQ(sink.format.channels, 1);

    auto stereo = openWith(markedPcm16(44100, 2, 4409));
    EXPECT_EQ(lengthOf(*stereo), 99u);
    EXPECT_EQ(sink.format.channels, 2);

    std::string ima = viaSndfile(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 11025, 1, 11025);
    setFact(ima, 11025);
    EXPECT_EQ(lengthOf(*openWith(ima)), 1000u);

    EXPECT_TRUE(stereo->setTimeFormat(mci::TimeFormat::Milliseconds).ok());
    EXPECT_TRUE(stereo->setTimeFormat(mci::TimeFormat::Default).ok());
    EXPECT_EQ(stereo->setTimeFormat(mci::TimeFormat::Frames).code, mci::ErrUnsupportedFunction);
    EXPECT_EQ(lengthOf(*stereo), 99u);
}

TEST_F(WaveDeviceTest, PlaysEveryFrameOnceThenStopsWithPositionEqualToLength)
{
    auto d = openWith(markedPcm16(8000, 2, 3001)); // 375.125 ms
    ASSERT_TRUE(d->play().ok());
    EXPECT_EQ(d->mode(), Mode::Playing);
    // The first callback after play already carries the file.
    const std::vector<float> first = sink.pull(64);
    EXPECT_EQ(frameOf(first[0]), 0);

    const std::vector<float> rest = sink.consume(3001 - 64);
    ASSERT_EQ(rest.size(), 3001u - 64);
    for (size_t i = 0; i < rest.size(); ++i)
        ASSERT_EQ(frameOf(rest[i]), int64_t(i + 64)) << i;
    EXPECT_EQ(positionOf(*d), 375u);

    // The next callback finds the end.
    sink.pull(64);
    ASSERT_TRUE(ends.waitFor(1));
    EXPECT_EQ(d->mode(), Mode::Stopped);
    EXPECT_EQ(positionOf(*d), lengthOf(*d));
    EXPECT_FALSE(sink.isRunning()); // no output kept running on silence
    sink.pull(64);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ends.value(), 1);

    // Play at the end ends again at once, with one more notification.
    ASSERT_TRUE(d->play().ok());
    sink.pull(64);
    ASSERT_TRUE(ends.waitFor(2));
    EXPECT_EQ(positionOf(*d), 375u);
}

TEST_F(WaveDeviceTest, ExactLengthOfBlockCodecsIsReachedExactly)
{
    std::string ima = viaSndfile(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 8000, 1, 1000);
    setFact(ima, 1000); // libsndfile alone would play 1010 frames
    auto d = openWith(ima);
    EXPECT_EQ(lengthOf(*d), 125u);
    ASSERT_TRUE(d->play().ok());
    ASSERT_TRUE(pullUntilEnd());
    EXPECT_EQ(positionOf(*d), 125u); // 1010 frames would be 126 ms
}

TEST_F(WaveDeviceTest, SeeksLeaveTheDeviceStoppedWherePlayingResumes)
{
    auto d = openWith(markedPcm16(8000, 1, 8000)); // one second
    ASSERT_TRUE(d->play().ok());
    sink.consume(800);

    ASSERT_TRUE(d->seek(333).ok());
    EXPECT_EQ(d->mode(), Mode::Stopped);
    EXPECT_EQ(positionOf(*d), 333u);
    EXPECT_EQ(sink.pull(16)[0], 0.0f); // stopped: silence
    ASSERT_TRUE(d->play().ok());
    // 333 ms is frame 2664; the first sample heard is that frame, not one
    // left over from before the seek.
    EXPECT_EQ(frameOf(sink.pull(16)[0]), 2664);

    ASSERT_TRUE(d->seekToStart().ok());
    EXPECT_EQ(positionOf(*d), 0u);
    ASSERT_TRUE(d->play().ok());
    EXPECT_EQ(frameOf(sink.pull(16)[0]), 0);

    // Past the end stops at the end; so does seekToEnd.
    ASSERT_TRUE(d->seek(5000).ok());
    EXPECT_EQ(positionOf(*d), 1000u);
    ASSERT_TRUE(d->seek(1000).ok());
    EXPECT_EQ(positionOf(*d), 1000u);
    ASSERT_TRUE(d->seekToEnd().ok());
    EXPECT_EQ(positionOf(*d), 1000u);
    EXPECT_EQ(d->mode(), Mode::Stopped);
    ASSERT_TRUE(d->play().ok());
    sink.pull(16);
    ASSERT_TRUE(ends.waitFor(1));
    EXPECT_EQ(positionOf(*d), 1000u);
}

TEST_F(WaveDeviceTest, EveryMillisecondSeeksBackToItself)
{
    // 11,025 Hz has no whole number of frames per millisecond.
    auto d = openWith(pcm8(11025, 1, 2205));
    for (uint32_t ms = 0; ms <= lengthOf(*d); ++ms) {
        ASSERT_TRUE(d->seek(ms).ok());
        ASSERT_EQ(positionOf(*d), ms);
    }
}

TEST_F(WaveDeviceTest, PauseResumeAndStopKeepThePlace)
{
    auto d = openWith(markedPcm16(8000, 1, 8000));
    EXPECT_EQ(d->resume().code, mci::ErrUnsupportedFunction); // nothing paused yet
    ASSERT_TRUE(d->play().ok());
    sink.consume(800); // 100 ms
    ASSERT_TRUE(d->pause().ok());
    EXPECT_EQ(d->mode(), Mode::Paused);
    EXPECT_EQ(positionOf(*d), 100u);
    EXPECT_EQ(sink.pull(16)[0], 0.0f);
    EXPECT_EQ(positionOf(*d), 100u);

    ASSERT_TRUE(d->resume().ok());
    EXPECT_EQ(d->mode(), Mode::Playing);
    EXPECT_EQ(frameOf(sink.pull(16)[0]), 800);

    ASSERT_TRUE(d->stop().ok());
    EXPECT_EQ(d->mode(), Mode::Stopped);
    EXPECT_EQ(positionOf(*d), 102u);
    EXPECT_EQ(d->resume().code, mci::ErrUnsupportedFunction);
    ASSERT_TRUE(d->play().ok());
    EXPECT_EQ(frameOf(sink.pull(16)[0]), 816);

    // Pause on a stopped device changes nothing.
    ASSERT_TRUE(d->stop().ok());
    ASSERT_TRUE(d->pause().ok());
    EXPECT_EQ(d->mode(), Mode::Stopped);
    EXPECT_EQ(ends.value(), 0);
}

TEST_F(WaveDeviceTest, SeeksInTheMiddleOfPlaybackNeverReplayStaleSamples)
{
    auto d = openWith(markedPcm16(44100, 2, 44100));
    uint32_t seed = 12345;
    for (int i = 0; i < 200; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t ms = (seed >> 8) % 990;
        ASSERT_TRUE(d->seek(ms).ok());
        ASSERT_TRUE(d->play().ok());
        const std::vector<float> heard = sink.consume(1 + (seed >> 4) % 300);
        ASSERT_FALSE(heard.empty());
        const int64_t start = (int64_t(ms) * 44100 + 999) / 1000;
        for (size_t k = 0; k < heard.size(); ++k)
            ASSERT_EQ(frameOf(heard[k]), (start + int64_t(k)) % 30000) << "seek to " << ms << " ms";
    }
}

TEST_F(WaveDeviceTest, DataShorterThanItsHeaderEndsWhereTheDataEnds)
{
    std::string bytes = markedPcm16(8000, 1, 800);
    bytes.resize(bytes.size() - 800); // 400 frames are left: 50 ms
    auto d = openWith(bytes);
    EXPECT_EQ(lengthOf(*d), 50u);
    ASSERT_TRUE(d->play().ok());
    EXPECT_EQ(sink.consume(1000, d.get()).size(), 400u);
    ASSERT_TRUE(ends.waitFor(1));
    EXPECT_EQ(positionOf(*d), lengthOf(*d));
}

TEST_F(WaveDeviceTest, BlockCodecWithoutSeekingStillSeeksAndEnds)
{
    auto d = openWith(viaSndfile(SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, 4000));
    const uint32_t length = lengthOf(*d);
    ASSERT_TRUE(d->seek(length - 20).ok());
    EXPECT_EQ(positionOf(*d), length - 20);
    ASSERT_TRUE(d->play().ok());
    ASSERT_TRUE(pullUntilEnd());
    EXPECT_EQ(positionOf(*d), length);
}

TEST_F(WaveDeviceTest, CloseStopsEverythingAndRefusesLaterCalls)
{
    auto d = openWith(markedPcm16(8000, 1, 8000));
    ASSERT_TRUE(d->play().ok());
    sink.consume(100);
    d->close();
    EXPECT_EQ(d->mode(), Mode::NotReady);
    EXPECT_FALSE(sink.isRunning());
    uint32_t v;
    EXPECT_FALSE(d->play().ok());
    EXPECT_FALSE(d->position(v).ok());
    EXPECT_FALSE(d->seek(0).ok());
    d->close(); // twice is harmless
    EXPECT_EQ(ends.value(), 0);

    // Closing right after the end came, before it was delivered, must not
    // deliver it afterwards: run it many times to meet the race.
    for (int i = 0; i < 50; ++i) {
        auto e = openWith(markedPcm16(8000, 1, 40));
        ASSERT_TRUE(e->play().ok());
        sink.pull(64);
        e->close();
        const int seen = ends.value();
        std::this_thread::sleep_for(1ms);
        EXPECT_EQ(ends.value(), seen);
    }
}

TEST_F(WaveDeviceTest, OpenFailuresLeaveNothingBehind)
{
    // No usable output: the text of the output goes to the user.
    auto none = mci::wave::makeDevice([](const audio::Format&, audio::RenderFn, std::string& error) {
        error = "No audio output device is available (no card).";
        return std::unique_ptr<mci::wave::Sink>();
    });
    const mci::Result r = none->open(dir.write("ok.wav", pcm8(8000, 1, 100)));
    EXPECT_EQ(r.code, mci::ErrNoAudioDevice);
    EXPECT_EQ(r.text, "No audio output device is available (no card).");
    EXPECT_EQ(none->mode(), Mode::NotReady);

    auto d = mci::wave::makeDevice(sink.opener());
    EXPECT_EQ(d->open((dir / "missing.wav").string()).code, mci::ErrFileNotFound);
    EXPECT_EQ(d->open("").code, mci::ErrUnsupportedFunction);
    const mci::Result text = d->open(dir.write("text.wav", "not a wave file\n"));
    EXPECT_EQ(text.code, mci::ErrInvalidFile);
    EXPECT_FALSE(text.text.empty());
    EXPECT_EQ(sink.opened.load(), 0); // refused before any output was opened
    EXPECT_FALSE(d->play().ok());
}
