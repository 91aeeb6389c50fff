// The player's sound as a Debian desktop's sound server takes it: PipeWire
// with its PulseAudio service (under_sound_server.sh), reached through the
// SDL driver QUORVANA_TEST_AUDIODRIVER names ("pipewire" or "pulseaudio").
// The null sinks' monitors are recorded while the real devices play, and the
// sound itself is checked: what a user hears, what the server's mixer names,
// and what happens when the server's devices change under a playing track.
#include "platform/audio/audio_output.h"
#include "platform/mci/drivers/drivers.h"
#include "platform/mci/mci.h"
#include "platform/mci/video/video_device.h"
#include "tests/support/smf_builder.h"
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

namespace {

constexpr int kRate = 48000; // of the recordings
constexpr int kWindow = kRate / 100; // 10 ms

std::string run(const std::string& command)
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
struct NullSink {
    std::string name;
    std::string module;
    explicit NullSink(const std::string& sinkName) : name(sinkName)
    {
        module = run(
            "pactl load-module module-null-sink sink_name=" + name + " sink_properties=device.description=" + name);
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
std::vector<double> levels(const std::vector<float>& samples)
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

double decibels(double level)
{
    return 20 * std::log10(std::max(level, 1e-9));
}

// Where the sound lies in a recording: its first and last loud window.
struct Span {
    size_t first = 0, last = 0;
    bool empty() const { return last <= first; }
};
Span sounding(const std::vector<double>& level, double threshold = 0.01)
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
int silentWindows(const std::vector<double>& level, Span span)
{
    int silent = 0;
    for (size_t i = span.first + 1; i < span.last; ++i)
        silent += level[i] < 0.01;
    return silent;
}

// The tone's frequency between two windows, by its rising zero crossings.
// From the median time between upward zero crossings: a dropout the
// recorder or a loaded machine makes shifts one interval, not the pitch.
double frequency(const std::vector<float>& samples, size_t fromWindow, size_t toWindow)
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

double meanLevel(const std::vector<double>& level, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += level[i];
    return to > from ? sum / double(to - from) : 0;
}

std::string sineWave(const std::filesystem::path& path, double hz, double amplitude, int ms)
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

bool has(const std::string& block, const std::string& key, const std::string& value)
{
    return block.find(key + " = \"" + value + "\"") != std::string::npos;
}

// The player's streams, as the server lists them.
std::vector<std::string> ourStreams()
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

std::string sinkName(const std::string& block)
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

    void play(mci::DeviceType type, const std::string& file)
    {
        ASSERT_TRUE(std::filesystem::exists(file));
        const mci::Result opened = mci::openDevice(type, file, {}, device);
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

} // namespace

// A wave, a song through the built-in synthesizer and a video's sound track
// reach the sink as they are, in a stream the mixer names after the player,
// the track and its role.
TEST_F(SoundServerTest, EveryKindOfTrackIsHeardAndNamed)
{
    NullSink sink("speakers");
    run("pactl set-default-sink speakers");

    {
        SCOPED_TRACE("the wave");
        const std::string wave = sineWave(dir / "tone.wav", 440, 0.5, 1500);
        Recording recording("speakers", dir / "wave.raw");
        ASSERT_TRUE(recording.started());
        play(mci::DeviceType::WaveAudio, wave);
        const auto named = stream("tone.wav");
        ASSERT_TRUE(named);
        EXPECT_TRUE(has(*named, "application.name", "Quorvana")) << *named;
        EXPECT_TRUE(has(*named, "media.name", "tone.wav")) << *named;
        EXPECT_TRUE(has(*named, "media.role", "music")) << *named;
        EXPECT_TRUE(QTest::qWaitFor([&] { return device->mode() != mci::Mode::Playing; }, 5000));
        QTest::qWait(300);
        const auto samples = recording.stop();
        const auto level = levels(samples);
        const Span tone = sounding(level);
        ASSERT_FALSE(tone.empty()) << "nothing reached the sink";
        EXPECT_NEAR(double(tone.last - tone.first), 150.0, 10.0) << "windows of 10 ms";
        EXPECT_NEAR(frequency(samples, tone.first + 5, tone.last - 5), 440.0, 3.0);
        // A sine of amplitude 0.5: -9 dB.
        EXPECT_NEAR(decibels(meanLevel(level, tone.first + 5, tone.last - 5)), decibels(0.5 / std::sqrt(2.0)), 1.0);
        EXPECT_EQ(silentWindows(level, tone), 0) << "a dropout inside the tone";
        device->close();
        device.reset();
    }
    {
        SCOPED_TRACE("the song");
        // Four short notes, 400 ms apart, at 120 bpm and 480 ticks a quarter.
        smf_builder::Track track;
        track.ev(0, {0xC0, 0x00});
        for (int n = 0; n < 4; ++n)
            track.ev(n == 0 ? 0 : 192, {0x90, 69, 110}).ev(192, {0x80, 69, 0});
        const std::string song = smf_builder::write(dir / "notes.mid", smf_builder::file(0, 480, {track.end(480)}));
        Recording recording("speakers", dir / "song.raw");
        play(mci::DeviceType::Sequencer, song);
        const auto named = stream("notes.mid");
        ASSERT_TRUE(named);
        EXPECT_TRUE(has(*named, "application.name", "Quorvana")) << *named;
        EXPECT_TRUE(has(*named, "media.name", "notes.mid")) << *named;
        EXPECT_TRUE(has(*named, "media.role", "music")) << *named;
        EXPECT_TRUE(QTest::qWaitFor([&] { return device->mode() != mci::Mode::Playing; }, 8000));
        // Until the last note's reverb has faded the card plays on, under
        // the song's name.
        EXPECT_TRUE(QTest::qWaitFor([] { return !audio::cardAwake(); }, 10000));
        const auto level = levels(recording.stop());
        // Onsets: a window well above the one 30 ms before it.
        std::vector<int> onsetsMs;
        for (size_t i = 3; i < level.size(); ++i)
            if (level[i] > 0.02 && level[i] > 4 * level[i - 3]
                && (onsetsMs.empty() || int(i) * 10 - onsetsMs.back() > 200))
                onsetsMs.push_back(int(i) * 10);
        ASSERT_EQ(onsetsMs.size(), 4u) << "the four notes";
        for (int n = 1; n < 4; ++n)
            EXPECT_NEAR(onsetsMs[size_t(n)] - onsetsMs[0], n * 400, 50) << "note " << n;
        device->close();
        device.reset();
    }
    {
        SCOPED_TRACE("the video");
        const std::string clip = (dir / "clip.avi").string();
        ASSERT_EQ(
            std::system(("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc=size=160x120:rate=25"
                         " -f lavfi -i sine=frequency=1000:sample_rate=44100 -t 2 -c:v mjpeg -q:v 10"
                         " -c:a pcm_s16le '"
                + clip + "'")
                            .c_str()),
            0);
        Recording recording("speakers", dir / "video.raw");
        play(mci::DeviceType::AviVideo, clip);
        const auto named = stream("clip.avi");
        ASSERT_TRUE(named);
        EXPECT_TRUE(has(*named, "application.name", "Quorvana")) << *named;
        EXPECT_TRUE(has(*named, "media.name", "clip.avi")) << *named;
        EXPECT_TRUE(has(*named, "media.role", "video")) << *named;
        EXPECT_TRUE(QTest::qWaitFor([&] { return device->mode() != mci::Mode::Playing; }, 8000));
        const auto samples = recording.stop();
        const auto level = levels(samples);
        const Span sound = sounding(level);
        ASSERT_FALSE(sound.empty()) << "the video's sound track did not reach the sink";
        EXPECT_GT(sound.last - sound.first, 150u);
        EXPECT_NEAR(frequency(samples, sound.first + 5, sound.last - 5), 1000.0, 10.0);
    }
}

// The sink the track plays into is unplugged: the server moves the stream
// to the other one and the track plays on there.
TEST_F(SoundServerTest, ATrackPlaysOnWhenItsSinkGoes)
{
    NullSink first("first");
    NullSink second("second");
    run("pactl set-default-sink first");
    const std::string wave = sineWave(dir / "long.wav", 440, 0.5, 5000);
    Recording recording("second", dir / "second.raw");
    play(mci::DeviceType::WaveAudio, wave);
    const auto named = stream();
    ASSERT_TRUE(named);
    EXPECT_EQ(sinkName(*named), "first");
    QTest::qWait(800);

    first.unload();
    const qint64 unloadedAt = recording.elapsedMs();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto streams = ourStreams();
            return streams.size() == 1 && sinkName(streams.front()) == "second";
        },
        3000))
        << run("pactl list sink-inputs");
    QTest::qWait(1500);
    EXPECT_EQ(device->mode(), mci::Mode::Playing);
    const auto level = levels(recording.stop());
    // The second sink hears the tone from soon after the first went.
    const size_t from = size_t(unloadedAt / 10 + 100);
    ASSERT_GT(level.size(), from + 50);
    EXPECT_GT(meanLevel(level, from, from + 50), 0.2) << "the track fell silent with its sink";
}

