// Reading and writing one key of a profile file: the settings file is read
// on every "Edit File" and the Setup dialog writes it key by key.
#include "platform/profile/profile.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class ProfileFile {
public:
    explicit ProfileFile(int keys)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvana-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        dir_ = pattern;
        path_ = (dir_ / "quorvana.INI").string();
        std::ofstream out(path_, std::ios::binary);
        out << "[Other]\r\n";
        for (int i = 0; i < keys; ++i)
            out << "Key" << i << "=/usr/share/some/longer/value/number/" << i << "\r\n";
        out << "\r\n[Quorvana]\r\nMIDIEdit=/usr/bin/rosegarden\r\nWavEdit=/usr/bin/audacity\r\nAviEdit=\r\n";
    }
    ~ProfileFile() { std::filesystem::remove_all(dir_); }
    const std::string& path() const { return path_; }

private:
    std::filesystem::path dir_;
    std::string path_;
};

void BM_GetString(benchmark::State& state)
{
    const ProfileFile file(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(profile::getString(file.path(), "Quorvana", "WavEdit", "sndrec32.exe", 1024));
    state.SetLabel(std::to_string(std::filesystem::file_size(file.path())) + " bytes");
}
BENCHMARK(BM_GetString)->Arg(0)->Arg(100)->Arg(10000);

// Every write is synced to disk, so this measures mostly the disk.
void BM_WriteString(benchmark::State& state)
{
    const ProfileFile file(static_cast<int>(state.range(0)));
    int n = 0;
    for (auto _ : state) {
        if (!profile::writeString(file.path(), "Quorvana", "AviEdit", std::to_string(++n)))
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_WriteString)->Arg(0)->Arg(10000)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
