#include "platform/mci/wave/sample_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using mci::wave::SampleRing;

namespace {

// Writes frames whose samples are VALUE, as much as fits in one piece.
uint32_t produce(SampleRing& ring, uint32_t gen, uint32_t frames, float value, bool finished = false)
{
    const auto space = ring.writable(gen);
    const uint32_t n = std::min(frames, space.frames);
    for (uint32_t i = 0; i < n * uint32_t(ring.channels()); ++i)
        space.data[i] = value;
    return ring.commit(gen, n, finished) ? n : 0;
}

} // namespace

TEST(SampleRing, WrapsAroundAndReportsTheEndOnlyWhenDrained)
{
    SampleRing ring(2, 6); // rounded up to 8 frames
    ASSERT_EQ(ring.capacity(), 8u);
    const uint32_t gen = ring.generation();
    EXPECT_EQ(produce(ring, gen, 6, 1.0f), 6u);
    std::vector<float> out(16);
    EXPECT_EQ(ring.read(out.data(), 5), 5u);
    // The free space is split at the end of the buffer: two writes fill it.
    EXPECT_EQ(produce(ring, gen, 7, 2.0f), 2u);
    EXPECT_EQ(produce(ring, gen, 7, 3.0f, true), 5u);
    EXPECT_EQ(ring.writable(gen).frames, 0u);
    EXPECT_EQ(ring.available(), 8u);

    EXPECT_EQ(ring.read(out.data(), 8), 8u);
    const std::vector<float> expected{1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
    EXPECT_EQ(out, expected);
    EXPECT_TRUE(ring.drained());
}

TEST(SampleRing, ResetDropsOldSamplesAndRefusesStaleCommits)
{
    SampleRing ring(1, 8);
    const uint32_t old = ring.generation();
    produce(ring, old, 8, 1.0f, true);
    const auto stale = ring.writable(old); // full: a decode in flight gets nothing

    const uint32_t gen = ring.reset();
    EXPECT_NE(gen, old);
    EXPECT_EQ(ring.available(), 0u);
    EXPECT_FALSE(ring.finished());
    EXPECT_EQ(stale.frames, 0u);
    EXPECT_FALSE(ring.commit(old, 4, true));
    EXPECT_EQ(ring.writable(old).frames, 0u);
    EXPECT_EQ(ring.available(), 0u);

    EXPECT_EQ(produce(ring, gen, 3, 5.0f), 3u);
    std::vector<float> out(8, 0.0f);
    EXPECT_EQ(ring.read(out.data(), 8), 3u);
    EXPECT_EQ(out[0], 5.0f);
    EXPECT_FALSE(ring.drained());
}

// A producer thread streams numbered frames while the consumer reads them in
// odd-sized pieces and now and then resets, as a seek does. Every frame read
// must continue the sequence of the generation it belongs to.
TEST(SampleRing, StreamsInOrderAcrossThreadsAndResets)
{
    SampleRing ring(2, 64);
    std::atomic<bool> stop{false};
    std::atomic<int64_t> seekTo{0};

    std::thread producer([&] {
        uint32_t gen = ring.generation();
        int64_t next = 0;
        while (!stop.load()) {
            if (ring.generation() != gen) {
                gen = ring.generation();
                next = seekTo.load();
            }
            const auto space = ring.writable(gen);
            const uint32_t n = std::min<uint32_t>(space.frames, 7);
            for (uint32_t i = 0; i < n; ++i) {
                space.data[2 * i] = float(next + i);
                space.data[2 * i + 1] = -float(next + i);
            }
            if (ring.commit(gen, n, false))
                next += n;
            if (n == 0)
                std::this_thread::yield();
        }
    });

    int64_t expected = 0;
    std::vector<float> out(2 * 13);
    int64_t readTotal = 0;
    for (int round = 0; round < 20000; ++round) {
        if (round % 997 == 0) {
            expected = round * 3;
            seekTo = expected;
            ring.reset();
        }
        const uint32_t n = ring.read(out.data(), 1 + round % 13);
        for (uint32_t i = 0; i < n; ++i) {
            ASSERT_EQ(out[2 * i], float(expected)) << "round " << round;
            ASSERT_EQ(out[2 * i + 1], -float(expected));
            ++expected;
        }
        readTotal += n;
        if (n == 0)
            std::this_thread::yield();
    }
    stop = true;
    producer.join();
    EXPECT_GT(readTotal, 1000);
}
