#pragma once
// The messages on their way to the synthesizer and the clock that places
// them: the sound card asks for a buffer at a time, and the moment it asks
// says little about when those samples sound (a sound server that resamples
// asks in a sawtooth, now early, now a period late). Each message is placed
// at the sample its due time maps to on the card's own sample clock, a fixed
// delay after it was due, so that a steady song stays steady whatever the
// buffers do. One producer at a time (callers serialise); the audio thread
// renders.
#include "platform/midi/message_ring.h"
#include "platform/midi/synth.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace midi {

class SynthFeed {
public:
    explicit SynthFeed(int sampleRate) : ring_(256 * 1024), sampleRate_(sampleRate) { }

    // The longest message taken whole; longer ones are cut.
    static constexpr size_t kLongestMessage = 4096;

    // DUE in nanoseconds of the steady clock. False when there is no room.
    bool push(std::span<const uint8_t> message, int64_t due) { return ring_.push(message, due); }
    // Messages wait, for their time or for the audio thread.
    bool pending() const
    {
        int64_t due;
        return ring_.peekDue(due);
    }

    // On the audio thread: FRAMES frames of SYNTH into OUT, the buffer the
    // card asked for at NOW, with every message whose sample falls within it.
    void render(Synth& synth, float* out, int frames, int64_t now);

    // How long after its due a message sounds in what the card is given.
    int64_t delayNanos() const { return delay_.load(std::memory_order_relaxed); }

private:
    void follow(int frames, int64_t now);

    MessageRing ring_;
    const int sampleRate_;
    std::atomic<int64_t> delay_ {0};
    // The audio thread's model of the card: when it asks for the buffer
    // being rendered, at the earliest.
    bool anchored_ = false;
    int64_t asks_ = 0; // nanoseconds of the steady clock
    int64_t drift_ = 0; // what the model moves by per buffer, on average
    int64_t latency_ = 0; // samples
    std::array<uint8_t, kLongestMessage> message_ {};
};

} // namespace midi
