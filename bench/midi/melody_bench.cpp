// Finding the channel that carries a karaoke song's melody, on a song of
// about a megabyte: seven channels and the drums, the words in a track of
// their own. Arg: the verses, each 24 bars. Goal: 20 ms.
#include "platform/midi/melody.h"
#include "platform/midi/smf.h"
#include "platform/midi/words.h"

#include "tests/support/karaoke_song.h"

#include <benchmark/benchmark.h>

namespace {

void BM_FindMelody(benchmark::State& state)
{
    const std::string bytes = karaoke_song::build({.verses = static_cast<int>(state.range(0))});
    midi::Song song;
    std::string error;
    if (!midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, song, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const midi::Words words = midi::readWords(song);
    int found = -1;
    for (auto _ : state) {
        found = midi::findMelody(song, words);
        benchmark::DoNotOptimize(found);
    }
    if (found != karaoke_song::kMelody)
        state.SkipWithError("the melody was not found");
    state.counters["file_kb"] = static_cast<double>(bytes.size()) / 1024;
    state.counters["events"] = static_cast<double>(song.events.size());
    state.counters["syllables"] = static_cast<double>(words.syllables.size());
    state.counters["goal_ms"] = 20;
}
BENCHMARK(BM_FindMelody)->Arg(72)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
