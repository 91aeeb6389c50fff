// The wave device on the real audio output: SDL's dummy driver in the tests,
// which consumes samples in real time.
#include "platform/mci/wave/wave_device.h"
#include "tests/platform/mci/wave/wav_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

TEST(WavePlayback, PausesResumesAndEndsExactlyOnTheAudioOutput)
{
    testing_support::TempDir dir;
    auto d = mci::makeWaveDevice();
    // 8-bit mono at 11,025 Hz: 4000 frames are 362.8 ms.
    const mci::Result r = d->open(dir.write("short one.wav", wave_test::pcm8(11025, 1, 4000)));
    ASSERT_TRUE(r.ok()) << r.text;
    std::mutex mutex;
    std::condition_variable cv;
    int ends = 0;
    d->setEndNotify([&] {
        std::lock_guard lock(mutex);
        ++ends;
        cv.notify_all();
    });
    uint32_t length = 0, position = 0;
    ASSERT_TRUE(d->length(length).ok());
    EXPECT_EQ(length, 363u);

    ASSERT_TRUE(d->play().ok());
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (d->position(position).ok() && position < 50 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(d->pause().ok());
    d->position(position);
    const uint32_t held = position;
    EXPECT_GE(held, 50u);
    EXPECT_LT(held, length);
    std::this_thread::sleep_for(60ms);
    d->position(position);
    EXPECT_EQ(position, held);

    ASSERT_TRUE(d->resume().ok());
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return ends == 1; }));
    EXPECT_EQ(d->mode(), mci::Mode::Stopped);
    d->position(position);
    EXPECT_EQ(position, length);
}
