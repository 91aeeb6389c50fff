#pragma once
// An external synthesizer on an ALSA sequencer port.
#include "platform/midi/output.h"

#include <alsa/asoundlib.h>

#include <mutex>

namespace midi {

// Fills EV's type and data for one wire message; addressing is left to the
// caller. Channel messages map to their own event types, everything else
// (SysEx packets and their pieces) travels as raw SysEx bytes. False for an
// empty message or a channel message missing its data bytes.
bool encodeAlsaEvent(std::span<const uint8_t> message, snd_seq_event_t& ev);

// Hardware synthesizers ignore what arrives while they are still resetting:
// after a reset the next message waits.
class ResetSettle {
public:
    explicit ResetSettle(std::chrono::milliseconds settle) : settle_(settle) {}
    void setSettle(std::chrono::milliseconds settle) { settle_ = settle; }
    void sent(std::span<const uint8_t> message, TimePoint at);
    TimePoint readyAt() const { return readyAt_; }

private:
    std::chrono::milliseconds settle_;
    TimePoint readyAt_{};
};

// The pause after a reset for CHOICES: the environment's override, else the
// chosen one.
std::chrono::milliseconds resetSettleTime(const multimedia::Choices& choices);

class AlsaOutput final : public Output {
public:
    // ADDRESS is "CLIENT:PORT", by number or by name.
    // SETTLE is the pause the synthesizer needs after a GM or GS reset.
    static std::unique_ptr<AlsaOutput> open(
        const std::string& address, std::chrono::milliseconds settle, std::string& error);
    ~AlsaOutput() override;

    void send(std::span<const uint8_t> message, TimePoint due) override;
    TimePoint readyAt() const override;
    void setSettleTime(std::chrono::milliseconds settle);

private:
    explicit AlsaOutput(std::chrono::milliseconds settle) : settle_(settle) { }
    void output(snd_seq_event_t& ev);

    mutable std::mutex mutex_;
    snd_seq_t* seq_ = nullptr;
    int port_ = -1;
    snd_seq_addr_t dest_{};
    ResetSettle settle_;
};

} // namespace midi
