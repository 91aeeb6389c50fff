// Every input the store fuzzer keeps, run again under the normal build.
#include "fuzz/exercises.h"
#include "tests/support/fuzz_inputs.h"

TEST(StoreFuzzInputs, SeedsAndCrashersHold)
{
    testing_support::expectInputsHold("store", fuzzing::exerciseStore);
}
