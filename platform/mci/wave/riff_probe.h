#pragma once
// A look at a file's RIFF chunks before libsndfile gets it: is it a wave file at
// all, and what does its "fact" chunk say about the exact length.
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

// READ(offset, buffer, size) returns how many bytes it could read there.
using ReadAt = std::function<size_t(uint64_t offset, void* buffer, size_t size)>;

RiffProbe probeRiff(const ReadAt& read, uint64_t fileSize);

} // namespace mci::wave
