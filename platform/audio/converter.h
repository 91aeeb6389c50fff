#pragma once
// The sample-rate and channel conversion between a stream and the card.
#include "platform/audio/audio_output.h"

#include <vector>

namespace audio {

// Converts a stream's frames to the card's: linear interpolation between
// source frames, mono spread to both sides, more than two channels cut to the
// front pair. Kept apart from SDL so that it can be tested on its own.
class Converter {
public:
    Converter(int sourceRate, int sourceChannels, int targetRate, int maxTargetFrames);

    // Adds FRAMES stereo frames at the target rate to OUT, pulling source
    // frames through RENDER.
    void mixInto(float* out, int frames, const RenderFn& render);

private:
    double step_;
    double phase_ = 0.0; // position of the next output frame, in frames from source_[0]
    int channels_;
    std::vector<float> source_; // frames kept from the last block, then the fresh ones
    int have_ = 0; // frames kept at the front of source_
};

} // namespace audio
