// The wave device on the real audio output (SDL's dummy driver in the tests,
// which consumes samples in real time).
#include "platform/mci/wave/wave_device.h"
#include "tests/platform/mci/wave/wav_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using mci::Mode;

namespace {

struct Ended {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;

    void attach(mci::Device& d)
    {
        d.setEndNotify([this] {
            std::lock_guard lock(mutex);
            ++count;
            cv.notify_all();
        });
    }
    bool wait(std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, limit, [&] { return count > 0; });
    }
};

uint32_t positionOf(mci::Device& d)
{
    uint32_t v = 0;
    d.position(v);
    return v;
}

} // namespace

TEST(WavePlayback, ShortFilePlaysToItsExactEnd)
{
    testing_support::TempDir dir;
    auto d = mci::makeWaveDevice();
    // 8-bit mono at 11,025 Hz: 3000 frames are 272.1 ms.
    const mci::Result r = d->open(dir.write("short one.wav", wave_test::pcm8(11025, 1, 3000)));
    ASSERT_TRUE(r.ok()) << r.text;
    Ended ended;
    ended.attach(*d);
    uint32_t length = 0;
    ASSERT_TRUE(d->length(length).ok());
    EXPECT_EQ(length, 272u);

    ASSERT_TRUE(d->play().ok());
    ASSERT_TRUE(ended.wait(5s));
    EXPECT_EQ(d->mode(), Mode::Stopped);
    EXPECT_EQ(positionOf(*d), length);
}

TEST(WavePlayback, PauseHoldsThePositionAndResumeFinishes)
{
    testing_support::TempDir dir;
    auto d = mci::makeWaveDevice();
    ASSERT_TRUE(d->open(dir.write("a.wav", wave_test::markedPcm16(44100, 2, 17640))).ok()); // 400 ms
    Ended ended;
    ended.attach(*d);
    ASSERT_TRUE(d->play().ok());

    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (positionOf(*d) < 50 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(d->pause().ok());
    const uint32_t held = positionOf(*d);
    EXPECT_GE(held, 50u);
    EXPECT_LT(held, 400u);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(positionOf(*d), held);
    EXPECT_EQ(d->mode(), Mode::Paused);

    ASSERT_TRUE(d->resume().ok());
    ASSERT_TRUE(ended.wait(5s));
    EXPECT_EQ(positionOf(*d), 400u);

    // Back to the start and once more to the end.
    {
        std::lock_guard lock(ended.mutex);
        ended.count = 0;
    }
    ASSERT_TRUE(d->seekToStart().ok());
    ASSERT_TRUE(d->play().ok());
    ASSERT_TRUE(ended.wait(5s));
    EXPECT_EQ(positionOf(*d), 400u);
}
