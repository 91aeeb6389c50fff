#pragma once
// A single-producer, single-consumer ring of interleaved float frames between
// the reader thread (producer) and the audio callback (consumer). Neither side
// ever blocks or allocates.
//
// A reset (a seek) starts a new generation: the producer's commits for an older
// generation fail, so a decode that was under way when the seek came in can
// never slip stale samples into the new position. The end of the data travels
// with the write index, so the consumer sees "empty and finished" in one load.
#include <atomic>
#include <cstdint>
#include <memory>

namespace mci::wave {

class SampleRing {
public:
    // CAPACITY is rounded up to a power of two frames.
    SampleRing(int channels, uint32_t capacityFrames);

    int channels() const { return channels_; }
    uint32_t capacity() const { return mask_ + 1; }

    // Producer. The free space that lies in one piece, for generation GEN; empty
    // when the ring is full or GEN is no longer current.
    struct Space {
        float* data = nullptr;
        uint32_t frames = 0;
    };
    Space writable(uint32_t gen) const;
    // Publishes FRAMES frames written into the last Space (and marks the end of
    // the data when FINISHED). False when a reset came in meanwhile: the frames
    // are then dropped and the producer must start over at the new generation.
    bool commit(uint32_t gen, uint32_t frames, bool finished);

    // Consumer. Copies up to FRAMES frames into OUT and returns how many.
    uint32_t read(float* out, uint32_t frames);
    // True when everything up to the end of the data has been read.
    bool drained() const;

    // The consumer side, while no consumer runs (the output is paused): drops
    // everything and starts a new generation, which it returns.
    uint32_t reset();

    uint32_t generation() const;
    uint32_t available() const; // frames readable now
    bool finished() const;      // the producer has marked the end

private:
    // Generation (31 bits), finished flag and write index packed into one word,
    // so that a commit is a single compare-and-exchange against the generation.
    static uint64_t pack(uint32_t gen, bool finished, uint32_t head)
    {
        return (uint64_t(gen & 0x7fffffffu) << 33) | (uint64_t(finished) << 32) | head;
    }
    static uint32_t genOf(uint64_t s) { return uint32_t(s >> 33); }
    static bool finishedOf(uint64_t s) { return (s >> 32) & 1u; }
    static uint32_t headOf(uint64_t s) { return uint32_t(s); }

    const int channels_;
    uint32_t mask_ = 0;
    std::unique_ptr<float[]> samples_;
    std::atomic<uint64_t> state_{0};
    std::atomic<uint32_t> tail_{0};
};

} // namespace mci::wave
