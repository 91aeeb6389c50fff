#pragma once
// Sound waiting for the audio thread. Indices are absolute sample numbers on
// the media time line, so the reader can tell which samples are due now and
// skips what came too late or plays silence for what has not come yet.
#include <atomic>
#include <cstdint>
#include <vector>

namespace mci::video {

class AudioRing {
public:
    AudioRing(int channels, int64_t capacityFrames);

    int channels() const { return channels_; }

    // Only while neither side runs: the next sample written and read is AT.
    void reset(int64_t at);

    // Writer side (one thread).
    int64_t writeIndex() const { return write_.load(std::memory_order_relaxed); }
    int64_t space() const;
    // Appends up to FRAMES frames (SRC null: silence); returns how many fitted.
    int64_t write(const float* src, int64_t frames);

    // Reader side (the audio thread): fills OUT with the samples of
    // [POS, POS + FRAMES); whatever the ring does not hold is left silent.
    void readAt(int64_t pos, float* out, int frames);

private:
    int channels_;
    int64_t capacity_;
    std::vector<float> data_;
    std::atomic<int64_t> read_{0};
    std::atomic<int64_t> write_{0};
};

} // namespace mci::video
