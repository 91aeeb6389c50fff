#pragma once
// A look at a file's RIFF chunks before libsndfile gets it: is it a wave file at
// all, and what does its "fact" chunk say about the exact length.
#include "platform/base/riff.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace mci::wave {

struct RiffProbe {
    bool isWave = false; // "RIFF", "RIFX" or "RF64" with the form type "WAVE"
    // Frames per channel from the "fact" chunk (for RF64 from "ds64"); only
    // set when the file gives a count other than 0.
    std::optional<uint64_t> factFrames;
};

using ReadAt = base::riff::ReadAt;

RiffProbe probeRiff(const ReadAt& read, uint64_t fileSize);

} // namespace mci::wave
