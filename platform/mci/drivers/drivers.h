#pragma once

namespace mci {

// Puts the real wave-audio, sequencer and video drivers into the device table.
void registerBuiltinDrivers();

} // namespace mci
