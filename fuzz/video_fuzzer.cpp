// libFuzzer entry for the video file's open, length and seeks.
#include "fuzz/exercises.h"
#include "fuzz/fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzing::verdict(fuzzing::exerciseVideo(data, size));
}
