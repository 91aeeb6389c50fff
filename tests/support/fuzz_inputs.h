#pragma once
// The inputs a fuzz target keeps: what it was seeded with and what it has
// crashed on, replayed by a normal test in the target's layer.
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

inline std::vector<std::filesystem::path> fuzzInputs(const std::string& target)
{
    std::vector<std::filesystem::path> inputs;
    for (const char* folder : {"seeds", "regressions"}) {
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(QUORVANA_FUZZ_DIR) / target / folder))
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                inputs.push_back(entry.path());
    }
    return inputs;
}

// Runs EXERCISE on every kept input of TARGET; each must hold (an empty answer).
inline void expectInputsHold(const std::string& target,
                             const std::function<std::string(const uint8_t*, size_t)>& exercise)
{
    const auto inputs = fuzzInputs(target);
    for (const auto& path : inputs) {
        const std::string bytes = readFile(path);
        EXPECT_EQ(exercise(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "") << path;
    }
    EXPECT_GE(inputs.size(), 3u);
}

} // namespace testing_support
