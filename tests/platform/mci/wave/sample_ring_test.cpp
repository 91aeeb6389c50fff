#include "platform/mci/wave/sample_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

// A producer thread streams numbered frames into a small ring while the
// consumer reads them in odd-sized pieces, wrapping around the buffer, and now
// and then resets it as a seek does. Every frame read must continue the
// sequence of its own generation: nothing lost, nothing stale.
TEST(SampleRing, StreamsInOrderAcrossThreadsAndResets)
{
    mci::wave::SampleRing ring(2, 60); // rounded up to 64 frames
    ASSERT_EQ(ring.capacity(), 64u);
    std::atomic<bool> stop{false};
    std::atomic<int64_t> seekTo{0};

    std::thread producer([&] {
        // No generation yet: the first round takes the current one and its
        // start, however late this thread gets going.
        uint32_t gen = UINT32_MAX;
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
    int64_t total = 0;
    int wrongAt = -1;
    std::vector<float> out(2 * 13);
    // On a loaded machine the producer may hardly run: go on until enough
    // frames have passed, within a bound.
    for (int round = 0; (round < 20000 || total < 2000) && round < 2000000 && wrongAt < 0; ++round) {
        if (round % 997 == 0) {
            expected = round * 3;
            seekTo = expected;
            ring.reset();
        }
        const uint32_t n = ring.read(out.data(), 1 + round % 13);
        for (uint32_t i = 0; i < n; ++i, ++expected)
            if (out[2 * i] != float(expected) || out[2 * i + 1] != -float(expected))
                wrongAt = round;
        total += n;
        if (n == 0)
            std::this_thread::yield();
    }
    stop = true;
    producer.join();
    EXPECT_EQ(wrongAt, -1) << "a frame out of sequence";
    EXPECT_GT(total, 1000);

    // The end travels with the data: a commit after a reset is refused and
    // "drained" needs both the end mark and an empty ring.
    const uint32_t old = ring.generation();
    const uint32_t gen = ring.reset();
    EXPECT_FALSE(ring.commit(old, 4, true));
    EXPECT_FALSE(ring.drained());
    ASSERT_GE(ring.writable(gen).frames, 3u);
    ASSERT_TRUE(ring.commit(gen, 3, true));
    EXPECT_FALSE(ring.drained());
    EXPECT_EQ(ring.read(out.data(), 13), 3u);
    EXPECT_TRUE(ring.drained());
}
