#pragma once
// Where MIDI messages go: the built-in synthesizer, an ALSA sequencer port,
// or, for tests, a capture. One output serves the whole run and outlives the
// songs played through it, as a hardware synthesizer would.
#include "platform/audio/audio_output.h"
#include "platform/multimedia/choices.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace midi {

struct Song;

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

class Output {
public:
    virtual ~Output() = default;

    // One message as it goes on the wire: a channel message, a SysEx packet
    // with its F0, or the raw bytes of an F7 escape. DUE is when it should
    // sound; it is never later than the call. Thread-safe.
    virtual void send(std::span<const uint8_t> message, TimePoint due) = 0;

    // The earliest time the next message should go out: an external
    // synthesizer needs a moment after a reset.
    virtual TimePoint readyAt() const { return {}; }

    // How long after its due a message sounds: what the read-outs of a
    // song's position take off, so that they show what is heard.
    virtual Clock::duration delay() const { return {}; }

    // Gets ready for SONG before it plays, with whatever it selects at hand.
    virtual void prepare(const Song&) { }
};

// Opens an output by its description, "NAME" or "NAME:ARGUMENT": "synth"
// (with the chosen soundfont), "synth:SOUNDFONT", "alsa:CLIENT:PORT",
// "capture"; CHOICES give the soundfont, the sound output and the pause
// after a reset where the description leaves them open. Null and ERROR set
// when it cannot. The built-in synthesizer shows LABEL to the sound server.
std::unique_ptr<Output> openOutput(const std::string& description, const multimedia::Choices& choices,
    std::string& error, const audio::StreamLabel& label = {});

// The output CHOICES name, by their override or else by the stored choice
// (the built-in synthesizer unless another was chosen), looked up again at every
// call: a song opened after a change plays through the new choice. Outputs
// are opened on first use and kept for the rest of the run; the built-in
// synthesizer is one, its soundfont and sound output changed to the ones
// CHOICES name. Null and ERROR set, for the user, when the output cannot be
// opened or the chosen soundfont or port is not there; the next call tries
// again. The built-in synthesizer shows LABEL, the song's, to the sound server
// when it next opens the sound card.
std::shared_ptr<Output> sharedOutput(
    const multimedia::Choices& choices, std::string& error, const audio::StreamLabel& label = {});
// The same for an output named directly.
std::shared_ptr<Output> sharedOutput(const std::string& description, const multimedia::Choices& choices,
    std::string& error, const audio::StreamLabel& label = {});

// The soundfont the built-in synthesizer plays CHOICES with, whether or not
// it is the output they name; empty and ERROR set when it is missing.
std::string synthSoundfont(const multimedia::Choices& choices, std::string& error);

// Starts opening the shared output for CHOICES on a background thread, so
// that the first song does not wait for the soundfont to load. Returns at once.
void preloadSharedOutput(const multimedia::Choices& choices);

} // namespace midi
