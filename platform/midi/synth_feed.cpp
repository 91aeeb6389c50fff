#include "platform/midi/synth_feed.h"

#include <algorithm>

namespace midi {

namespace {

constexpr int64_t kSecond = 1000000000;

// What the player's thread may wake up late, beyond the buffer: a message
// that comes after its sample has been rendered sounds late.
constexpr int64_t kWakeMargin = kSecond * 4 / 1000;

// How fast the model follows a card whose calls come later and later (its
// clock slower than ours): a sawtooth of calls must hardly move it.
constexpr int64_t kFollow = 2048;

int64_t scaled(int64_t value, int64_t numerator, int64_t denominator)
{
    // In two parts, so that hours of nanoseconds times a sample rate fit.
    return value / denominator * numerator + value % denominator * numerator / denominator;
}

} // namespace

// The card asks for each buffer no earlier than the model says: a call that
// comes earlier moves the model back at once; one that comes later pulls it
// forward by a little only, as later calls are the sawtooth of a server
// that resamples, or a thread's wake-up. The first call counts as a buffer
// late, so that a sawtooth to come does not move the model. After a rest
// the card's buffers have come on at the pace they kept, unseen: the model
// moves on by as many whole buffers.
void SynthFeed::follow(int frames, int64_t now)
{
    const int64_t period = scaled(frames, kSecond, sampleRate_);
    const int64_t latency = frames + scaled(kWakeMargin, sampleRate_, kSecond);
    if (latency > latency_) {
        latency_ = latency;
        delay_.store(scaled(latency_, kSecond, sampleRate_), std::memory_order_relaxed);
    }
    if (!anchored_) {
        anchored_ = true;
        asks_ = now - period;
        return;
    }
    int64_t late = now - asks_;
    if (const int64_t pace = period + drift_; late > 4 * period && pace > 0) {
        asks_ += late / pace * pace;
        late = now - asks_;
    }
    const int64_t shift = late < 0 ? late : late / kFollow;
    asks_ += shift;
    drift_ += (shift - drift_) / 256;
}

void SynthFeed::render(Synth& synth, float* out, int frames, int64_t now)
{
    follow(frames, now);
    int done = 0;
    int64_t due;
    while (ring_.peekDue(due)) {
        const int64_t at = std::max<int64_t>(scaled(due - asks_, sampleRate_, kSecond) + latency_, done);
        if (at >= frames)
            break;
        if (at > done) {
            synth.render(out + 2 * done, static_cast<int>(at) - done);
            done = static_cast<int>(at);
        }
        const size_t n = ring_.pop(message_.data(), message_.size());
        synth.apply({message_.data(), n});
    }
    if (done < frames)
        synth.render(out + 2 * done, frames - done);
    asks_ += scaled(frames, kSecond, sampleRate_);
}

} // namespace midi
