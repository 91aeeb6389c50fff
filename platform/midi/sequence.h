#pragma once
// Playing one song to an output, driven by the caller's clock: every call
// takes the time it happens at, so tests step time by hand and the playback
// thread passes the real clock. Not thread-safe: the owner serialises calls.
#include "platform/midi/chase.h"
#include "platform/midi/output.h"
#include "platform/midi/smf.h"

#include <memory>
#include <optional>
#include <vector>

namespace midi {

// The events of all tracks in playing order: by tick, and by track where
// ticks are equal.
class Merger {
public:
    explicit Merger(const Song& song);
    // Moves to the first events at or after TICK.
    void seekTick(uint32_t tick);
    bool done() const { return heap_.empty(); }
    const Event& peek() const { return song_.events[heap_.front().index]; }
    void pop();

private:
    struct Head {
        uint32_t tick;
        uint32_t track;
        uint32_t index;
    };
    static bool later(const Head& a, const Head& b)
    {
        return a.tick != b.tick ? a.tick > b.tick : a.track > b.track;
    }
    void push(uint32_t track, uint32_t index);

    const Song& song_;
    std::vector<Head> heap_;
};

class Sequence {
public:
    enum class State { Stopped, Playing, Paused };

    Sequence(std::shared_ptr<const Song> song, std::shared_ptr<Output> output);

    // From the current position; after a seek the channels are chased first.
    void play(TimePoint now);
    // Pause and stop deliver what is due, then silence the channels that
    // sounded. Paused differs from stopped only in its state.
    void pause(TimePoint now);
    void stop(TimePoint now);
    // Leaves the sequence stopped at MICROS (at most the length).
    void seek(uint64_t micros, TimePoint now);
    // Sends what is due by NOW. Returns when to call again, or nothing while
    // not playing.
    std::optional<TimePoint> process(TimePoint now);
    // True once after playback has reached the end.
    bool takeEnded();
    // A close must not cut off what is due, a reset least of all: the next
    // song relies on it.
    void close(TimePoint now);

    State state() const { return state_; }
    uint64_t positionMicros(TimePoint now) const;
    // While playing below the length; once at the end, the length exactly.
    uint32_t positionMs(TimePoint now) const;
    uint32_t lengthMs() const { return song_->lengthMs(); }
    const Song& song() const { return *song_; }

private:
    TimePoint deadline(uint64_t micros) const;
    void halt(State to, TimePoint now);
    void send(std::span<const uint8_t> bytes, TimePoint due);
    void sendEvent(const Event& event, TimePoint due);
    void silence(TimePoint now);
    void chase(TimePoint now);
    uint64_t eventMicros(uint32_t tick);

    std::shared_ptr<const Song> song_;
    std::shared_ptr<Output> output_;
    Merger merger_;
    std::unique_ptr<Chase> whole_; // what the song sets anywhere, worked out at the first chase

    State state_ = State::Stopped;
    uint64_t position_ = 0;  // microseconds, while not playing
    uint64_t anchorMicros_ = 0;
    TimePoint anchorTime_{};
    bool chasePending_ = false;
    bool ended_ = false;
    uint16_t sounded_ = 0; // channels with notes since the last silence
    uint32_t cachedTick_ = 0;
    uint64_t cachedMicros_ = 0;
};

} // namespace midi
