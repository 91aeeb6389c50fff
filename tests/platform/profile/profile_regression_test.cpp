// Every input the profile fuzzer keeps, run again under the normal build.
#include "fuzz/exercises.h"

#include "tests/support/fuzz_inputs.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

TEST(ProfileFuzzInputs, SeedsAndCrashersHold)
{
    testing_support::TempDir dir;
    const auto inputs = testing_support::fuzzInputs("profile");
    for (const auto& path : inputs) {
        const std::string bytes = testing_support::readFile(path);
        EXPECT_EQ(fuzzing::exerciseProfile(dir.str(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "") << path;
    }
    EXPECT_GE(inputs.size(), 3u);
}
