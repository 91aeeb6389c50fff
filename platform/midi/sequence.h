#pragma once
// Playing one song to an output, driven by the caller's clock: every call
// takes the time it happens at, so tests step time by hand and the playback
// thread passes the real clock. Not thread-safe: the owner serialises calls.
#include "platform/midi/channel_meter.h"
#include "platform/midi/chase.h"
#include "platform/midi/output.h"
#include "platform/midi/smf.h"
#include "platform/midi/transposer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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

// Commands only change the state and return at once; process() does all the
// sending, so that a command never waits for the output, however much is due.
class Sequence {
public:
    enum class State { Stopped, Playing, Paused };

    Sequence(std::shared_ptr<const Song> song, std::shared_ptr<Output> output);

    // From the current position; after a seek the channels are chased first.
    void play(TimePoint now);
    // Pause and stop leave what was due by NOW to be delivered, then the
    // channels that sounded to be silenced. Paused differs from stopped only
    // in its state.
    void pause(TimePoint now);
    void stop(TimePoint now);
    // Leaves the sequence stopped at MICROS (at most the length).
    void seek(uint64_t micros, TimePoint now);
    // Sends what is due by NOW, at most BUDGET events of the song; a chase
    // spends the budget as well, an event of the song read for each. Returns
    // when to call again (NOW when the budget ran out first), or nothing
    // while not playing and nothing is left to send.
    std::optional<TimePoint> process(TimePoint now, size_t budget = SIZE_MAX);
    // True once after playback has reached the end.
    bool takeEnded();
    // Stops. A close must not cut off what is due, a reset least of all: the
    // next song relies on it, so process() still sends it.
    void close(TimePoint now);
    // Stopped or paused with nothing left to send.
    bool settled() const;

    // Moves every note but the percussion channel's by SEMITONES from NOW.
    void setTranspose(int semitones, TimePoint now);
    // Plays at PERCENT of the song's own tempo from NOW (within the singer's
    // bounds, so that the farthest time still fits the clock). The position, the length
    // and seeks stay in the song's own time: the words, the tempo map and a
    // position picked on a bar mean the same place in the song at any tempo.
    void setTempo(int percent, TimePoint now);
    int transpose() const { return transposer_.semitones(); }
    int tempo() const { return tempo_; }

    // Bit C set: channel C strikes no notes from NOW on, as a singer takes
    // the melody out. Its notes sounding end at once; all else it is sent
    // goes out, so that it sounds as the song has it at its next note when
    // it comes back.
    void setSilenced(uint16_t channels, TimePoint now);
    // Bit C set: channel C plays from NOW at half the volume value the song
    // gives it, 12 dB down, for a melody to sing over.
    void setQuiet(uint16_t channels, TimePoint now);
    uint16_t silenced() const { return silenced_; }
    uint16_t quiet() const { return quiet_; }
    // Off, the meter costs nothing and reads 0; on, it follows from the
    // next note.
    void setMetering(bool on);
    // Thread-safe: see ChannelMeter.
    std::array<uint8_t, 16> levels() const { return meter_.levels(); }

    // Played from before END (microseconds of the song; set while playing,
    // from up to a second past it), playing goes from END back to BEGIN
    // with no gap: the notes sounding
    // at END end there, and the channels are chased to BEGIN at that same
    // instant, as a seek chases them. A seek past END plays on to the end.
    void setLoop(uint64_t begin, uint64_t end, TimePoint now);
    void clearLoop();
    // True once after each return to the loop's start.
    bool takeLooped();

    State state() const { return state_; }
    // In the song's own time, which runs at the tempo.
    uint64_t positionMicros(TimePoint now) const;
    // While playing below the length; once at the end, the length exactly.
    uint32_t positionMs(TimePoint now) const;
    uint32_t lengthMs() const { return song_->lengthMs(); }
    const Song& song() const { return *song_; }

private:
    TimePoint deadline(uint64_t micros) const;
    void halt(State to, TimePoint now);
    std::optional<TimePoint> settle(TimePoint now, size_t budget);
    void send(std::span<const uint8_t> bytes, TimePoint due);
    void sendMixed(std::span<const uint8_t> bytes, TimePoint due);
    void sendVolume(int channel, TimePoint due);
    void sendEvent(const Event& event, TimePoint due);
    void silence(TimePoint now);
    bool chase(TimePoint now, size_t& budget);
    bool loopsAt(uint64_t micros) const;
    void returnToLoop(TimePoint at, TimePoint now);
    uint64_t eventMicros(uint32_t tick);

    std::shared_ptr<const Song> song_;
    std::shared_ptr<Output> output_;
    Merger merger_;
    // A chase is worked out a budget at a time, as the sending is, so that a
    // song of millions of events never holds the sequence long: what the
    // song sets anywhere (once, at the first chase), then where it starts.
    std::unique_ptr<Chase> whole_;
    Chase wholeSoFar_;
    std::optional<Merger> wholeAt_;
    Chase chased_;
    std::optional<Merger> chasedAt_;

    State state_ = State::Stopped;
    uint64_t position_ = 0;  // microseconds, while not playing
    uint64_t anchorMicros_ = 0;
    TimePoint anchorTime_{};
    bool chasePending_ = false;
    std::optional<uint64_t> owedUntil_; // events up to here were due at a halt and are still to go out
    bool owedWithoutNotes_ = false; // a stop or close owes the rest but its notes: silence follows
    bool silencePending_ = false;
    bool ended_ = false;
    uint16_t sounded_ = 0; // channels with notes since the last silence
    Transposer transposer_;
    int tempo_ = 100; // percent of the song's own
    uint16_t silenced_ = 0;
    uint16_t quiet_ = 0;
    std::array<uint8_t, 16> volume_; // as the song set it, before the quiet halves it
    bool metering_ = false;
    ChannelMeter meter_;
    struct Loop {
        uint64_t begin, end;
    };
    std::optional<Loop> loop_;
    bool looping_ = false; // played from before the loop's end
    bool looped_ = false;
    bool returning_ = false; // the chase pending is a return to the loop
    std::optional<Chase> loopChase_; // the channels at the loop's start, once worked out
    uint32_t cachedTick_ = 0;
    uint64_t cachedMicros_ = 0;
};

} // namespace midi
