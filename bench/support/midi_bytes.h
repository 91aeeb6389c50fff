#pragma once
// The bytes of Standard MIDI Files the MIDI benchmarks write by hand, and
// the temporary file they read them from.
#include "tests/support/smf_builder.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace bench_support {

inline void putVlq(std::string& out, uint32_t v)
{
    out += smf_builder::vlq(v);
}

inline void putBe32(std::string& out, uint32_t v)
{
    out += smf_builder::be32(v);
}

// DATA, ended, as a track chunk of OUT.
inline void putTrack(std::string& out, std::string& data)
{
    data += std::string {0, static_cast<char>(0xFF), 0x2F, 0};
    out += "MTrk";
    putBe32(out, static_cast<uint32_t>(data.size()));
    out += data;
}

inline std::string writeTemp(const std::string& name, const std::string& bytes)
{
    const auto path = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()) + ".mid");
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

} // namespace bench_support
