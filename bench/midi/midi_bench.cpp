// Opening a huge MIDI file, delivery jitter of the playback thread, the
// synthesizer's rendering speed and the cost of opening without a file.
#include "platform/mci/sequencer/sequencer_device.h"
#include "platform/midi/capture_output.h"
#include "platform/midi/player.h"
#include "platform/midi/smf.h"
#include "platform/midi/soundfonts.h"
#include "platform/midi/synth.h"

#include "bench/support/midi_bytes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <malloc.h>
#include <new>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

// Heap bytes in use and their peak, to tell what a song costs per event. The
// file's image and a big song's events are mapped beside the heap and added.
namespace {

using bench_support::putBe32;
using bench_support::putVlq;
using bench_support::writeTemp;

std::atomic<int64_t> heapNow{0};
std::atomic<int64_t> heapPeak{0};

void* counted(size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    const int64_t now = heapNow.fetch_add(static_cast<int64_t>(malloc_usable_size(p))) + static_cast<int64_t>(malloc_usable_size(p));
    int64_t peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void uncounted(void* p)
{
    if (p) {
        heapNow.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)));
        std::free(p);
    }
}
} // namespace

void* operator new(size_t n) { return counted(n); }
void* operator new[](size_t n) { return counted(n); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, size_t) noexcept { uncounted(p); }
void operator delete[](void* p, size_t) noexcept { uncounted(p); }

