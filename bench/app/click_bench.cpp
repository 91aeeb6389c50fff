// From a click on a wave file in the main window's list to the first audio
// buffer that carries the file's samples: the whole road of one track.
#include "app/Unit1.h"
#include "bench/support/first_sound.h"
#include "framework/file_controls.h"
#include "framework/application.h"
#include "platform/mci/wave/wave_device.h"

#include <QLineEdit>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

std::filesystem::path makeFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvana-click-XXXXXX").string();
    const std::filesystem::path dir = mkdtemp(pattern.data());
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
    return dir;
}

void listClickToFirstBuffer(benchmark::State& state)
{
    const std::filesystem::path dir = makeFolder();
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    bench_support::FirstSound probe;
    const mci::Factory saved = mci::setFactory(mci::DeviceType::WaveAudio,
                                               [&probe] { return mci::wave::makeDevice(probe.opener()); });
    {
        TForm1 form({"quorvana"});
        int row = 0;
        for (auto _ : state) {
            form.FileListBox1->setItemIndex(row);
            row = 1 - row;
            state.SetIterationTime(probe.measure([&] { form.FileListBox1Click(form.FileListBox1); }));
            if (form.Edit1->text() == "Error") {
                state.SkipWithError("the wave device refused the file (no audio output?)");
                break;
            }
        }
    }
    mci::setFactory(mci::DeviceType::WaveAudio, saved);
    std::filesystem::current_path(cwd);
    std::filesystem::remove_all(dir);
}
BENCHMARK(listClickToFirstBuffer)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ui::Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
