// The words of karaoke songs: what reading them adds to the open of a huge
// song, and how late the lyrics window highlights a syllable after its note
// (the goal: 30 ms at worst).
#include "bench/support/qt_bench_main.h"
#include "platform/mci/sequencer/sequencer_device.h"
#include "platform/midi/capture_output.h"

#include "platform/midi/smf.h"
#include "platform/midi/words.h"
#include "tests/support/words_view.h"

#include "bench/support/midi_bytes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

namespace {

using bench_support::putBe32;
using bench_support::putTrack;
using bench_support::putVlq;
using bench_support::writeTemp;

// NOTES notes over 16 tracks, each STEP ticks long (as the MIDI bench's
// million-note song), and SYLLABLES lyric events spread over the song in a
// track of their own, a line every eight.
std::string generateSong(int notes, uint32_t step, int syllables)
{
    constexpr int kTracks = 16;
    std::mt19937 rng(1);
    std::string out = "MThd";
    putBe32(out, 6);
    out += std::string {0, 1, 0, static_cast<char>(kTracks + (syllables > 0)), 1, static_cast<char>(0xE0)};
    for (int t = 0; t < kTracks; ++t) {
        std::string data;
        for (int i = 0; i < notes / kTracks; ++i) {
            putVlq(data, 0);
            data += std::string {static_cast<char>(0x90 | t), static_cast<char>(36 + rng() % 60), 100};
            putVlq(data, step);
            data += std::string {
                static_cast<char>(0x80 | t), static_cast<char>(data[data.size() - 3 - (step >= 128)]), 0};
        }
        putTrack(out, data);
    }
    if (syllables > 0) {
        std::string data;
        const uint64_t songTicks = uint64_t(notes / kTracks) * step;
        uint64_t at = 0;
        for (int i = 0; i < syllables; ++i) {
            const uint64_t tick = songTicks * uint64_t(i) / uint64_t(syllables);
            putVlq(data, uint32_t(tick - at));
            at = tick;
            const std::string text = "syl" + std::to_string(i % 100) + (i % 8 == 7 ? "\r" : " ");
            data += std::string {static_cast<char>(0xFF), 0x05};
            putVlq(data, uint32_t(text.size()));
            data += text;
        }
        putTrack(out, data);
    }
    return out;
}

// The reading a sequencer's open does: the song, then its words. Arg: the
// number of syllables (0: a song without words).
void BM_OpenMillionNotesWords(benchmark::State& state)
{
    const auto syllables = static_cast<int>(state.range(0));
    const std::string path = writeTemp("million-words", generateSong(1000000, 24, syllables));
    size_t found = 0;
    for (auto _ : state) {
        midi::Song song;
        std::string error;
        if (midi::loadSong(path, song, error) != midi::LoadError::None)
            state.SkipWithError(error.c_str());
        const midi::Words words = midi::readWords(song);
        found = words.syllables.size();
        benchmark::DoNotOptimize(words);
    }
    state.counters["syllables"] = static_cast<double>(found);
    std::filesystem::remove(path);
}
BENCHMARK(BM_OpenMillionNotesWords)->Arg(0)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A song with a note on every syllable, played in real time into the
// capture output: for each syllable, the time from its note reaching the
// output to the window showing it sung.
void BM_SyllableToHighlight(benchmark::State& state)
{
    constexpr int kCount = 60;
    constexpr uint32_t kStep = 96; // 100 ms at 480 ticks a quarter, 120 a minute
    std::string notes, words;
    for (int i = 0; i < kCount; ++i) {
        putVlq(notes, i == 0 ? 0 : kStep / 2);
        notes += std::string {static_cast<char>(0x90), static_cast<char>(60 + i % 12), 100};
        putVlq(notes, kStep / 2);
        notes += std::string {static_cast<char>(0x80), static_cast<char>(60 + i % 12), 0};
        putVlq(words, i == 0 ? 0 : kStep);
        const std::string text = "la" + std::string(i % 4 == 3 ? "\r" : " ");
        words += std::string {static_cast<char>(0xFF), 0x05, static_cast<char>(text.size())} + text;
    }
    std::string smf = "MThd";
    putBe32(smf, 6);
    smf += std::string {0, 1, 0, 2, 1, static_cast<char>(0xE0)};
    putTrack(smf, notes);
    putTrack(smf, words);
    const std::string path = writeTemp("karaoke", smf);

    multimedia::Choices choices;
    choices.overrides.midiOutput = "capture";
    const auto capture = midi::sharedCapture();
    double worstMs = 0, sumMs = 0;
    int measured = 0;
    for (auto _ : state) {
        capture->clear();
        auto device = mci::makeSequencerDevice(choices);
        if (const mci::Result r = device->open(path); !r.ok()) {
            state.SkipWithError(r.text.c_str());
            break;
        }
        testing_support::WordsWindow window = testing_support::wordsWindowOf(*device);
        if (!window) {
            state.SkipWithError("no lyrics window");
            break;
        }
        std::vector<std::chrono::steady_clock::time_point> shown(kCount + 1);
        window->onSung = [&](size_t sung) {
            if (sung <= kCount)
                shown[sung] = std::chrono::steady_clock::now();
        };
        device->play();
        window->playing();
        QElapsedTimer elapsed;
        elapsed.start();
        while (window->sung() < kCount && elapsed.elapsed() < 15000) {
            QEventLoop loop;
            QTimer::singleShot(50, &loop, &QEventLoop::quit);
            loop.exec();
        }
        int on = 0;
        for (const midi::CapturedMessage& m : capture->messages()) {
            if ((m.bytes[0] & 0xF0) != 0x90 || ++on > kCount || on == 1)
                continue; // the first syllable shows before the song starts
            const double ms = std::chrono::duration<double, std::milli>(shown[on] - m.sent).count();
            worstMs = std::max(worstMs, std::abs(ms));
            sumMs += std::abs(ms);
            ++measured;
        }
        window.reset();
        device.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    state.counters["worst_ms"] = worstMs;
    state.counters["mean_ms"] = measured ? sumMs / measured : 0;
    state.counters["goal_ms"] = 30;
    std::filesystem::remove(path);
}
BENCHMARK(BM_SyllableToHighlight)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return bench_support::runWithWidgets(argc, argv);
}
