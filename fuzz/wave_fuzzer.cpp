// libFuzzer entry for the RIFF probe and the wave file.
#include "fuzz/exercises.h"
#include "fuzz/fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzing::verdict(fuzzing::exerciseWave(data, size));
}
