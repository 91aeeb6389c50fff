#pragma once
// The sound server's side of the sound tests: PipeWire with its PulseAudio
// service (under_sound_server.sh), reached through the SDL driver
// QUORVANA_TEST_AUDIODRIVER names ("pipewire" or "pulseaudio"). Null sinks
// stand for the outputs; their monitors are recorded, and the server's list
// of streams says what its mixer shows.
#include "platform/audio/audio_output.h"
#include "platform/mci/drivers/drivers.h"
#include "platform/mci/mci.h"
#include "platform/mci/video/video_device.h"
#include "tests/support/temp_dir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <optional>

namespace sound_server_rig {

constexpr int kRate = 48000; // of the recordings
constexpr int kWindow = kRate / 100; // 10 ms

inline std::string run(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// A sink that plays into nothing, its monitor recordable; unloaded at the end.
// SDL lists it by its description, the sink's name unless given.
struct NullSink {
    std::string name;
    std::string module;
    explicit NullSink(const std::string& sinkName, const std::string& description = {}) : name(sinkName)
    {
        module = run("pactl load-module module-null-sink sink_name=" + name
            + " sink_properties=device.description=" + (description.empty() ? name : description));
        module.erase(module.find_last_not_of("\n") + 1);
    }
    ~NullSink() { unload(); }
    void unload()
    {
        if (!module.empty())
            run("pactl unload-module " + module);
        module.clear();
    }
};

// The sink's monitor as parecord takes it down, mono float.
class Recording {
public:
    Recording(const std::string& sink, const std::filesystem::path& file) : file_(file)
    {
        process_.start(QStringLiteral("parecord"),
            {QStringLiteral("--device=%1.monitor").arg(QString::fromStdString(sink)), QStringLiteral("--raw"),
                QStringLiteral("--format=float32le"), QStringLiteral("--rate=%1").arg(kRate),
                QStringLiteral("--channels=2"), QStringLiteral("--latency-msec=10"),
                QString::fromStdString(file.string())});
        started_ = process_.waitForStarted(5000);
        clock_.start();
        // Recording once its stream runs: the file has its first samples.
        started_ = started_
            && QTest::qWaitFor(
                [&] { return std::filesystem::exists(file) && std::filesystem::file_size(file) > 0; }, 5000);
        startedAtMs_ = clock_.elapsed();
    }
    ~Recording() { stop(); }

    // Milliseconds since the recording began.
    qint64 elapsedMs() const { return clock_.elapsed() - startedAtMs_; }

    // The left channel: a mono track plays the same on both.
    std::vector<float> stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            process_.waitForFinished(5000);
        }
        std::vector<float> samples;
        std::ifstream in(file_, std::ios::binary);
        float frame[2];
        while (in.read(reinterpret_cast<char*>(frame), sizeof frame))
            samples.push_back(frame[0]);
        return samples;
    }
    bool started() const { return started_; }

private:
    std::filesystem::path file_;
    QProcess process_;
    QElapsedTimer clock_;
    qint64 startedAtMs_ = 0;
    bool started_ = false;
};

// The level of each 10 ms of SAMPLES.
inline std::vector<double> levels(const std::vector<float>& samples)
{
    std::vector<double> out;
    for (size_t at = 0; at + kWindow <= samples.size(); at += kWindow) {
        double sum = 0;
        for (size_t i = at; i < at + kWindow; ++i)
            sum += double(samples[i]) * samples[i];
        out.push_back(std::sqrt(sum / kWindow));
    }
    return out;
}

inline double decibels(double level)
{
    return 20 * std::log10(std::max(level, 1e-9));
}

// Where the sound lies in a recording: its first and last loud window.
struct Span {
    size_t first = 0, last = 0;
    bool empty() const { return last <= first; }
};
inline Span sounding(const std::vector<double>& level, double threshold = 0.01)
{
    Span span;
    for (size_t i = 0; i < level.size(); ++i)
        if (level[i] > threshold) {
            if (span.last == 0 && span.first == 0)
                span.first = i;
            span.last = i;
        }
    return span;
}

// The windows inside SPAN that fall silent: a dropout of a steady tone.
inline int silentWindows(const std::vector<double>& level, Span span)
{
    int silent = 0;
    for (size_t i = span.first + 1; i < span.last; ++i)
        silent += level[i] < 0.01;
    return silent;
}

