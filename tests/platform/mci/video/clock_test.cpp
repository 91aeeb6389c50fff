// The video follows the sound card's clock: it reads what the card has
// taken, never a period ahead of it.
#include "platform/mci/video/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

TEST(AudioClock, ReadsTheFramesTheCardHasTakenWithinOnePeriodBelow)
{
    constexpr int kRate = 48000, kPeriod = 480; // 10 ms
    mci::video::AudioClock clock(kRate, 2);
    audio::RenderFn render;
    std::string error;
    // The card's side is driven by hand: the stand-in keeps the render
    // function and opens a stream that never starts.
    ASSERT_TRUE(clock.open(
        [&](const audio::Format& format, audio::RenderFn fn, const std::string& device, std::string& e,
            const audio::StreamLabel&) {
            render = std::move(fn);
            return audio::Output::open(
                format, [](float*, int) {}, device, e);
        },
        "", error))
        << error;
    clock.setRunning(true);
    std::vector<float> buffer(size_t(kPeriod) * 2);
    for (int second = 1; second <= 2; ++second) {
        for (int i = 0; i < kRate / kPeriod; ++i)
            render(buffer.data(), kPeriod);
        // Between periods the clock moves on by itself, up to the period's end.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const int64_t now = clock.nowUs();
        EXPECT_GE(now, second * 1000000 - 10000) << second;
        EXPECT_LE(now, second * 1000000) << second;
    }
}
