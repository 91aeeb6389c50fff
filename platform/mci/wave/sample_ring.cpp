#include "platform/mci/wave/sample_ring.h"

#include <algorithm>
#include <cstring>

namespace mci::wave {

SampleRing::SampleRing(int channels, uint32_t capacityFrames) : channels_(std::max(channels, 1))
{
    uint32_t cap = 1;
    while (cap < capacityFrames && cap < (1u << 30))
        cap <<= 1;
    mask_ = cap - 1;
    samples_ = std::make_unique<float[]>(size_t(cap) * size_t(channels_));
}

SampleRing::Space SampleRing::writable(uint32_t gen) const
{
    const uint64_t s = state_.load(std::memory_order_acquire);
    if (genOf(s) != (gen & 0x7fffffffu))
        return {};
    const uint32_t head = headOf(s);
    const uint32_t used = head - tail_.load(std::memory_order_acquire);
    // A reset between the two loads can pair an old write index with the new
    // read index; the commit will fail anyway, so offer nothing.
    if (used > capacity())
        return {};
    const uint32_t start = head & mask_;
    const uint32_t frames = std::min(capacity() - used, capacity() - start);
    return {samples_.get() + size_t(start) * size_t(channels_), frames};
}

bool SampleRing::commit(uint32_t gen, uint32_t frames, bool finished)
{
    uint64_t s = state_.load(std::memory_order_relaxed);
    for (;;) {
        if (genOf(s) != (gen & 0x7fffffffu))
            return false;
        const uint64_t next = pack(gen, finished || finishedOf(s), headOf(s) + frames);
        if (state_.compare_exchange_weak(s, next, std::memory_order_release, std::memory_order_relaxed))
            return true;
    }
}

uint32_t SampleRing::read(float* out, uint32_t frames)
{
    const uint32_t head = headOf(state_.load(std::memory_order_acquire));
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    const uint32_t n = std::min(frames, head - tail);
    const uint32_t start = tail & mask_;
    const uint32_t first = std::min(n, capacity() - start);
    const size_t ch = size_t(channels_);
    std::memcpy(out, samples_.get() + start * ch, first * ch * sizeof(float));
    std::memcpy(out + first * ch, samples_.get(), (n - first) * ch * sizeof(float));
    tail_.store(tail + n, std::memory_order_release);
    return n;
}

bool SampleRing::drained() const
{
    const uint64_t s = state_.load(std::memory_order_acquire);
    return finishedOf(s) && headOf(s) == tail_.load(std::memory_order_relaxed);
}

uint32_t SampleRing::reset()
{
    const uint32_t gen = (genOf(state_.load(std::memory_order_relaxed)) + 1) & 0x7fffffffu;
    // The read index first: a producer that sees the new generation must also
    // see the emptied ring, or it would find no room and wait for nothing.
    tail_.store(0, std::memory_order_release);
    state_.store(pack(gen, false, 0), std::memory_order_release);
    return gen;
}

uint32_t SampleRing::generation() const
{
    return genOf(state_.load(std::memory_order_acquire));
}

uint32_t SampleRing::available() const
{
    const uint32_t head = headOf(state_.load(std::memory_order_acquire));
    const uint32_t used = head - tail_.load(std::memory_order_acquire);
    return used > capacity() ? 0 : used;
}

bool SampleRing::finished() const
{
    return finishedOf(state_.load(std::memory_order_acquire));
}

} // namespace mci::wave
