#pragma once
// What every fuzzer does with an exercise's verdict: a broken rule is a crash,
// so that libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzing {

inline int verdict(const std::string& problem)
{
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}

} // namespace fuzzing
