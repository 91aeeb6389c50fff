// Every input the video fuzzer keeps, run again under the normal build.
#include "fuzz/exercises.h"
#include "tests/support/fuzz_inputs.h"

TEST(VideoFuzzInputs, SeedsAndCrashersHold)
{
    testing_support::expectInputsHold("video", fuzzing::exerciseVideo);
}
