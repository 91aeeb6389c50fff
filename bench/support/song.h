#pragma once
// A song of one second for the benchmarks.
#include "tests/support/smf_builder.h"

#include <filesystem>

namespace bench_support {

inline void writeSong(const std::filesystem::path& path)
{
    smf_builder::write(path, smf_builder::chordAndBeatFile());
}

} // namespace bench_support
