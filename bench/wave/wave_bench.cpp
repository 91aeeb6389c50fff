// How fast the wave device answers: from play() to the first output buffer
// that carries the file's samples, and the open of a 10 s CD-quality file.
// Runs on SDL's dummy driver unless SDL_AUDIODRIVER names another.
#include "platform/mci/wave/wave_device.h"
#include "platform/mci/wave/wave_file.h"
#include "bench/support/first_sound.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using bench_support::FirstSound;

// A file of SECONDS of a tone that is never silent, written once per run.
std::string makeFile(const std::string& name, int seconds)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("quorvana-bench-" + std::to_string(getpid()) + "-" + name);
    if (std::filesystem::exists(path))
        return path.string();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> frames(2 * 44100);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = 0.3f + 0.2f * std::sin(float(i / 2) * 0.03f);
    for (int s = 0; s < seconds; ++s)
        sf_writef_float(f, frames.data(), 44100);
    sf_close(f);
    return path.string();
}

void playAfterOpen(benchmark::State& state)
{
    const std::string file = makeFile("short.wav", 2);
    FirstSound probe;
    for (auto _ : state) {
        auto device = mci::wave::makeDevice(mci::wave::sdlSinkOpener());
        if (!device->open(file).ok()) {
            state.SkipWithError("no audio output");
            return;
        }
        const double seconds = probe.measure([&] { device->play(); });
        if (seconds < 0) {
            state.SkipWithError("no sound came out");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["silent_callbacks"] = probe.silentCallbacks.load();
}
BENCHMARK(playAfterOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// The rewind before a replay throws the buffered samples away: the reader
// must seek and refill before the first buffer.
void playAfterRewind(benchmark::State& state)
{
    const std::string file = makeFile("short.wav", 2);
    FirstSound probe;
    auto device = mci::wave::makeDevice(mci::wave::sdlSinkOpener());
    if (!device->open(file).ok()) {
        state.SkipWithError("no audio output");
        return;
    }
    for (auto _ : state) {
        device->seek(1500);
        const double seconds = probe.measure([&] {
            device->seekToStart();
            device->play();
        });
        if (seconds < 0) {
            state.SkipWithError("no sound came out");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["silent_callbacks"] = probe.silentCallbacks.load();
}

// The output alone, for comparison: from unpausing SDL to its first callback.
void outputAlone(benchmark::State& state)
{
    std::atomic<bool> called{false};
    std::atomic<int64_t> at{0};
    std::string error;
    auto out = audio::Output::open(
        {44100, 2, 512},
        [&](float*, int) {
            if (called.load())
                return;
            at.store(Clock::now().time_since_epoch().count());
            called.store(true);
            called.notify_all();
        },
        {}, error);
    if (!out) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        called = false;
        const auto t0 = Clock::now();
        out->start();
        called.wait(false);
        state.SetIterationTime(std::chrono::duration<double>(Clock::duration(at.load()) - t0.time_since_epoch()).count());
        out->pause();
    }
}
BENCHMARK(outputAlone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(playAfterRewind)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

void openTenSeconds(benchmark::State& state)
{
    const std::string file = makeFile("ten.wav", 10);
    for (auto _ : state) {
        auto device = mci::makeWaveDevice();
        const auto t0 = Clock::now();
        const mci::Result r = device->open(file);
        const auto t1 = Clock::now();
        if (!r.ok()) {
            state.SkipWithError(r.text.c_str());
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        device->close();
    }
}
BENCHMARK(openTenSeconds)->UseManualTime()->Unit(benchmark::kMillisecond);

// The file half of the open alone: header check, chunk walk, libsndfile.
void openTenSecondsFileOnly(benchmark::State& state)
{
    const std::string file = makeFile("ten.wav", 10);
    for (auto _ : state) {
        std::unique_ptr<mci::wave::WaveFile> f;
        benchmark::DoNotOptimize(mci::wave::WaveFile::open(file, f));
    }
}
BENCHMARK(openTenSecondsFileOnly)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* name : {"short.wav", "ten.wav"})
        std::filesystem::remove(std::filesystem::temp_directory_path() /
                                ("quorvana-bench-" + std::to_string(getpid()) + "-" + name));
    return 0;
}
