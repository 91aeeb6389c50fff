// Opening hostile songs in the sequencer as the player does, with its words
// window, and playing them a moment: the longest stretch the window's thread
// was kept from its event loop (the goal: 200 ms at worst), how long until
// the words showed, and the peak memory the open took beside the file.
#include "bench/support/qt_bench_main.h"
#include "platform/mci/sequencer/sequencer_device.h"
#include "platform/midi/capture_output.h"
#include "platform/midi/output.h"

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
#include <functional>

namespace {

using bench_support::putBe32;
using bench_support::putTrack;
using bench_support::putVlq;
using bench_support::writeTemp;
using Clock = std::chrono::steady_clock;

std::string lyric(const std::string& text, uint32_t delta = 0)
{
    std::string e;
    putVlq(e, delta);
    e += std::string {static_cast<char>(0xFF), 0x05};
    putVlq(e, static_cast<uint32_t>(text.size()));
    return e + text;
}

// A second of a note beside a track of the words' events.
std::string songWithWords(std::string words)
{
    std::string out = "MThd";
    putBe32(out, 6);
    out += std::string {0, 1, 0, 2, 1, static_cast<char>(0xE0)};
    std::string note {
        0, static_cast<char>(0x90), 60, 100, static_cast<char>(0x83), 0x60, static_cast<char>(0x80), 60, 0};
    putTrack(out, note);
    putTrack(out, words);
    return out;
}

std::string oneLyric(size_t bytes)
{
    std::string text;
    while (text.size() < bytes)
        text += "karaoke ";
    text.resize(bytes);
    return songWithWords(lyric(text));
}

std::string combiningAccents(int marks)
{
    std::string text = "a";
    for (int i = 0; i < marks; ++i)
        text += "\xCC\x81";
    return songWithWords(lyric(text));
}

// COUNT syllables a tick apart, a line every eight.
std::string syllables(int count)
{
    std::string words;
    for (int i = 0; i < count; ++i)
        words += lyric(i % 8 == 7 ? "la\r" : "la ", i == 0 ? 0 : 1);
    return songWithWords(words);
}

// One-byte lyrics at one tick filling a file of about BYTES.
std::string oneByteLyrics(size_t bytes)
{
    std::string words;
    words.reserve(bytes);
    const std::string one {0, static_cast<char>(0xFF), 0x05, 1, 'x'};
    while (words.size() + 64 < bytes)
        words += one;
    return songWithWords(words);
}

std::string notesAtOneTick(int notes)
{
    std::string data;
    for (int i = 0; i < notes; ++i) {
        const char key = static_cast<char>(36 + i % 48);
        data += i == 0 ? std::string {0, static_cast<char>(0x90), key, 100} : std::string {0, key, 100};
        data += std::string {0, key, 0};
    }
    std::string out = "MThd";
    putBe32(out, 6);
    out += std::string {0, 0, 0, 1, 1, static_cast<char>(0xE0)};
    putTrack(out, data);
    return out;
}

struct Case {
    const char* name;
    std::function<std::string()> bytes;
};

const Case kCases[] = {
    {"lyric_1MB", [] { return oneLyric(1 << 20); }},
    {"lyric_8MB", [] { return oneLyric(8 << 20); }},
    {"accents_200k", [] { return combiningAccents(200000); }},
    {"syllables_1M", [] { return syllables(1000000); }},
    {"zeros_200MB", [] { return std::string(200u << 20, '\0'); }},
    {"notes_500k_one_tick", [] { return notesAtOneTick(500000); }},
    {"one_byte_lyrics_250MB", [] { return oneByteLyrics(250u << 20); }},
};

long peakResidentKb()
{
    long kb = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:"))
            kb = std::atol(line.c_str() + 6);
    return kb;
}

void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Ticks every millisecond on the window's thread: the longest gap between
// two ticks is the longest the event loop was kept waiting.
class Watchdog {
public:
    Watchdog()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        last_ = Clock::now();
        timer_.start();
    }
    double worstMs() const { return worstMs_; }

private:
    void tick()
    {
        const auto now = Clock::now();
        worstMs_ = std::max(worstMs_, std::chrono::duration<double, std::milli>(now - last_).count());
        last_ = now;
    }
    QTimer timer_;
    Clock::time_point last_;
    double worstMs_ = 0;
};

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// As the player's play: a song at its end starts again from its start.
void play(mci::Device& device)
{
    uint32_t position = 0, length = 0;
    device.setTimeFormat(mci::TimeFormat::Milliseconds);
    if (device.position(position).ok() && device.length(length).ok() && position == length)
        device.seekToStart();
    device.play();
}

// Opens and plays until the song has played for a second and a half (a
// song read late waits for it, two minutes at most), opens it again (the
// user's next click) and closes it; all from the event loop.
void BM_OpenHostileSong(benchmark::State& state)
{
    const Case& c = kCases[state.range(0)];
    state.SetLabel(c.name);
    const std::string path = writeTemp(std::string("hostile-") + c.name, c.bytes());
    multimedia::Choices choices;
    // The built-in synthesizer where asked for, loaded ahead as the player
    // does; else the capture.
    if (state.range(1) == 0)
        choices.overrides.midiOutput = "capture";
    std::string error;
    if (!midi::sharedOutput(choices, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    midi::sharedCapture()->clear();
    double worst = 0, readyMs = -1, wordsMs = -1;
    long peakKb = 0;
    std::string refusal;
    for (auto _ : state) {
        resetPeakResident();
        const long before = peakResidentKb();
        std::unique_ptr<mci::Device> device;
        testing_support::WordsWindow words;
        const auto openAndPlay = [&] {
            device = mci::makeSequencerDevice(choices);
            if (const mci::Result r = device->open(path); !r.ok())
                refusal = r.text;
            else
                play(*device);
        };
        Watchdog watchdog;
        QElapsedTimer elapsed;
        elapsed.start();
        QTimer::singleShot(0, openAndPlay);
        while (elapsed.elapsed() < 120000) {
            spin(5);
            const double now = double(elapsed.elapsed());
            if (readyMs < 0 && device && device->mode() != mci::Mode::NotReady)
                readyMs = now;
            // As the singer's views: a window once the song is read.
            if (!words && readyMs >= 0 && device)
                words = testing_support::wordsWindowOf(*device);
            if (wordsMs < 0 && words && words->isVisible())
                wordsMs = now;
            if ((readyMs >= 0 || !refusal.empty()) && now > std::max(readyMs, 0.0) + 1500)
                break;
        }
        QTimer::singleShot(0, openAndPlay);
        spin(500);
        QTimer::singleShot(0, [&] {
            words.reset();
            device.reset();
        });
        spin(100);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        spin(50);
        worst = std::max(worst, watchdog.worstMs());
        peakKb = std::max(peakKb, peakResidentKb() - before);
        midi::sharedCapture()->clear();
    }
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
    state.counters["longest_stall_ms"] = worst;
    state.counters["ready_ms"] = readyMs;
    state.counters["words_shown_ms"] = wordsMs;
    state.counters["peak_MB"] = double(peakKb) / 1024;
    state.counters["refused"] = refusal.empty() ? 0 : 1;
    std::filesystem::remove(path);
}
BENCHMARK(BM_OpenHostileSong)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 6, 1), {0}})
    ->Args({5, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return bench_support::runWithWidgets(argc, argv);
}