// The tone's frequency between two windows, by its rising zero crossings.
// From the median time between upward zero crossings: a dropout the
// recorder or a loaded machine makes shifts one interval, not the pitch.
inline double frequency(const std::vector<float>& samples, size_t fromWindow, size_t toWindow)
{
    const size_t from = fromWindow * kWindow, to = std::min(samples.size(), toWindow * kWindow);
    std::vector<double> crossings;
    for (size_t i = from + 1; i < to; ++i)
        if (samples[i - 1] < 0 && samples[i] >= 0)
            crossings.push_back(double(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]));
    std::vector<double> periods;
    for (size_t i = 1; i < crossings.size(); ++i)
        periods.push_back(crossings[i] - crossings[i - 1]);
    if (periods.empty())
        return 0;
    std::nth_element(periods.begin(), periods.begin() + long(periods.size() / 2), periods.end());
    return double(kRate) / periods[periods.size() / 2];
}

inline double meanLevel(const std::vector<double>& level, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += level[i];
    return to > from ? sum / double(to - from) : 0;
}

inline std::string sineWave(const std::filesystem::path& path, double hz, double amplitude, int ms)
{
    SF_INFO info {};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> samples(size_t(44100) * size_t(ms) / 1000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / 44100));
    sf_write_float(f, samples.data(), sf_count_t(samples.size()));
    sf_close(f);
    return path.string();
}

inline bool has(const std::string& block, const std::string& key, const std::string& value)
{
    return block.find(key + " = \"" + value + "\"") != std::string::npos;
}

// The player's streams, as the server lists them.
inline std::vector<std::string> ourStreams()
{
    std::vector<std::string> streams;
    const std::string all = run("pactl list sink-inputs");
    for (size_t at = all.find("Sink Input #"); at != std::string::npos;) {
        const size_t next = all.find("Sink Input #", at + 1);
        const std::string block = all.substr(at, next == std::string::npos ? std::string::npos : next - at);
        if (has(block, "application.name", "Quorvana"))
            streams.push_back(block);
        at = next;
    }
    return streams;
}

inline std::string sinkName(const std::string& block)
{
    const std::string index = [&] {
        const size_t at = block.find("Sink: ");
        return at == std::string::npos ? std::string() : block.substr(at + 6, block.find('\n', at) - at - 6);
    }();
    const std::string sinks = run("pactl list short sinks");
    for (size_t at = 0; at < sinks.size();) {
        const size_t end = sinks.find('\n', at);
        const std::string line = sinks.substr(at, end - at);
        if (line.rfind(index + "\t", 0) == 0) {
            const size_t tab = line.find('\t');
            return line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
        }
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return {};
}

struct SoundServerTest : ::testing::Test {
    testing_support::TempDir dir;
    std::unique_ptr<mci::Device> device;
    std::string driver;

    static void SetUpTestSuite()
    {
        // Before SDL first connects: the driver and the name are taken once.
        if (const char* chosen = std::getenv("QUORVANA_TEST_AUDIODRIVER"))
            setenv("SDL_AUDIODRIVER", chosen, 1);
        audio::setApplicationName("Quorvana");
        mci::registerBuiltinDrivers();
        mci::setFactory(mci::DeviceType::AviVideo, mci::makeVideoDevice); // linked in, not loaded
    }

    void SetUp() override
    {
        if (!std::getenv("QUORVANA_SOUND_SERVER"))
            GTEST_SKIP() << "needs a sound server (under_sound_server.sh)";
        driver = std::getenv("SDL_AUDIODRIVER");
        audio::setVolume(1.0);
    }

    void TearDown() override
    {
        if (device)
            device->close();
        device.reset();
    }

    void play(mci::DeviceType type, const std::string& file, const multimedia::Choices& choices = {})
    {
        ASSERT_TRUE(std::filesystem::exists(file));
        const mci::Result opened = mci::openDevice(type, file, choices, device);
        ASSERT_TRUE(opened.ok()) << opened.text;
        const mci::Result played = device->play();
        ASSERT_TRUE(played.ok()) << played.text;
    }

    // The one stream of ours, once the server lists it alone, named NAME
    // when given; the last one listed when it never is.
    std::optional<std::string> stream(const std::string& name = {}, int timeoutMs = 5000)
    {
        std::optional<std::string> found;
        (void)QTest::qWaitFor(
            [&] {
                const auto streams = ourStreams();
                if (!streams.empty())
                    found = streams.back();
                return streams.size() == 1 && (name.empty() || has(streams.front(), "media.name", name));
            },
            timeoutMs);
        return found;
    }
};

} // namespace sound_server_rig
