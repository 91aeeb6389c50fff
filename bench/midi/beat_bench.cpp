// How steadily the built-in synthesizer keeps a song's beat: a song of short
// notes played by the player through the synthesizer and the sound card, as
// a song plays, and every note's onset found in what the card was given,
// against the straight line that fits the song's times best. Goal: every
// note within 1.5 ms (FluidSynth's own step of 64 frames), at any tempo.
// Run it on the sound server, where the buffers come unevenly:
//   tests/support/under_sound_server.sh env SDL_AUDIODRIVER=pipewire beat_bench
// SDL's dummy driver is no clock: it sleeps a fixed time after each buffer
// is rendered, so its samples run faster or slower than time as the
// rendering takes more or less, and no clock of ours can follow them.
#include "platform/audio/audio_output.h"
#include "platform/midi/player.h"

#include "bench/support/midi_bytes.h"
#include "bench/support/shared_synth.h"
#include "tests/support/onsets.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <vector>

namespace {

using bench_support::putBe32;
using bench_support::putTrack;
using bench_support::putVlq;
using namespace std::chrono_literals;

constexpr int kNotes = 28;
constexpr int kRate = 44100;

// Division 500 at 120 a minute: a tick is a millisecond. A wood block on the
// percussion channel every half second, held 50 ms, dry: its onset is sharp
// and it has faded before the next.
std::shared_ptr<const midi::Song> beat()
{
    std::string f = "MThd";
    putBe32(f, 6);
    f += std::string {0, 0, 0, 1, 0x01, static_cast<char>(0xF4)};
    std::string data;
    for (const char controller : {91, 93}) {
        putVlq(data, 0);
        data += std::string {static_cast<char>(0xB9), controller, 0};
    }
    for (int i = 0; i < kNotes; ++i) {
        putVlq(data, i == 0 ? 0 : 450);
        data += std::string {static_cast<char>(0x99), 76, 110};
        putVlq(data, 50);
        data += std::string {static_cast<char>(0x89), 76, 0};
    }
    putTrack(f, data);
    auto song = std::make_shared<midi::Song>();
    std::string error;
    midi::parseSong({reinterpret_cast<const uint8_t*>(f.data()), f.size()}, *song, error);
    return song;
}

// Everything the card plays, from when it is armed, gaps and all: a silent
// stream keeps the card going while the synthesizer rests between notes, as
// a sink records on.
class Recording {
public:
    Recording() : frames_(size_t(2 * kRate * 40))
    {
        std::string error;
        keepAwake_ = audio::Output::open(
            {}, [](float*, int) {}, "", error);
        if (keepAwake_)
            keepAwake_->start();
        audio::setTap([this](const float* frames, int count) {
            if (!armed_.load(std::memory_order_acquire))
                return;
            const size_t at = size_.load(std::memory_order_relaxed);
            const size_t n = std::min(frames_.size() - at, size_t(2 * count));
            std::copy_n(frames, n, frames_.begin() + long(at));
            size_.store(at + n, std::memory_order_release);
        });
    }
    ~Recording() { audio::setTap({}); }
    void arm() { armed_.store(true, std::memory_order_release); }
    std::vector<float> take()
    {
        armed_.store(false, std::memory_order_release);
        std::this_thread::sleep_for(50ms); // a callback under way ends
        return {frames_.begin(), frames_.begin() + long(size_.load(std::memory_order_acquire))};
    }

private:
    std::vector<float> frames_;
    std::atomic<bool> armed_ {false};
    std::atomic<size_t> size_ {0};
    std::unique_ptr<audio::Output> keepAwake_;
};

void BM_BeatThroughSynthesizer(benchmark::State& state)
{
    const std::shared_ptr<midi::Output> synth = bench_support::sharedSynthOrSkip(state);
    if (!synth)
        return;
    const int tempo = int(state.range(0));
    const auto song = beat();
    std::vector<double> off;
    double slope = 1;
    for (auto _ : state) {
        Recording recording;
        std::promise<void> ended;
        {
            midi::Player player(song, synth);
            player.setEndNotify([&] { ended.set_value(); });
            player.setTempo(tempo);
            recording.arm();
            player.play();
            ended.get_future().wait();
            std::this_thread::sleep_for(300ms); // the last note reaches the card
        }
        std::vector<double> heard, times;
        for (size_t frame : onsets::find(recording.take(), 0.01f, kRate / 10))
            heard.push_back(double(frame) / kRate);
        for (int i = 0; i < kNotes; ++i)
            times.push_back(0.5 * i * 100 / tempo);
        if (heard.size() != size_t(kNotes)) {
            state.SkipWithError(("heard " + std::to_string(heard.size()) + " notes").c_str());
            return;
        }
        off = onsets::deviations(heard, times, &slope);
        state.SetIterationTime(*std::max_element(off.begin(), off.end()) / 1000);
    }
    std::sort(off.begin(), off.end());
    state.counters["median_ms"] = off[off.size() / 2];
    state.counters["p95_ms"] = off[off.size() * 95 / 100];
    state.counters["worst_ms"] = off.back();
    state.counters["pace_ppm"] = (slope - 1) * 1e6;
    state.counters["goal_ms"] = 1.5;
}
BENCHMARK(BM_BeatThroughSynthesizer)
    ->ArgName("tempo")
    ->Arg(100)
    ->Arg(80)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
