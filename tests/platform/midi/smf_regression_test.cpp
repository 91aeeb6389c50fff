// Every input the fuzzer has been seeded with or has crashed on, run again
// under the normal build.
#include "fuzz/smf_exercise.h"

#include "tests/support/fuzz_inputs.h"

#include <gtest/gtest.h>

TEST(SmfRegression, SeedsAndCrashersHold)
{
    EXPECT_GE(testing_support::fuzzInputs("smf").size(), 8u);
    testing_support::expectInputsHold("smf", fuzzing::exerciseSmf);
}
