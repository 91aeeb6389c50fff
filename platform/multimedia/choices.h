#pragma once
// The user's multimedia choices as plain values: the sound output, the MIDI
// instrument and the size of videos. The layer that reads them hands them to
// the devices, the MIDI outputs and the sound card at every open, so that a
// running player takes a change from its next track on.
#include <cstdint>
#include <optional>
#include <string>

namespace multimedia {

inline constexpr unsigned kDefaultResetSettleMs = 60;
inline constexpr unsigned kMaxResetSettleMs = 10000;

// Environment variables for the same things; one that is set wins over the
// stored choice (scripts and tests rely on them). Only the layer that reads
// the choices looks at them, and hands them down as Overrides.
inline constexpr const char* kMidiOutVariable = "QUORVANA_MIDI_OUT";
inline constexpr const char* kSoundfontVariable = "QUORVANA_SOUNDFONT";
inline constexpr const char* kResetSettleVariable = "QUORVANA_RESET_SETTLE_MS";

enum class MidiOutput { Synth, External };
enum class VideoSize : std::uint32_t { Original = 0, Double = 1, FullScreen = 2 };

// What the environment sets over the stored choices. Kept apart from them so
// that no override ever finds its way into the store; empty where its
// variable is unset (or, for the pause, no valid number).
struct Overrides {
    // The MIDI output by its description: "synth", "synth:SOUNDFONT",
    // "alsa:CLIENT:PORT" or "capture".
    std::string midiOutput;
    std::string soundfont;
    std::optional<unsigned> resetSettleMs;

    bool operator==(const Overrides&) const = default;
};

struct Choices {
    std::string soundOutput;
    MidiOutput midiOutput = MidiOutput::Synth;
    std::string soundfont;
    std::string midiClient;
    std::string midiPort;
    std::string midiAddress;
    unsigned resetSettleMs = kDefaultResetSettleMs;
    VideoSize videoSize = VideoSize::Original;
    // A later start with a file hands it to the player already running.
    bool playInRunningPlayer = true;
    // The sequencer shows the words of a karaoke song in a window of its own.
    bool showWords = true;
    // Win over the values above wherever they are set.
    Overrides overrides;

    bool operator==(const Choices&) const = default;
};

} // namespace multimedia
