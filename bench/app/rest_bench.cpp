// The player at rest, beside a bare Qt window in the same run: resident
// memory and CPU time 3 s after start, and the CPU it spends in the 10 s
// after that with nothing playing; also in a folder of songs (with MIDI
// going to the synthesizer, and to a capture), and after one song has played.
// Both run offscreen on SDL's dummy audio driver with a private home, so the
// default soundfont is the one in use.
#include "bench/support/song.h"
#include "bench/support/spawn.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

pid_t spawn(const std::string& program, const fs::path& home, const std::string& file, bool toCapture)
{
    std::vector<std::string> args{program};
    if (!file.empty())
        args.push_back(file);
    std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy", "HOME=" + home.string(),
                                 "XDG_CONFIG_HOME=" + (home / "config").string(),
                                 "XDG_DATA_HOME=" + (home / "data").string()};
    if (toCapture)
        env.push_back("QUORVANA_MIDI_OUT=capture");
    return bench_support::spawn(args, env, home, true);
}

// Resident megabytes of PID.
double residentMb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

// User and system CPU seconds PID has spent, all its threads included.
double cpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; fields >> field && i <= 15; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

struct Rest {
    double mb = 0, startCpu = 0, idleCpu = 0;
};

// Where the program starts and what it is given.
enum class Start {
    EmptyFolder, // nothing to play in sight
    AmongSongs,  // a folder holding a song, none played
    PlayingSong, // the song named on the command line, played to its end
    AmongSongsToCapture, // among songs, MIDI going to a capture, not the synthesizer
};

Rest measure(const std::string& program, Start start = Start::EmptyFolder)
{
    const fs::path home = fs::temp_directory_path() / ("quorvana-rest-" + std::to_string(getpid()));
    fs::create_directories(home);
    std::string song;
    if (start != Start::EmptyFolder)
        bench_support::writeSong(home / "song.mid");
    if (start == Start::PlayingSong)
        song = (home / "song.mid").string();
    Rest rest;
    const pid_t pid = spawn(program, home, song, start == Start::AmongSongsToCapture);
    if (pid > 0) {
        // The song, if any, has ended, faded, and its card has gone to sleep
        // by then.
        std::this_thread::sleep_for(std::chrono::seconds(start == Start::PlayingSong ? 8 : 3));
        rest.mb = residentMb(pid);
        rest.startCpu = cpuSeconds(pid);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        rest.idleCpu = cpuSeconds(pid) - rest.startCpu;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    fs::remove_all(home);
    return rest;
}

void report(benchmark::State& state, const Rest& player, const Rest* floor = nullptr)
{
    state.counters["resident_mb"] = player.mb;
    state.counters["start_cpu_s"] = player.startCpu;
    state.counters["idle_cpu_s_per_10s"] = player.idleCpu;
    if (floor) {
        state.counters["floor_resident_mb"] = floor->mb;
        state.counters["floor_start_cpu_s"] = floor->startCpu;
        state.counters["floor_idle_cpu_s_per_10s"] = floor->idleCpu;
    }
}

void BM_AtRest(benchmark::State& state)
{
    Rest player, floor;
    for (auto _ : state) {
        player = measure(QUORVANA_PLAYER);
        floor = measure(QUORVANA_BARE_WINDOW);
        state.SetIterationTime(13.0);
    }
    report(state, player, &floor);
}

// Arg: a Start. In a folder of songs the synthesizer is made ready for the
// first click; after one song (the default soundfont, played to its end) it
// has rested and let go of the song's samples; with MIDI going elsewhere
// there is no synthesizer to make ready.
void BM_Elsewhere(benchmark::State& state)
{
    const auto start = Start(state.range(0));
    Rest player;
    for (auto _ : state) {
        player = measure(QUORVANA_PLAYER, start);
        state.SetIterationTime(start == Start::PlayingSong ? 18.0 : 13.0);
    }
    report(state, player);
}

} // namespace

BENCHMARK(BM_Elsewhere)
    ->ArgName("start")
    ->Arg(int(Start::AmongSongs))
    ->Arg(int(Start::PlayingSong))
    ->Arg(int(Start::AmongSongsToCapture))
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_AtRest)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_MAIN();
