#pragma once
// Facts about MIDI messages that more than one part of the sequencer needs.
#include <cstdint>
#include <span>

namespace midi {

// Data bytes that follow a channel status byte.
inline int channelDataBytes(uint8_t status) { return (status & 0xE0) == 0xC0 ? 1 : 2; }

enum class ResetKind { None, GmOn, Gm2On, GsReset, XgOn };

// Whether a SysEx packet (with its F0) is one of the resets that put a
// synthesizer back to its defaults. Device IDs are not looked at: a reset
// meant for any one device resets the one we have.
ResetKind resetKind(std::span<const uint8_t> sysex);

} // namespace midi
