// A singer's silence of the melody, from the call to the first sample it
// changes on the built-in synthesizer (goal: 30 ms at worst), and what the
// channels' meters cost the playback thread (goal: 1 % of a core).
#include "platform/audio/audio_output.h"
#include "platform/midi/player.h"

#include "bench/support/shared_synth.h"
#include "bench/support/sound_probes.h"
#include "tests/support/smf_builder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <numeric>
#include <thread>

#include <sys/resource.h>

namespace {

using bench_support::Clock;
using bench_support::FirstTaken;
using bench_support::idleAndBusy;
using bench_support::Load;
using bench_support::msSince;
using bench_support::parse;
using bench_support::Peaks;
using namespace std::chrono_literals;
using smf_builder::Track;

// The melody, an organ's A4 held, goes silent under the call. The first
// message of the silence is placed on the card's clock the synthesizer's
// delay after it was taken: that sample is the first it changes. The
// sound's fall to half, as the card was handed it, is told beside.
void BM_SilenceToSynthesizerSound(benchmark::State& state)
{
    const std::shared_ptr<midi::Output> synth = bench_support::sharedSynthOrSkip(state);
    if (!synth)
        return;
    const auto organ = parse(
        smf_builder::file(0, 500, {Track().ev(0, {0xC0, 16}).ev(0, {0x90, 69, 100}).ev(60000, {0x80, 69, 0}).end()}));
    const Peaks peaks;
    const Load load(state.range(0) != 0);
    std::vector<double> ms;
    double worstFall = 0;
    int trial = 0;
    for (auto _ : state) {
        auto watch = std::make_shared<FirstTaken>(synth);
        midi::Player player(organ, watch);
        player.play();
        std::this_thread::sleep_for(400ms + std::chrono::microseconds(++trial * 3917 % 11600));
        watch->watch();
        const Clock::time_point called = Clock::now();
        player.setSilenced(0x0001);
        std::this_thread::sleep_for(150ms);
        const double fall = peaks.fallAfter(called);
        if (fall < 0 || watch->taken() == Clock::time_point {}) {
            state.SkipWithError("the melody did not fall silent");
            break;
        }
        ms.push_back(msSince(called, watch->taken() + synth->delay()));
        worstFall = std::max(worstFall, fall);
        state.SetIterationTime(ms.back() / 1000);
    }
    if (ms.empty())
        return;
    state.counters["mean_ms"] = std::accumulate(ms.begin(), ms.end(), 0.0) / double(ms.size());
    state.counters["worst_ms"] = *std::max_element(ms.begin(), ms.end());
    state.counters["goal_ms"] = 30;
    state.counters["worst_fall_to_half_ms"] = worstFall;
}
BENCHMARK(BM_SilenceToSynthesizerSound)->Apply(idleAndBusy)->Iterations(30);

// Takes every message and does nothing with it: what is measured is the
// sequence's own work.
class Sink final : public midi::Output {
public:
    void send(std::span<const uint8_t> message, midi::TimePoint) override { benchmark::DoNotOptimize(message.data()); }
};

// Every channel busy: a note every 20 ms held for 40, so two sound at once,
// of varying velocity; the sustain pedal down for half a second, up for the
// next, sent with every note as some files do. 800 notes a second, many
// times what a dense song plays.
constexpr int kDenseSeconds = 4;
constexpr double kDenseNotesPerSecond = 16 * 50;

std::shared_ptr<const midi::Song> dense()
{
    std::vector<Track> tracks;
    for (int ch = 0; ch < 16; ++ch) {
        Track t;
        const auto key = [ch](int i) { return 48 + (i * 7 + ch) % 36; };
        for (int i = 0; i < kDenseSeconds * 50; ++i) {
            t.ev(i == 0 ? 0 : 20, {0xB0 | ch, 64, i % 50 < 25 ? 127 : 0});
            if (i >= 2)
                t.ev(0, {0x80 | ch, key(i - 2), 0});
            t.ev(0, {0x90 | ch, key(i), 40 + (i * 13 + ch) % 80});
        }
        t.ev(20, {0x80 | ch, key(kDenseSeconds * 50 - 2), 0}).ev(20, {0x80 | ch, key(kDenseSeconds * 50 - 1), 0});
        tracks.push_back(t.end());
    }
    return parse(smf_builder::file(1, 500, tracks));
}

// The sequence's work for the dense song with the meters off and on, at the
// pace the song plays (a millisecond at a time), as the share of a core it
// takes; the level reads are the window's, on its own thread, and cost it
// a few atomic loads.
void BM_MeteringCost(benchmark::State& state)
{
    const auto song = dense();
    const bool metering = state.range(0) != 0;
    double seconds = 0;
    for (auto _ : state) {
        midi::Sequence seq(song, std::make_shared<Sink>());
        seq.setMetering(metering);
        const midi::TimePoint t0 = midi::TimePoint {} + 100s;
        seq.play(t0);
        const auto start = Clock::now();
        for (int ms = 0; ms <= kDenseSeconds * 1000 + 60; ++ms)
            seq.process(t0 + std::chrono::milliseconds(ms));
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        benchmark::DoNotOptimize(seq.levels());
    }
    const double perSongSecond = seconds / double(state.iterations()) / kDenseSeconds;
    state.counters["core_percent"] = 100 * perSongSecond;
    state.counters["ns_per_note"] = perSongSecond * 1e9 / kDenseNotesPerSecond;
}
BENCHMARK(BM_MeteringCost)->ArgName("metering")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One read of the levels, as the window's meters take it.
void BM_LevelsRead(benchmark::State& state)
{
    midi::Player player(dense(), std::make_shared<Sink>());
    player.setMetering(true);
    player.play();
    for (auto _ : state)
        benchmark::DoNotOptimize(player.levels());
}
BENCHMARK(BM_LevelsRead);

// The same song played by the player in real time, the window reading the
// levels every 50 ms: the process's processor time over the song's, as a
// share of a core. The playback thread does nearly all of it.
void BM_PlayerCpuWithMeters(benchmark::State& state)
{
    const auto song = dense();
    const bool metering = state.range(0) != 0;
    double shares = 0;
    for (auto _ : state) {
        const auto cpu = [] {
            rusage usage {};
            getrusage(RUSAGE_SELF, &usage);
            return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        };
        midi::Player player(song, std::make_shared<Sink>());
        player.setMetering(metering);
        const double cpuFrom = cpu();
        const auto from = Clock::now();
        player.play();
        for (int read = 0; read < kDenseSeconds * 20; ++read) {
            std::this_thread::sleep_for(50ms);
            benchmark::DoNotOptimize(player.levels());
        }
        shares += (cpu() - cpuFrom) / std::chrono::duration<double>(Clock::now() - from).count();
    }
    state.counters["core_percent"] = 100 * shares / double(state.iterations());
}
BENCHMARK(BM_PlayerCpuWithMeters)->ArgName("metering")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
