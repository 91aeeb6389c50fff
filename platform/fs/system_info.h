#pragma once
// What the system tells the player about itself: its per-user data folder,
// a millisecond tick and its own executable.
#include <cstdint>
#include <string>

namespace kernel {

// The player's per-user data folder: $QUORVANA_WINDIR, else
// $XDG_DATA_HOME/quorvana, else ~/.local/share/quorvana. Created on first use;
// a folder that cannot be created is still returned, so that the write that
// needs it reports why.
std::string windowsDirectory();

// Milliseconds of a monotonic clock, wrapping at 2^32 like the Windows counter.
uint32_t tickCount();

// The full path of the running executable.
std::string moduleFileName();

// PATH with the extension of its name part replaced by ".INI", or ".INI"
// appended when the name has none.
std::string iniPathFor(const std::string& path);

} // namespace kernel
