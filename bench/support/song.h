#pragma once
// A song of one second for the benchmarks: a piano chord over a drum beat,
// the programs most songs start with, sounding from its first tick.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace bench_support {

inline void writeSong(const std::filesystem::path& path)
{
    const std::string track = std::string("\x00\xC0\x00\x00\x90\x3C\x64\x00\x90\x40\x64\x00\x99\x24\x64", 15)
                              + std::string("\x83\x60\x89\x24\x00\x00\x99\x26\x64\x83\x60\x80\x3C\x00\x00\x80\x40\x00"
                                            "\x00\x89\x26\x00\x00\xFF\x2F\x00", 27);
    std::string smf = std::string("MThd\0\0\0\6\0\0\0\1\1\xE0MTrk", 18);
    const auto n = uint32_t(track.size());
    smf += {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    std::ofstream(path, std::ios::binary) << smf + track;
}

} // namespace bench_support
