#include "platform/audio/converter.h"

#include <algorithm>
#include <cmath>

namespace audio {

Converter::Converter(int sourceRate, int sourceChannels, int targetRate, int maxTargetFrames)
    : step_(double(sourceRate) / double(targetRate)), channels_(sourceChannels)
{
    const auto maxSource = size_t(std::ceil(step_ * maxTargetFrames)) + 4;
    source_.assign(maxSource * size_t(channels_), 0.0f);
}

void Converter::mixInto(float* out, int frames, const RenderFn& render)
{
    const int capacity = int(source_.size() / size_t(channels_));
    const size_t ch = size_t(channels_);
    while (frames > 0) {
        // As many output frames as the source buffer can serve this round.
        int n = frames;
        while (n > 1 && int(std::floor(phase_ + (n - 1) * step_)) + 2 > capacity)
            n /= 2;
        const int last = int(std::floor(phase_ + (n - 1) * step_)) + 1; // highest source index read
        const int fresh = std::max(0, last - (have_ - 1));
        float* dst = source_.data() + size_t(have_) * ch;
        std::fill_n(dst, size_t(fresh) * ch, 0.0f);
        if (fresh > 0)
            render(dst, fresh);
        for (int i = 0; i < n; ++i) {
            const double t = phase_ + i * step_;
            const int k = int(std::floor(t));
            const float w = float(t - k);
            const float* a = source_.data() + size_t(k) * ch;
            const float* b = a + ch;
            const float left = a[0] + (b[0] - a[0]) * w;
            const float right = channels_ > 1 ? a[1] + (b[1] - a[1]) * w : left;
            out[2 * i] += left;
            out[2 * i + 1] += right;
        }
        // Keep the last two source frames: the next output frame falls
        // between them or after them, never before.
        const int top = have_ - 1 + fresh;
        const int shift = std::max(top - 1, 0);
        std::copy(
            source_.begin() + long(size_t(shift) * ch), source_.begin() + long(size_t(top + 1) * ch), source_.begin());
        have_ = top - shift + 1;
        phase_ = phase_ + n * step_ - shift;
        out += 2 * n;
        frames -= n;
    }
}

} // namespace audio
