#include "platform/mci/video/audio_ring.h"

#include <gtest/gtest.h>

#include <vector>

using mci::video::AudioRing;

namespace {

std::vector<float> ramp(int64_t from, int64_t frames, int channels)
{
    std::vector<float> v;
    for (int64_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            v.push_back(static_cast<float>(from + i) + c * 0.5f);
    return v;
}

} // namespace

TEST(AudioRing, KeepsSamplesInOrderAcrossTheWrap)
{
    AudioRing ring(2, 8);
    ring.reset(100);
    EXPECT_EQ(ring.space(), 8);
    auto first = ramp(100, 6, 2);
    EXPECT_EQ(ring.write(first.data(), 6), 6);
    std::vector<float> out(8, -1.0f);
    ring.readAt(100, out.data(), 4);
    EXPECT_EQ(out, std::vector<float>(first.begin(), first.begin() + 8));

    // Only 6 of 7 fit; the rest waits for the writer to try again.
    auto second = ramp(106, 7, 2);
    EXPECT_EQ(ring.write(second.data(), 7), 6);
    EXPECT_EQ(ring.space(), 0);
    EXPECT_EQ(ring.writeIndex(), 112);
    std::vector<float> all(16, 0.0f);
    ring.readAt(104, all.data(), 8);
    auto want = ramp(104, 8, 2);
    EXPECT_EQ(all, want);
}

TEST(AudioRing, ReaderSkipsWhatCameLateAndWaitsInSilenceForWhatIsEarly)
{
    AudioRing ring(1, 16);
    ring.reset(0);
    auto data = ramp(0, 10, 1);
    ring.write(data.data(), 10);

    // The clock is already at 4: samples 0..3 are never heard.
    std::vector<float> out(3, 0.0f);
    ring.readAt(4, out.data(), 3);
    EXPECT_EQ(out, (std::vector<float>{4, 5, 6}));

    // The clock runs past what has been decoded: the missing part is silent.
    std::vector<float> tail(6, 0.0f); // the card hands over silence to start from
    ring.readAt(7, tail.data(), 6);
    EXPECT_EQ(tail, (std::vector<float>{7, 8, 9, 0, 0, 0}));

    // Sound that starts later than the clock: silence first, then the sound.
    ring.reset(50);
    auto later = ramp(50, 4, 1);
    ring.write(later.data(), 4);
    std::vector<float> gap(6, 0.0f);
    ring.readAt(47, gap.data(), 6);
    EXPECT_EQ(gap, (std::vector<float>{0, 0, 0, 50, 51, 52}));
}
