#pragma once
// The user's multimedia choices: the sound output, the MIDI instrument and
// the size of videos. They live in the player's registry store and are read
// again at every device open, so that a running player takes a change from
// its next track on. The key, the value names and the defaults are here and
// nowhere else.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace multimedia {

// Below HKEY_CURRENT_USER.
inline constexpr const char* kKey = "Software\\Quorvana\\Multimedia";

// REG_SZ: the sound output by the name SDL lists it under; empty or absent:
// the system's default output.
inline constexpr const char* kSoundOutput = "SoundOutput";
// REG_SZ: "synth" for the built-in synthesizer, "alsa" for an external one on
// an ALSA sequencer port.
inline constexpr const char* kMidiOutput = "MIDIOutput";
// REG_SZ: the built-in synthesizer's soundfont; empty or absent: the system's
// General MIDI soundfont.
inline constexpr const char* kSoundfont = "Soundfont";
// REG_SZ: the external synthesizer's ALSA client and port, by name: the
// numbers change when a device is plugged in again, the names do not.
inline constexpr const char* kMidiClient = "MIDIClient";
inline constexpr const char* kMidiPort = "MIDIPort";
// REG_SZ: "CLIENT:PORT", the numbers the port had when it was chosen; used
// only when no port of that name is there.
inline constexpr const char* kMidiAddress = "MIDIAddress";
// REG_DWORD: milliseconds an external synthesizer gets after a GM or GS reset.
inline constexpr const char* kResetSettle = "ResetSettleMs";
// REG_DWORD: a VideoSize.
inline constexpr const char* kVideoSize = "VideoSize";

inline constexpr const char* kMidiOutputSynth = "synth";
inline constexpr const char* kMidiOutputAlsa = "alsa";

inline constexpr unsigned kDefaultResetSettleMs = 60;
inline constexpr unsigned kMaxResetSettleMs = 10000;

// Environment variables for the same things; one that is set wins over the
// stored choice (scripts and tests rely on them).
inline constexpr const char* kMidiOutVariable = "QUORVANA_MIDI_OUT";
inline constexpr const char* kSoundfontVariable = "QUORVANA_SOUNDFONT";
inline constexpr const char* kResetSettleVariable = "QUORVANA_RESET_SETTLE_MS";

enum class MidiOutput { Synth, External };
enum class VideoSize : std::uint32_t { Original = 0, Double = 1, FullScreen = 2 };

struct Choices {
    std::string soundOutput;
    MidiOutput midiOutput = MidiOutput::Synth;
    std::string soundfont;
    std::string midiClient;
    std::string midiPort;
    std::string midiAddress;
    unsigned resetSettleMs = kDefaultResetSettleMs;
    VideoSize videoSize = VideoSize::Original;

    bool operator==(const Choices&) const = default;
};

// The stored choices; an absent or unreadable value reads as its default.
Choices load();

// Stores every choice. False and ERROR, for the user, when the store refuses;
// the values already written then stay.
bool save(const Choices& choices, std::string& error);

// The choices the devices of this process use: the stored ones, unless this
// process has put its own in. The Multimedia Properties panel does, so that
// its Test plays what it shows before anything is saved. Setting returns what
// this process had put in before.
Choices current();
std::optional<Choices> setForThisProcess(std::optional<Choices> choices);

// The variables above that are set now, in the order above.
std::vector<std::string> variablesInForce();

} // namespace multimedia
