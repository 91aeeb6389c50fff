#pragma once
// The built-in synthesizer the player shares, as the benchmarks that listen
// to it open it: a machine without one skips them and says why.
#include "platform/midi/output.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace bench_support {

inline std::shared_ptr<midi::Output> sharedSynthOrSkip(benchmark::State& state)
{
    std::string error;
    std::shared_ptr<midi::Output> synth = midi::sharedOutput("synth", {}, error);
    if (!synth)
        state.SkipWithError(error.c_str());
    return synth;
}

} // namespace bench_support
