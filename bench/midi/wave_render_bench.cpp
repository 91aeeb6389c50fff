// Saving a karaoke song of about three minutes as a wave file on the
// built-in synthesizer: how many times faster than it plays (goal: 50), and
// how long the window's thread waits at most meanwhile (goal: 50 ms).
#include "platform/midi/soundfonts.h"
#include "platform/midi/wave_render.h"
#include "platform/multimedia/choices.h"

#include "playback/singer/wave_saver.h"

#include "bench/support/qt_bench_main.h"
#include "tests/support/karaoke_song.h"

#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace {

// The song of VERSES and the render of the system's soundfont; false with
// the benchmark told why.
bool prepare(benchmark::State& state, std::shared_ptr<midi::Song>& song, midi::WaveRender& render)
{
    const std::string bytes = karaoke_song::build({.verses = static_cast<int>(state.range(0))});
    song = std::make_shared<midi::Song>();
    std::string error;
    if (!midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    render.soundfont = midi::findSoundfont(multimedia::Choices {}, error);
    if (render.soundfont.empty()) {
        state.SkipWithError(error.c_str());
        return false;
    }
    return true;
}

const std::string path = (std::filesystem::temp_directory_path() / "quorvana-bench-save.wav").string();

void BM_SaveAsWave(benchmark::State& state)
{
    std::shared_ptr<midi::Song> song;
    midi::WaveRender render;
    std::string error;
    if (!prepare(state, song, render))
        return;
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

// The same from the words' menu: the window's thread runs its event loop,
// with a timer due every 5 ms, while the save runs beside it.
void BM_SaveAsWaveBesideTheWindow(benchmark::State& state)
{
    std::shared_ptr<midi::Song> song;
    midi::WaveRender render;
    if (!prepare(state, song, render))
        return;
    double longest = 0, seconds = 0;
    for (auto _ : state) {
        singer::WaveSaver saver;
        QEventLoop loop;
        bool written = false;
        QObject::connect(&saver, &singer::WaveSaver::finished, &loop, [&](const QString&, bool ok) {
            written = ok;
            loop.quit();
        });
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        auto last = std::chrono::steady_clock::now();
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const auto now = std::chrono::steady_clock::now();
            longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count() - 5);
            last = now;
        });
        const auto begin = std::chrono::steady_clock::now();
        beat.start(5);
        saver.save(nullptr, QString::fromStdString(path), true, song, render);
        loop.exec();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        state.SetIterationTime(seconds);
        if (!written) {
            state.SkipWithError("not written");
            break;
        }
    }
    std::remove(path.c_str());
    state.counters["times_real_time"] = double(song->lengthMicros) / 1e6 / seconds;
    state.counters["longest_wait_ms"] = longest;
    state.counters["goal_wait_ms"] = 50;
}
BENCHMARK(BM_SaveAsWaveBesideTheWindow)->Arg(4)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return bench_support::runWithWidgets(argc, argv);
}