namespace {

// NOTES notes spread over TRACKS tracks (one channel each, running status,
// note-offs as note-ons of velocity 0) and a tempo change every 1000 notes
// in the first track. Each note lasts STEP ticks and follows the last.
std::string generateSong(int notes, int tracks, uint32_t step)
{
    std::mt19937 rng(1);
    std::string out = "MThd";
    putBe32(out, 6);
    out += std::string{0, 1, 0, static_cast<char>(tracks), 1, static_cast<char>(0xE0)}; // format 1, 480 ticks
    for (int t = 0; t < tracks; ++t) {
        std::string data;
        const int count = notes / tracks;
        for (int i = 0; i < count; ++i) {
            if (t == 0 && i % 1000 == 0) {
                putVlq(data, 0);
                const uint32_t tempo = 400000 + rng() % 200000;
                data += std::string{static_cast<char>(0xFF), 0x51, 3, static_cast<char>(tempo >> 16),
                                    static_cast<char>(tempo >> 8), static_cast<char>(tempo)};
            }
            putVlq(data, 0);
            if (i == 0 || (t == 0 && i % 1000 == 0))
                data.push_back(static_cast<char>(0x90 | (t & 15)));
            data.push_back(static_cast<char>(36 + rng() % 60));
            data.push_back(static_cast<char>(1 + rng() % 126));
            putVlq(data, step);
            data.push_back(data[data.size() - 3 - (step >= 128)]);
            data.push_back(0);
        }
        data += std::string{0, static_cast<char>(0xFF), 0x2F, 0};
        out += "MTrk";
        putBe32(out, static_cast<uint32_t>(data.size()));
        out += data;
    }
    return out;
}

void BM_OpenMillionNotes(benchmark::State& state)
{
    const std::string path = writeTemp("million", generateSong(1000000, 16, 24));
    size_t events = 0;
    int64_t retained = 0, peak = 0;
    uint32_t length = 0;
    for (auto _ : state) {
        const int64_t before = heapNow.load();
        heapPeak.store(before);
        {
            midi::Song song;
            std::string error;
            if (midi::loadSong(path, song, error) != midi::LoadError::None)
                state.SkipWithError(error.c_str());
            events = song.events.size();
            length = song.lengthMs();
            retained = heapNow.load() - before + static_cast<int64_t>(song.events.capacity() * sizeof(midi::Event));
            benchmark::DoNotOptimize(song);
        }
        peak = heapPeak.load() - before + static_cast<int64_t>(std::filesystem::file_size(path) + events * sizeof(midi::Event));
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    state.counters["events"] = static_cast<double>(events);
    state.counters["length_s"] = length / 1000.0;
    state.counters["bytes_per_event"] = static_cast<double>(retained) / static_cast<double>(events);
    state.counters["peak_bytes_per_event"] = static_cast<double>(peak) / static_cast<double>(events);
    std::filesystem::remove(path);
}
BENCHMARK(BM_OpenMillionNotes)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The check made before an open, of a song of a million notes (over 1 MiB):
// answered from its header, well within the window thread's 200 ms.
void BM_CheckMillionNotes(benchmark::State& state)
{
    const std::string path = writeTemp("million-check", generateSong(1000000, 16, 24));
    for (auto _ : state) {
        const mci::Result r = mci::checkSongFile(path);
        if (!r.ok())
            state.SkipWithError(r.text.c_str());
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::filesystem::remove(path);
}
BENCHMARK(BM_CheckMillionNotes)->Unit(benchmark::kMicrosecond);

// The first open in a process of its own, where nothing of the heap or the
// page tables is warm yet: what a user's first click on a huge song costs.
// The floor is a fresh process that only reads the file.
struct FreshRun {
    double ms = 0;
    double faults = 0;
    double residentPerEvent = 0;
};

long minorFaults()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Runs in the child: MODE is "open" or "read".
int runOnce(const std::string& mode, const std::string& path)
{
    const long faults = minorFaults();
    const long resident = residentBytes();
    const auto t0 = std::chrono::steady_clock::now();
    size_t events = 1;
    midi::Song song;
    if (mode == "open") {
        std::string error;
        if (midi::loadSong(path, song, error) != midi::LoadError::None)
            return 1;
        events = song.events.size();
    } else {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes(std::filesystem::file_size(path));
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        benchmark::DoNotOptimize(bytes.data());
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%f %ld %f\n", ms, minorFaults() - faults,
                static_cast<double>(residentBytes() - resident) / static_cast<double>(events));
    return 0;
}

FreshRun fresh(const std::string& mode, const std::string& path)
{
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        return {};
    FreshRun run;
    const std::string command = std::string(self) + " --fresh-" + mode + " " + path;
    if (FILE* child = popen(command.c_str(), "r")) {
        if (std::fscanf(child, "%lf %lf %lf", &run.ms, &run.faults, &run.residentPerEvent) != 3)
            run = {};
        pclose(child);
    }
    return run;
}

void BM_FirstOpenMillionNotesFreshProcess(benchmark::State& state)
{
    const std::string path = writeTemp("million-fresh", generateSong(1000000, 16, 24));
    std::vector<double> floors;
    FreshRun last, floor;
    for (auto _ : state) {
        floor = fresh("read", path);
        last = fresh("open", path);
        if (last.ms == 0) {
            state.SkipWithError("the child could not open the song");
            break;
        }
        floors.push_back(floor.ms);
        state.SetIterationTime(last.ms / 1000.0);
    }
    std::sort(floors.begin(), floors.end());
    state.counters["floor_read_ms"] = floors.empty() ? 0 : floors[floors.size() / 2];
    state.counters["faults"] = last.faults;
    state.counters["floor_faults"] = floor.faults;
    state.counters["resident_bytes_per_event"] = last.residentPerEvent;
    std::filesystem::remove(path);
}
BENCHMARK(BM_FirstOpenMillionNotesFreshProcess)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

// Seeking into the middle of the same song: the chase reads everything before.
void BM_SeekChaseMillionNotes(benchmark::State& state)
{
    const std::string path = writeTemp("million-seek", generateSong(1000000, 16, 24));
    auto song = std::make_shared<midi::Song>();
    std::string error;
    midi::loadSong(path, *song, error);
    auto out = std::make_shared<midi::CaptureOutput>();
    midi::Sequence seq(song, out);
    const midi::TimePoint t0 = midi::Clock::now();
    for (auto _ : state) {
        seq.seek(song->lengthMicros / 2, t0);
        seq.play(t0);
        seq.stop(t0);
        out->clear();
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_SeekChaseMillionNotes)->Unit(benchmark::kMillisecond);

// 30 s of 16 channels with a chord every 4 ms, played in real time into
// the capture output: how late each message arrives.
void BM_DeliveryJitter(benchmark::State& state)
{
    std::string f = "MThd";
    putBe32(f, 6);
    f += std::string{0, 0, 0, 1, 0x01, static_cast<char>(0xF4)}; // 500 ticks: a tick is a millisecond
    std::string data;
    for (int i = 0; i < 30000 / 4; ++i) {
        const char ch = static_cast<char>(i % 16);
        putVlq(data, i == 0 ? 0 : 4);
        data += std::string{static_cast<char>(0x90 | ch), static_cast<char>(48 + i % 24), 100};
        putVlq(data, 0);
        data += std::string{static_cast<char>(0x90 | ch), static_cast<char>(60 + i % 24), 100};
        putVlq(data, 0);
        data += std::string{static_cast<char>(0x80 | ((i + 15) % 16)), static_cast<char>(48 + (i + 23) % 24), 0};
    }
    data += std::string{4, static_cast<char>(0xFF), 0x2F, 0};
    f += "MTrk";
    putBe32(f, static_cast<uint32_t>(data.size()));
    f += data;
    auto song = std::make_shared<midi::Song>();
    std::string error;
    midi::parseSong({reinterpret_cast<const uint8_t*>(f.data()), f.size()}, *song, error);

    // Two threads that never sleep keep both cores busy, as a build would.
    std::atomic<bool> busy{state.range(0) != 0};
    std::vector<std::thread> hogs;
    for (int i = 0; busy && i < 2; ++i)
        hogs.emplace_back([&busy] {
            while (busy.load(std::memory_order_relaxed))
                benchmark::DoNotOptimize(busy);
        });
    // The floor: a plain thread sleeping to the same deadlines, under the same load.
    std::vector<double> floor;
    std::thread plain([&floor] {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 1; i <= 3000; ++i) {
            const auto due = start + std::chrono::milliseconds(i);
            std::this_thread::sleep_until(due);
            floor.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - due).count());
        }
    });
    plain.join();
    std::vector<double> lateness;
    for (auto _ : state) {
        auto out = std::make_shared<midi::CaptureOutput>();
        std::promise<void> ended;
        {
            midi::Player player(song, out);
            player.setEndNotify([&] { ended.set_value(); });
            player.play();
            ended.get_future().wait();
        }
        for (const auto& m : out->messages())
            lateness.push_back(std::chrono::duration<double, std::micro>(m.sent - m.due).count());
    }
    busy = false;
    for (std::thread& t : hogs)
        t.join();
    std::sort(lateness.begin(), lateness.end());
    std::sort(floor.begin(), floor.end());
    state.counters["floor_p99_us"] = floor[floor.size() * 99 / 100];
    state.counters["floor_max_us"] = floor.back();
    const auto at = [&](double q) { return lateness[static_cast<size_t>(q * static_cast<double>(lateness.size() - 1))]; };
    state.counters["messages"] = static_cast<double>(lateness.size());
    state.counters["p50_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = lateness.back();
}
BENCHMARK(BM_DeliveryJitter)->Arg(0)->Arg(1)->ArgName("busy")->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// FluidSynth with the GM soundfont, 32 voices kept busy: seconds of audio
// rendered per second of work.
void BM_SynthRender(benchmark::State& state)
{
    std::string error;
    auto synth = midi::Synth::create(44100, midi::systemSoundfont(), error);
    if (!synth) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<float> buffer(2 * 512);
    uint8_t note = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        for (int block = 0; block < 86; ++block) { // one second
            if (block % 3 == 0) {
                const uint8_t ch = note % 16 == 9 ? 0 : note % 16;
                const uint8_t on[3] = {static_cast<uint8_t>(0x90 | ch), static_cast<uint8_t>(40 + note % 40), 100};
                const uint8_t off[3] = {static_cast<uint8_t>(0x80 | ch), static_cast<uint8_t>(40 + (note + 8) % 40), 0};
                synth->apply(on);
                synth->apply(off);
                ++note;
            }
            synth->render(buffer.data(), 512);
        }
        frames += 86 * 512;
    }
    state.counters["realtime_multiple"] = benchmark::Counter(static_cast<double>(frames) / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SynthRender)->Unit(benchmark::kMillisecond);

// A song of 500,000 note pairs at one instant, closed after half a second
// of play with the built-in synthesizer: the close (the user's next file)
// must not wait for the backlog to drain. Goal: worst close under 200 ms.
void BM_CloseDenseSong(benchmark::State& state)
{
    std::string track;
    for (int i = 0; i < 500000; ++i) {
        const char key = char(36 + i % 48);
        track += std::string {0x00, char(0x90), key, 0x64, 0x00, char(0x80), key, 0x00};
    }
    track += std::string {0x00, char(0xFF), 0x2F, 0x00};
    std::string smf("MThd\0\0\0\6\0\0\0\1\1\xE0MTrk", 18);
    putBe32(smf, static_cast<uint32_t>(track.size()));
    const std::string path = writeTemp("dense", smf + track);
    unsetenv("QUORVANA_MIDI_OUT");
    double worstMs = 0;
    for (auto _ : state) {
        auto device = mci::makeSequencerDevice();
        const mci::Result opened = device->open(path);
        if (!opened.ok()) {
            state.SkipWithError(opened.text.c_str());
            break;
        }
        device->play();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto start = std::chrono::steady_clock::now();
        device.reset();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        worstMs = std::max(worstMs, ms);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["worst_close_ms"] = worstMs;
    state.counters["goal_ms"] = 200;
    std::filesystem::remove(path);
}
BENCHMARK(BM_CloseDenseSong)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// What the main window pays at start-up.
void BM_OpenWithoutFile(benchmark::State& state)
{
    for (auto _ : state) {
        auto device = mci::makeSequencerDevice();
        benchmark::DoNotOptimize(device->open(""));
    }
}
BENCHMARK(BM_OpenWithoutFile);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]).starts_with("--fresh-"))
        return runOnce(std::string(argv[1]).substr(8), argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
