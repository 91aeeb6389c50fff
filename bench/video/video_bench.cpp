// Playing AVI video: the CPU a 640x480, 25 fps, 10 s file costs the device
// in real-time playback (decoding, conversion, painting, sound) against the
// ffmpeg command decoding the same file to nothing, measured beside it; the
// frames dropped; and
// the time from play to the first picture on screen; and the open of files
// whose headers claim what they do not hold, or that hold nothing but zeros
// after them.
//
// The files are made once with the ffmpeg command and kept in the temporary
// folder (Cinepak encodes slowly: one second is made and repeated).
#include "bench/support/qt_bench_main.h"
#include "platform/mci/video/video_device.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using mci::video::VideoDevice;

fs::path cacheDir()
{
    const fs::path dir = fs::temp_directory_path() / "quorvana-video-bench";
    fs::create_directories(dir);
    return dir;
}

bool runFfmpeg(const QStringList& args)
{
    QProcess p;
    p.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-nostdin", "-y"} + args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The 10 s test file for CODEC ("cinepak" or "mpeg4"), with PCM sound.
std::string testFile(const std::string& codec)
{
    const fs::path file = cacheDir() / (codec + "-640x480-25-10s.avi");
    if (fs::exists(file))
        return file.string();
    const QString out = QString::fromStdString(file.string());
    const QStringList source{"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-f", "lavfi", "-i",
                             "sine=frequency=440:sample_rate=44100"};
    const QStringList sound{"-c:a", "pcm_s16le", "-ac", "2"};
    bool ok = false;
    if (codec == "cinepak") {
        const QString second = QString::fromStdString((cacheDir() / "cinepak-1s.avi").string());
        ok = runFfmpeg(source + QStringList{"-t", "1", "-c:v", "cinepak", "-pix_fmt", "rgb24"} + sound + QStringList{second})
             && runFfmpeg({"-stream_loop", "9", "-i", second, "-c", "copy", out + ".part.avi"});
    } else {
        ok = runFfmpeg(source + QStringList{"-t", "10", "-c:v", "mpeg4", "-q:v", "4"} + sound
                       + QStringList{out + ".part.avi"});
    }
    if (!ok)
        return {};
    fs::rename(file.string() + ".part.avi", file);
    return file.string();
}

double cpuSeconds(const rusage& r)
{
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec)
           + static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return cpuSeconds(r);
}

// Runs the event loop until PRED holds, looking again every few milliseconds.
void runUntil(const std::function<bool()>& pred)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (pred())
            loop.quit();
    });
    poll.start(2);
    if (!pred())
        loop.exec();
}

