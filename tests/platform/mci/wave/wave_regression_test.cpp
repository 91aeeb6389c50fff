// Every input the wave fuzzer keeps, run again under the normal build.
#include "fuzz/exercises.h"
#include "tests/support/fuzz_inputs.h"

TEST(WaveFuzzInputs, SeedsAndCrashersHold)
{
    testing_support::expectInputsHold("wave", fuzzing::exerciseWave);
}
