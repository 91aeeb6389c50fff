// Every input the profile fuzzer keeps, run again under the normal build.
#include "fuzz/exercises.h"
#include "tests/support/fuzz_inputs.h"

TEST(ProfileFuzzInputs, SeedsAndCrashersHold)
{
    testing_support::TempDir dir;
    testing_support::expectInputsHold("profile", [&](const uint8_t* data, size_t size) {
        return fuzzing::exerciseProfile(dir.str(), data, size);
    });
}