// CPU of the ffmpeg command decoding FILE, sound and picture, to nothing:
// the least any player of the file can spend. The best of three.
double decodeAloneCpuSeconds(const std::string& file)
{
    const std::string exe = QStandardPaths::findExecutable("ffmpeg").toStdString();
    double best = -1;
    for (int i = 0; i < 3; ++i) {
        const char* argv[] = {"ffmpeg", "-nostdin", "-loglevel", "error", "-i", file.c_str(), "-f", "null", "-", nullptr};
        pid_t pid = 0;
        if (exe.empty() || posix_spawn(&pid, exe.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            return -1;
        int status = 0;
        rusage r{};
        wait4(pid, &status, 0, &r);
        const double cpu = cpuSeconds(r);
        best = best < 0 ? cpu : std::min(best, cpu);
    }
    return best;
}

// The player's CPU (every thread of this process: decoding, conversion,
// painting, the sound card's thread) against decoding alone, same run.
void BM_PlayWholeFile(benchmark::State& state, const std::string& codec)
{
    const std::string file = testFile(codec);
    if (file.empty()) {
        state.SkipWithError("the ffmpeg command could not make the test file");
        return;
    }
    double cpu = 0;
    mci::video::Statistics st;
    for (auto _ : state) {
        VideoDevice d;
        QEventLoop loop;
        d.setEndNotify([&] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
        if (!d.open(file).ok()) {
            state.SkipWithError("the device refused the test file");
            return;
        }
        const double before = processCpuSeconds();
        d.play();
        loop.exec();
        cpu += processCpuSeconds() - before;
        st = d.statistics();
    }
    const double floor = decodeAloneCpuSeconds(file);
    if (floor <= 0) {
        state.SkipWithError("cannot start ffmpeg");
        return;
    }
    cpu /= static_cast<double>(state.iterations());
    state.counters["cpu_s"] = cpu;
    state.counters["floor_cpu_s"] = floor;
    state.counters["x_floor"] = cpu / floor;
    state.counters["shown"] = static_cast<double>(st.framesShown);
    state.counters["dropped"] = static_cast<double>(st.framesDropped);
    state.counters["converted"] = static_cast<double>(st.framesConverted);
}

// As the player does it: open and play at once, then wait for the picture.
void BM_PlayToFirstPicture(benchmark::State& state, const std::string& codec)
{
    const std::string file = testFile(codec);
    if (file.empty()) {
        state.SkipWithError("the ffmpeg command could not make the test file");
        return;
    }
    double openMs = 0;
    double firstMs = 0;
    for (auto _ : state) {
        VideoDevice d;
        const auto t0 = std::chrono::steady_clock::now();
        if (!d.open(file).ok()) {
            state.SkipWithError("the device refused the test file");
            return;
        }
        const auto t1 = std::chrono::steady_clock::now();
        d.play();
        runUntil([&] { return d.statistics().firstFrameUs >= 0; });
        openMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        firstMs += static_cast<double>(d.statistics().firstFrameUs) / 1000.0;
        d.close();
    }
    state.counters["open_ms"] = openMs / static_cast<double>(state.iterations());
    state.counters["play_to_picture_ms"] = firstMs / static_cast<double>(state.iterations());
}

// A download in progress: the 10 s file cut short a third of the way into
// its movie data, the rest of 2 GB set aside as zeros (sparse, so it costs
// no disk).
std::string downloadInProgress()
{
    const std::string source = testFile("mpeg4");
    if (source.empty())
        return {};
    const fs::path file = cacheDir() / "download-in-progress-2GB.avi";
    fs::copy_file(source, file, fs::copy_options::overwrite_existing);
    fs::resize_file(file, fs::file_size(file) / 3);
    fs::resize_file(file, uint64_t{2} << 30);
    return file.string();
}

// The open runs on the window's thread: the worst one counts.
void timeOpens(benchmark::State& state, const std::string& file)
{
    double worstMs = 0;
    for (auto _ : state) {
        VideoDevice d;
        const auto t0 = std::chrono::steady_clock::now();
        const bool opened = d.open(file).ok();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        worstMs = std::max(worstMs, ms);
        state.PauseTiming();
        if (!opened)
            state.counters["refused"] = 1;
        d.close();
        state.ResumeTiming();
    }
    state.counters["worst_open_ms"] = worstMs;
}

void BM_OpenDownloadInProgress(benchmark::State& state)
{
    const std::string file = downloadInProgress();
    if (file.empty()) {
        state.SkipWithError("the ffmpeg command could not make the test file");
        return;
    }
    timeOpens(state, file);
    fs::remove(file);
}

// The headers of the mpeg4 test file, its RIFF chunk claiming a gigabyte as
// a large recording's does, then nothing: 20 GB set aside for a download
// (sparse), or 48 MB of zeros written out.
std::string headerThenZeros(bool sparse)
{
    const std::string source = testFile("mpeg4");
    if (source.empty())
        return {};
    std::ifstream in(source, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t movi = bytes.find("movi");
    if (movi == std::string::npos || movi < 8)
        return {};
    bytes.resize(movi - 8);
    const uint32_t claimed = (1u << 30) - 8;
    for (int i = 0; i < 4; ++i)
        bytes[4 + i] = static_cast<char>(claimed >> (8 * i));
    const fs::path file = cacheDir() / (sparse ? "header-then-20GB-set-aside.avi" : "header-then-48MB-of-zeros.avi");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!sparse) {
        const std::string zeros(1 << 20, '\0');
        for (int mb = 0; mb < 48; ++mb)
            out << zeros;
    }
    out.close();
    if (sparse)
        fs::resize_file(file, uint64_t {20} << 30);
    return file.string();
}

void BM_OpenHeaderThenZeros(benchmark::State& state, bool sparse)
{
    const std::string file = headerThenZeros(sparse);
    if (file.empty()) {
        state.SkipWithError("the ffmpeg command could not make the test file");
        return;
    }
    timeOpens(state, file);
    fs::remove(file);
}

// The CODEC test file with headers that claim a 4096x2304 picture, as a
// damaged or hand-edited file may: whatever the open does per pixel it does
// for the claim.
std::string claimingHugePicture(const std::string& codec)
{
    const std::string source = testFile(codec);
    if (source.empty())
        return {};
    std::ifstream in(source, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>(v >> (8 * i));
    };
    const size_t avih = bytes.find("avih");
    const size_t strf = bytes.find("strf");
    if (avih == std::string::npos || strf == std::string::npos)
        return {};
    put32(avih + 8 + 32, 4096); // the main header's width and height
    put32(avih + 8 + 36, 2304);
    put32(strf + 8 + 4, 4096); // the picture format's
    put32(strf + 8 + 8, 2304);
    const fs::path file = cacheDir() / (codec + "-claiming-4096x2304.avi");
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    return file.string();
}

void BM_OpenAviClaimingHugePicture(benchmark::State& state, const std::string& codec)
{
    const std::string file = claimingHugePicture(codec);
    if (file.empty()) {
        state.SkipWithError("the ffmpeg command could not make the test file");
        return;
    }
    timeOpens(state, file);
}

} // namespace

BENCHMARK_CAPTURE(BM_OpenAviClaimingHugePicture, cinepak, std::string("cinepak"))
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OpenDownloadInProgress)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_OpenHeaderThenZeros, sparse_20GB, true)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_OpenHeaderThenZeros, written_48MB, false)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_PlayWholeFile, cinepak, std::string("cinepak"))->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PlayWholeFile, mpeg4, std::string("mpeg4"))->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PlayToFirstPicture, cinepak, std::string("cinepak"))->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PlayToFirstPicture, mpeg4, std::string("mpeg4"))->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    return bench_support::runWithWidgets(argc, argv);
}
