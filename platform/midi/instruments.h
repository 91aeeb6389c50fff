#pragma once
// The names of the sounds a song chooses: General MIDI's instruments, and
// the drum kits of a rhythm channel as GS synthesizers name them.
#include <string>
#include <string_view>

namespace midi {

// The General MIDI name of PROGRAM, 0 to 127; empty for any other number.
std::string_view gmInstrumentName(int program);

// The kit PROGRAM chooses on a rhythm channel: GS's name where it has one,
// else "Drum Kit" and the number.
std::string drumKitName(int program);

// What a channel plays, by the program it chose (-1: none, which sounds as
// program 0). Bank variations sound like their program's GM instrument, so
// they take its name.
std::string instrumentName(bool drums, int program);

} // namespace midi
