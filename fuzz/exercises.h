#pragma once
// What must hold for any input where input enters the player: its settings
// files, its registry store, wave files and video files. Each runs the
// project's own code over arbitrary bytes; shared by the fuzzers and by the
// regression tests that replay their seeds and crashers. Each returns an
// empty text when all held, otherwise what did not.
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

// The profile reader and writer on a file holding the input, in FOLDER.
std::string exerciseProfile(const std::string& folder, const uint8_t* data, size_t size);

// The registry store's text form: what parses writes back and reads again the same.
std::string exerciseStore(const uint8_t* data, size_t size);

// The RIFF probe and the wave file: open, read, seek.
std::string exerciseWave(const uint8_t* data, size_t size);

// The video file: open, length, seeks and reads through FFmpeg.
std::string exerciseVideo(const uint8_t* data, size_t size);

// A file with BYTES that exists only in memory, named by its /proc path; -1
// when it cannot be made. The caller closes FD.
std::string memoryFile(const uint8_t* data, size_t size, int& fd);

} // namespace fuzzing
