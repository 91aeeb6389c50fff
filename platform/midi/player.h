#pragma once
// A song playing on a thread of its own. The thread sleeps until the next
// event's deadline, computed from the moment playback started, so that a
// long song does not drift. Calls come from one thread (the GUI's) and
// return at once: they only change the state, and the playback thread does
// all the sending without holding the lock the calls take, so that an output
// that is slow to take a flood of messages never holds up the window.
#include "platform/midi/sequence.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace midi {

class Outbox;

class Player {
public:
    Player(std::shared_ptr<const Song> song, std::shared_ptr<Output> output);
    // Closes: what is due goes out, the channels that sounded are silenced.
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void play();
    void pause();
    void stop();
    void seekMicros(uint64_t micros);
    void seekToEnd();
    // Take effect at once while playing, else from the next play; they hold
    // through pauses, stops and seeks. See Sequence.
    void setTranspose(int semitones);
    void setTempo(int percent);
    // A mask of channels, bit C for channel C; see Sequence.
    void setSilenced(uint16_t channels);
    void setQuiet(uint16_t channels);
    // A passage played over and over, in microseconds of the song; see
    // Sequence.
    void setLoop(uint64_t begin, uint64_t end);
    void clearLoop();
    // Meters for the window: off they cost the playback thread nothing.
    void setMetering(bool on);
    // How loud each channel's notes sound now (see ChannelMeter). Never
    // waits for the playback thread, however busy it is sending.
    std::array<uint8_t, 16> levels() const { return sequence_.levels(); }
    Sequence::State state();
    // In the song's own time, whatever the tempo.
    uint32_t positionMs();
    // As precise as the playback clock: what the sound has reached, the
    // output's delay taken off.
    uint64_t positionMicros();
    uint32_t lengthMs() const { return lengthMs_; }

    // Runs on the playback thread when the end is reached. It must not wait
    // for the thread that destroys the player.
    void setEndNotify(std::function<void()> notify);

private:
    void run();
    void command(const std::function<void(TimePoint)>& change);

    std::shared_ptr<Output> output_;
    std::shared_ptr<Outbox> outbox_;
    std::mutex mutex_; // guards the sequence, the outbox, notify_ and quit_
    std::condition_variable wake_;
    Sequence sequence_;
    std::function<void()> notify_;
    uint32_t lengthMs_;
    uint64_t lengthMicros_;
    bool quit_ = false;
    // Counts stops, seeks and the close: a batch being delivered when one
    // comes is given up (whatever it had left).
    std::atomic<unsigned> interruptions_ {0};
    std::thread thread_;
};

} // namespace midi