// The server stops and starts again mid-track: the player is back within a
// second of its return, and the track goes on.
TEST_F(SoundServerTest, ATrackIsHeardAgainSoonAfterTheServerReturns)
{
    auto sink = std::make_unique<NullSink>("speakers");
    run("pactl set-default-sink speakers");
    const std::string wave = sineWave(dir / "long.wav", 440, 0.5, 12000);
    play(mci::DeviceType::WaveAudio, wave);
    ASSERT_TRUE(stream());
    QTest::qWait(800);

    const std::string server = std::getenv("QUORVANA_SOUND_SERVER");
    sink->module.clear(); // goes with the server
    ASSERT_EQ(std::system((server + " stop").c_str()), 0);
    QTest::qWait(500);
    ASSERT_EQ(std::system((server + " start").c_str()), 0);
    QElapsedTimer back;
    back.start();
    sink = std::make_unique<NullSink>("speakers");
    run("pactl set-default-sink speakers");
    Recording recording("speakers", dir / "after.raw");
    const bool heard = QTest::qWaitFor([&] { return ourStreams().size() == 1; }, 5000);
    const qint64 streamAfterMs = back.elapsed();
    std::printf("[ figures  ] %s: a stream again %lld ms after the server's return\n", driver.c_str(),
        static_cast<long long>(streamAfterMs));
    EXPECT_TRUE(heard) << "no stream after the server came back";
    EXPECT_LT(streamAfterMs, 1000);
    QTest::qWait(1000);
    EXPECT_EQ(device->mode(), mci::Mode::Playing);
    uint32_t position = 0;
    device->setTimeFormat(mci::TimeFormat::Milliseconds);
    device->position(position);
    QTest::qWait(500);
    uint32_t later = 0;
    device->position(later);
    EXPECT_GT(later, position + 300) << "the position stands still";
    const auto level = levels(recording.stop());
    const Span tone = sounding(level);
    ASSERT_FALSE(tone.empty()) << "silent after the server's return";
    EXPECT_GT(meanLevel(level, tone.first + 5, tone.last), 0.2);
}

// The desktop turns the player down: the sink hears it 6 dB lower at half
// volume, whatever plays.
TEST_F(SoundServerTest, HalfVolumeIsSixDecibelsDownAtTheSink)
{
    NullSink sink("speakers");
    run("pactl set-default-sink speakers");
    const std::string wave = sineWave(dir / "long.wav", 440, 0.5, 4000);
    Recording recording("speakers", dir / "volume.raw");
    play(mci::DeviceType::WaveAudio, wave);
    ASSERT_TRUE(stream());
    QTest::qWait(1500);
    const qint64 halvedAt = recording.elapsedMs();
    audio::setVolume(0.5);
    QTest::qWait(1500);
    const auto level = levels(recording.stop());
    const Span tone = sounding(level, 0.05);
    const size_t halved = size_t(halvedAt / 10);
    ASSERT_GT(halved, tone.first + 60);
    ASSERT_GT(level.size(), halved + 100);
    const double full = decibels(meanLevel(level, halved - 60, halved - 20));
    const double half = decibels(meanLevel(level, halved + 40, halved + 100));
    std::printf("[ figures  ] %s: half volume is %.2f dB\n", driver.c_str(), half - full);
    EXPECT_NEAR(half - full, -6.02, 0.5);
}
