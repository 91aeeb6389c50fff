#include "platform/midi/tempo_map.h"

#include <algorithm>
#include <limits>

namespace midi {

void TempoMap::setMetrical(uint16_t ticksPerQuarter)
{
    smpte_ = false;
    den_ = ticksPerQuarter;
    segments_.assign(1, Segment {0, 0, 500000});
}

void TempoMap::setSmpte(int framesPerSecond, int ticksPerFrame)
{
    smpte_ = true;
    if (framesPerSecond == 29) {
        den_ = 30ull * static_cast<uint64_t>(ticksPerFrame);
        smpteRate_ = 1001000;
    } else {
        den_ = static_cast<uint64_t>(framesPerSecond) * static_cast<uint64_t>(ticksPerFrame);
        smpteRate_ = 1000000;
    }
    segments_.assign(1, Segment {0, 0, smpteRate_});
}

void TempoMap::build(const std::vector<TempoChange>& changes)
{
    segments_.resize(1);
    if (smpte_)
        return;
    for (const TempoChange& c : changes) {
        if (c.microsPerQuarter == 0)
            continue;
        Segment& last = segments_.back();
        if (c.tick == last.tick) {
            last.rate = c.microsPerQuarter;
            continue;
        }
        // At most 2^32 ticks at 2^24 microseconds each: the sum fits 64 bits.
        const uint64_t start = last.start + static_cast<uint64_t>(c.tick - last.tick) * last.rate;
        segments_.push_back(Segment {c.tick, start, c.microsPerQuarter});
    }
}

size_t TempoMap::segmentFor(uint32_t tick) const
{
    if (segments_.size() == 1)
        return 0;
    auto it = std::upper_bound(
        segments_.begin(), segments_.end(), tick, [](uint32_t t, const Segment& s) { return t < s.tick; });
    return static_cast<size_t>(it - segments_.begin()) - 1;
}

uint64_t TempoMap::micros(uint32_t tick) const
{
    const Segment& s = segments_[segmentFor(tick)];
    return (s.start + static_cast<uint64_t>(tick - s.tick) * s.rate) / den_;
}

uint32_t TempoMap::firstTickAtOrAfter(uint64_t us) const
{
    using Wide = unsigned __int128; // microseconds times the division can pass 64 bits
    const Wide target = Wide {us} * den_;
    auto it = std::upper_bound(
        segments_.begin(), segments_.end(), target, [](Wide t, const Segment& s) { return t < s.start; });
    const Segment& s = *(it - 1);
    // micros(t) >= us  <=>  start + n * rate >= us * den
    const Wide n = (target - s.start + s.rate - 1) / s.rate;
    const Wide tick = s.tick + n;
    return tick > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                       : static_cast<uint32_t>(tick);
}

} // namespace midi
