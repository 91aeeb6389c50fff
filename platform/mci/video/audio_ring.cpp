#include "platform/mci/video/audio_ring.h"

#include <algorithm>
#include <cstring>

namespace mci::video {

AudioRing::AudioRing(int channels, int64_t capacityFrames)
    : channels_(channels), capacity_(capacityFrames),
      data_(static_cast<size_t>(capacityFrames * channels), 0.0f)
{
}

void AudioRing::reset(int64_t at)
{
    read_.store(at, std::memory_order_relaxed);
    write_.store(at, std::memory_order_release);
}

int64_t AudioRing::space() const
{
    return capacity_ - (write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
}

int64_t AudioRing::write(const float* src, int64_t frames)
{
    const int64_t w = write_.load(std::memory_order_relaxed);
    const int64_t n = std::min(frames, space());
    int64_t done = 0;
    while (done < n) {
        const int64_t at = (w + done) % capacity_;
        const int64_t run = std::min(n - done, capacity_ - at);
        float* dst = data_.data() + at * channels_;
        const size_t bytes = static_cast<size_t>(run * channels_) * sizeof(float);
        if (src)
            std::memcpy(dst, src + done * channels_, bytes);
        else
            std::memset(dst, 0, bytes);
        done += run;
    }
    write_.store(w + n, std::memory_order_release);
    return n;
}

void AudioRing::readAt(int64_t pos, float* out, int frames)
{
    int64_t r = read_.load(std::memory_order_relaxed);
    const int64_t w = write_.load(std::memory_order_acquire);
    if (r < pos) // came too late to be heard
        r = std::min(pos, w);
    int64_t offset = std::max<int64_t>(0, r - pos); // not here yet: silence
    if (offset >= frames) {
        read_.store(r, std::memory_order_release);
        return;
    }
    int64_t n = std::min<int64_t>(frames - offset, w - r);
    while (n > 0) {
        const int64_t at = r % capacity_;
        const int64_t run = std::min(n, capacity_ - at);
        std::memcpy(out + offset * channels_, data_.data() + at * channels_,
                    static_cast<size_t>(run * channels_) * sizeof(float));
        r += run;
        offset += run;
        n -= run;
    }
    read_.store(r, std::memory_order_release);
}

} // namespace mci::video
