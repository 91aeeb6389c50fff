#pragma once
// Runs the MIDI file reader and the sequencer over arbitrary bytes and checks
// what must hold for any input. Shared by the fuzzer and the regression test.
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

// Empty when all held; otherwise what did not.
std::string exerciseSmf(const uint8_t* data, size_t size);

} // namespace fuzzing
