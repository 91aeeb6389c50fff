#pragma once
#include "platform/mci/mci.h"

namespace mci {

// The MIDI sequencer: Standard MIDI Files and RMI files played through the
// shared MIDI output that CHOICES name; a chosen soundfont or port that is
// not there refuses the file with the reason.
// Opening without a file gives a device with nothing to play and touches no
// output, so that it is cheap at start-up. Its default time format is
// milliseconds.
std::unique_ptr<Device> makeSequencerDevice(const multimedia::Choices& choices = {});

// Reads the song at PATH as far as an open does before it returns (a big
// file only to its header), touching no output.
Result checkSongFile(const std::string& path);

} // namespace mci
