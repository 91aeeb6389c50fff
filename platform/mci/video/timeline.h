#pragma once
// The picture's time grid. AVI video has a fixed frame rate, so every time in
// the device is either a frame number or microseconds on this grid.
#include <cstdint>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace mci::video {

struct Timeline {
    int64_t rateNum = 25; // frames per second = rateNum / rateDen
    int64_t rateDen = 1;

    // Frame N starts at the first whole microsecond at or after N / rate, so
    // that frameAt(frameStartUs(n)) == n for every n.
    int64_t frameStartUs(int64_t frame) const
    {
        return av_rescale_rnd(frame, rateDen * 1000000, rateNum, AV_ROUND_UP);
    }
    int64_t frameAt(int64_t us) const
    {
        return av_rescale_rnd(us, rateNum, rateDen * 1000000, AV_ROUND_DOWN);
    }
};

// Milliseconds that cover US: a time short of the end never rounds up to it.
inline int64_t ceilMs(int64_t us) { return (us + 999) / 1000; }

} // namespace mci::video
