#pragma once
// A song's tempo: its changes, and the exact time of every tick.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace midi {

struct TempoChange {
    uint32_t tick;
    uint32_t microsPerQuarter;
};

// Ticks to microseconds, exact: every segment starts at a sum kept in
// microseconds times the division, so nothing is rounded until the end.
class TempoMap {
public:
    TempoMap() { setMetrical(96); }
    void setMetrical(uint16_t ticksPerQuarter);
    // FPS 29 is 30-frame drop-frame, which runs at 29.97 frames a second.
    void setSmpte(int framesPerSecond, int ticksPerFrame);
    // CHANGES sorted by tick; ignored under SMPTE division. A later change at
    // the same tick wins, a tempo of 0 is ignored.
    void build(const std::vector<TempoChange>& changes);

    uint64_t micros(uint32_t tick) const;
    // The smallest tick whose time is at or after MICROS.
    uint32_t firstTickAtOrAfter(uint64_t micros) const;
    size_t segmentCount() const { return segments_.size(); }

private:
    struct Segment {
        uint32_t tick;
        uint64_t start; // microseconds times den_
        uint64_t rate; // microseconds times den_ per tick
    };
    size_t segmentFor(uint32_t tick) const;

    bool smpte_ = false;
    uint64_t den_ = 96;
    uint64_t smpteRate_ = 1000000;
    std::vector<Segment> segments_;
};

} // namespace midi
