#pragma once
// The inputs a fuzz target keeps: what it was seeded with and what it has
// crashed on, replayed by a normal test in the target's layer.
#include <filesystem>
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

} // namespace testing_support
