// Every input the fuzzer has been seeded with or has crashed on, run again
// under the normal build.
#include "fuzz/smf_exercise.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(SmfRegression, SeedsAndCrashersHold)
{
    int files = 0;
    for (const char* folder : {"seeds", "regressions"}) {
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(QUORVANA_FUZZ_DIR) / folder)) {
            const std::string bytes = testing_support::readFile(entry.path());
            EXPECT_EQ(fuzzing::exerciseSmf(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "")
                << entry.path();
            ++files;
        }
    }
    EXPECT_GE(files, 8);
}
