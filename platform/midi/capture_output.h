#pragma once
// An output that keeps every message with its times, for tests and for
// measuring delivery.
#include "platform/midi/output.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace midi {

struct CapturedMessage {
    std::vector<uint8_t> bytes;
    TimePoint due;  // when the sequencer meant it to sound
    TimePoint sent; // when it arrived here
};

class CaptureOutput final : public Output {
public:
    void send(std::span<const uint8_t> message, TimePoint due) override;

    std::vector<CapturedMessage> messages() const;
    size_t count() const;
    void clear();
    // Waits until at least N messages are kept or TIMEOUT has passed.
    bool waitForCount(size_t n, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<CapturedMessage> messages_;
};

// The shared capture output (QUORVANA_MIDI_OUT=capture), opened if need be.
std::shared_ptr<CaptureOutput> sharedCapture();

} // namespace midi
