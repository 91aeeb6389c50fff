// From a click on a file in the main window's list to the first buffer the
// sound card plays with the file's sound in it: the whole road of one track.
// The first MIDI click runs in a process of its own, as a user's first click
// after start does, with the default soundfont.
#include "app/main_window.h"
#include "bench/support/first_sound.h"
#include "bench/support/song.h"
#include "framework/application.h"
#include "framework/file_controls.h"
#include "platform/mci/drivers/drivers.h"

#include <QLineEdit>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path makeFolder()
{
    std::string pattern = (fs::temp_directory_path() / "quorvana-click-XXXXXX").string();
    const fs::path dir = mkdtemp(pattern.data());
    for (const char* name : {"a.wav", "b.wav"}) {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open((dir / name).c_str(), SFM_WRITE, &info);
        std::vector<float> frames(2 * 44100 * 2);
        for (size_t i = 0; i < frames.size(); ++i)
            frames[i] = 0.3f + 0.2f * std::sin(float(i / 2) * 0.03f);
        sf_writef_float(f, frames.data(), 44100 * 2);
        sf_close(f);
    }
    bench_support::writeSong(dir / "c.mid");
    return dir;
}

void listClickToFirstBuffer(benchmark::State& state)
{
    const fs::path dir = makeFolder();
    const auto cwd = fs::current_path();
    fs::current_path(dir);
    {
        bench_support::FirstSound probe;
        TForm1 form({"quorvana"});
        int row = 0;
        for (auto _ : state) {
            form.FileListBox1->setItemIndex(row);
            row = 1 - row;
            const double seconds = probe.measure([&] { form.FileListBox1Click(form.FileListBox1); });
            if (seconds < 0 || form.Edit1->text() == "Error") {
                state.SkipWithError("the wave device refused the file (no audio output?)");
                break;
            }
            state.SetIterationTime(seconds);
        }
    }
    fs::current_path(cwd);
    fs::remove_all(dir);
}
BENCHMARK(listClickToFirstBuffer)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// In the child: the window comes up in DIR, the user takes WAIT_MS to find
// FILE, and clicks it; with AFTER_REST it plays to its end, the player rests
// long enough to let go of what it holds, and FILE is clicked again. Prints
// the milliseconds from the (last) click to the first sound.
int clickInChild(const fs::path& dir, const QString& file, int waitMs, bool afterRest)
{
    fs::current_path(dir);
    bench_support::FirstSound probe;
    TForm1 form({"quorvana"});
    form.show();
    ui::Application::processMessagesFor(waitMs);
    form.FileListBox1->setItemIndex(form.FileListBox1->itemTexts().indexOf(file));
    double seconds = probe.measure([&] { form.FileListBox1Click(form.FileListBox1); });
    if (afterRest && seconds >= 0) {
        ui::Application::processMessagesFor(6000);
        seconds = probe.measure([&] { form.FileListBox1Click(form.FileListBox1); });
    }
    if (seconds < 0 || form.Edit1->text() == "Error")
        return 1;
    std::printf("%f\n", seconds * 1000.0);
    return 0;
}

double clickInFreshProcess(const fs::path& dir, const std::string& file, int waitMs, bool afterRest)
{
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        return -1;
    const std::string command = std::string(self) + " --click " + file + " " + std::to_string(waitMs) + " "
                                + (afterRest ? "1" : "0") + " '" + dir.string() + "'";
    double ms = -1;
    if (FILE* child = popen(command.c_str(), "r")) {
        if (std::fscanf(child, "%lf", &ms) != 1)
            ms = -1;
        pclose(child);
    }
    return ms;
}

// Args: the file (0 the song, 1 a wave file), how long after the window is
// up the user clicks, and whether the click measured is a second one after a
// rest. For the song: at 0 nothing was made ready yet; at 1000 the
// synthesizer was, because the list shows songs; after the rest it has let
// go of the song's samples and reads them back. For the wave file, the first
// click opens the sound card's libraries.
void firstClickFreshProcess(benchmark::State& state)
{
    const fs::path dir = makeFolder();
    const std::string file = state.range(0) == 0 ? "c.mid" : "a.wav";
    std::vector<double> all;
    for (auto _ : state) {
        const double ms = clickInFreshProcess(dir, file, int(state.range(1)), state.range(2) != 0);
        if (ms < 0) {
            state.SkipWithError("the file did not sound (no soundfont or no audio output?)");
            break;
        }
        all.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
    if (!all.empty())
        state.counters["worst_ms"] = *std::max_element(all.begin(), all.end());
    fs::remove_all(dir);
}
BENCHMARK(firstClickFreshProcess)
    ->ArgNames({"wave", "wait_ms", "after_rest"})
    ->Args({0, 1000, 0})
    ->Args({0, 0, 0})
    ->Args({0, 1000, 1})
    ->Args({1, 1000, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A home of our own: the choices stored there are the defaults.
    std::string home = (fs::temp_directory_path() / "quorvana-click-home-XXXXXX").string();
    const bool child = argc == 6 && std::string(argv[1]) == "--click";
    if (!child && mkdtemp(home.data())) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    }
    ui::Application app(argc, argv);
    mci::registerBuiltinDrivers();
    if (child)
        return clickInChild(argv[5], QString::fromUtf8(argv[2]), std::atoi(argv[3]), std::string(argv[4]) == "1");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(home);
    return 0;
}
