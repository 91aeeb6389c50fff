// Saving a karaoke song of about three minutes as a wave file on the
// built-in synthesizer: how many times faster than it plays (goal: 50).
#include "platform/midi/soundfonts.h"
#include "platform/midi/wave_render.h"
#include "platform/multimedia/choices.h"

#include "tests/support/karaoke_song.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace {

void BM_SaveAsWave(benchmark::State& state)
{
    const std::string bytes = karaoke_song::build({.verses = static_cast<int>(state.range(0))});
    auto song = std::make_shared<midi::Song>();
    std::string error;
    if (!midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    midi::WaveRender render;
    render.soundfont = midi::findSoundfont(multimedia::Choices {}, error);
    if (render.soundfont.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::string path = (std::filesystem::temp_directory_path() / "quorvana-bench-save.wav").string();
    double seconds = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        if (!midi::writeWave(song, render, path, true, {}, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        state.SetIterationTime(seconds);
    }
    std::remove(path.c_str());
    state.counters["song_s"] = double(song->lengthMicros) / 1e6;
    state.counters["times_real_time"] = double(song->lengthMicros) / 1e6 / seconds;
    state.counters["goal_times"] = 50;
}
BENCHMARK(BM_SaveAsWave)->Arg(4)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
