#pragma once
// The wave-audio device: RIFF WAVE files (whatever their extension) decoded by
// libsndfile and played through the audio output.
//
// Time is counted in milliseconds only (the default and the one format it
// accepts; frames are refused). Length and position are truncated to whole
// milliseconds, the position counting the frames the output has consumed, so
// once the end is reached position equals length exactly, the device stands
// stopped and the end notification has fired once. A seek past the end stops
// at the end. Resume only continues a paused device; on a stopped one it is
// refused, and play is the way to start.
#include "platform/mci/mci.h"
#include "platform/mci/wave/audio_sink.h"

#include <memory>

namespace mci {

std::unique_ptr<Device> makeWaveDevice(const multimedia::Choices& choices = {});

// Reads the wave at PATH as an open would, touching no sound output.
Result checkWaveFile(const std::string& path);

namespace wave {

// The same device writing to SINK instead of the sound card.
std::unique_ptr<Device> makeDevice(SinkOpener sink);

} // namespace wave

} // namespace mci
