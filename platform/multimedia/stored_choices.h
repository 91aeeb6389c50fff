#pragma once
// The multimedia choices as the player's registry store keeps them. The key,
// the value names and the defaults are here and nowhere else.
#include "platform/multimedia/choices.h"

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
// REG_DWORD: 1 when a later start hands its file to the running player.
inline constexpr const char* kPlayInRunningPlayer = "PlayInRunningPlayer";
// REG_DWORD: 1 when the sequencer shows the words of karaoke songs.
inline constexpr const char* kShowWords = "ShowWords";

// REG_SZ: where the words window last stood (its size, place and full
// screen), base64 of the window system's own bytes. Not a choice the user
// makes in the panel: the window keeps it for the next run.
inline constexpr const char* kWordsPlace = "WordsPlace";
// REG_SZ: "1" while the words show light on black, for a room.
inline constexpr const char* kWordsDark = "WordsDark";
// REG_SZ: the screen a full screen of the words fills, by the name the window
// system gives it ("HDMI-1"); empty or absent: the one they stand on.
inline constexpr const char* kWordsScreen = "WordsScreen";
// REG_SZ: the singer's lowest and highest note, "48-72" (C3 to C5).
inline constexpr const char* kVoice = "Voice";

inline constexpr const char* kMidiOutputSynth = "synth";
inline constexpr const char* kMidiOutputAlsa = "alsa";

// The stored choices, without the environment's overrides: what the
// Multimedia Properties show and store. An absent or unreadable value reads
// as its default.
Choices loadStored();

// The choices in force: the stored ones with overridesInForce(). Read once
// per open and handed down to the devices.
Choices load();

// Stores every choice, or with BEFORE (what the user was shown) only those
// that differ from it, so that a change another program made meanwhile to a
// choice the user left alone stays. False and ERROR, for the user, when the
// store refuses; the values already written then stay.
bool save(const Choices& choices, std::string& error, const Choices* before = nullptr);

// What a window keeps for the next run under NAME (kWordsPlace, kWordsDark,
// kWordsScreen, kVoice), empty for none; a failure to keep a new value loses nothing but
// that value.
std::string loadKept(const char* name);
void saveKept(const char* name, const std::string& value);

// What the environment variables set now; a variable with a value that is
// not valid (a pause that is no number from 0 to kMaxResetSettleMs) is left
// out, as if it were unset.
Overrides overridesInForce();

// The environment variables that override a choice now.
std::vector<std::string> variablesInForce();

} // namespace multimedia
