// A song written to a wave file through the real FluidSynth: the sound as
// set (key, tempo, a silenced channel), whole or not at all.
#include "platform/midi/soundfonts.h"
#include "platform/midi/wave_render.h"
#include "platform/multimedia/choices.h"

#include "tests/support/smf_builder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace smf_builder;

namespace {

std::shared_ptr<const midi::Song> parse(const std::string& bytes)
{
    auto song = std::make_shared<midi::Song>();
    std::string error;
    EXPECT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error));
    return song;
}

// An organ's A4 for a second on channel 1, and a bass's A2 on channel 2.
std::shared_ptr<const midi::Song> organAndBass(bool withBass)
{
    Track organ;
    organ.ev(0, {0xC0, 16}).ev(0, {0x90, 69, 100}).ev(1000, {0x80, 69, 0});
    std::vector<Track> tracks {organ.end()};
    if (withBass) {
        Track bass;
        bass.ev(0, {0xC1, 33}).ev(0, {0x91, 45, 100}).ev(1000, {0x81, 45, 0});
        tracks.push_back(bass.end());
    }
    return parse(file(1, 500, tracks));
}

// The samples of a 16-bit stereo wave, left channel, and its rate.
std::vector<float> leftOf(const std::filesystem::path& path, int& rate)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_GE(bytes.size(), 44u);
    EXPECT_EQ(std::string(bytes.data(), 4), "RIFF");
    std::memcpy(&rate, bytes.data() + 24, 4);
    uint32_t data = 0;
    std::memcpy(&data, bytes.data() + 40, 4);
    EXPECT_EQ(data + 44, bytes.size()) << "the header tells the data's size";
    std::vector<float> left;
    for (size_t i = 44; i + 3 < bytes.size(); i += 4) {
        int16_t v;
        std::memcpy(&v, bytes.data() + i, 2);
        left.push_back(v / 32768.0f);
    }
    return left;
}

// The strongest of a few frequencies over SAMPLES [FROM, TO).
double strongestOf(const std::vector<float>& s, int rate, size_t from, size_t to, std::vector<double> hz)
{
    double best = 0, bestHz = 0;
    for (double f : hz) {
        double re = 0, im = 0;
        for (size_t i = from; i < to && i < s.size(); ++i) {
            re += s[i] * std::cos(2 * M_PI * f * double(i) / rate);
            im += s[i] * std::sin(2 * M_PI * f * double(i) / rate);
        }
        if (std::hypot(re, im) > best) {
            best = std::hypot(re, im);
            bestHz = f;
        }
    }
    return bestHz;
}

struct WaveRenderTest : ::testing::Test {
    void SetUp() override
    {
        std::string error;
        render.soundfont = midi::findSoundfont(multimedia::Choices {}, error);
        if (render.soundfont.empty())
            GTEST_SKIP() << "no soundfont: " << error;
    }
    testing_support::TempDir dir;
    midi::WaveRender render;
};

} // namespace

// Three semitones up and at half the tempo the organ's A4 sounds as C5 for
// two seconds, the reverb dies away after it, and a silenced bass leaves the
// very samples the song without a bass gives.
TEST_F(WaveRenderTest, TheFileSoundsAsSetAndASilencedChannelIsNotInIt)
{
    render.transpose = 3;
    render.tempo = 50;
    render.silenced = 0x0002;
    std::string error;
    std::vector<double> progress;
    const auto told = [&](double done) {
        progress.push_back(done);
        return true;
    };
    ASSERT_TRUE(midi::writeWave(organAndBass(true), render, (dir / "a.wav").string(), false, told, error)) << error;
    render.silenced = 0;
    ASSERT_TRUE(midi::writeWave(organAndBass(false), render, (dir / "b.wav").string(), false, {}, error)) << error;
    int rate = 0;
    const std::vector<float> a = leftOf(dir / "a.wav", rate), b = leftOf(dir / "b.wav", rate);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(a, b);
    EXPECT_EQ(strongestOf(a, rate, 22050, 66150, {440.0, 466.2, 523.3, 110.0}), 523.3);
    ASSERT_GT(a.size(), size_t(2.0 * rate));
    EXPECT_GT(std::abs(a[size_t(1.9 * rate)]) + std::abs(a[size_t(1.9 * rate) + 7]), 0.0f) << "still sounding";
    EXPECT_LT(a.size(), size_t(10.0 * rate)) << "the tail ends once silent";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
}

// A cancel, a folder that refuses, and a file already there: nothing left
// behind, the old file untouched, and the reason told.
TEST_F(WaveRenderTest, NothingIsLeftBehindByACancelOrARefusal)
{
    std::string error;
    const auto cancel = [](double) { return false; };
    EXPECT_FALSE(midi::writeWave(organAndBass(true), render, (dir / "c.wav").string(), false, cancel, error));
    EXPECT_EQ(error, "Cancelled.");
    EXPECT_FALSE(midi::writeWave(organAndBass(true), render, (dir / "none" / "d.wav").string(), false, {}, error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    const std::string kept = dir.write("e.wav", "mine");
    EXPECT_FALSE(midi::writeWave(organAndBass(true), render, kept, false, {}, error));
    EXPECT_NE(error.find("exists already"), std::string::npos) << error;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string> {"e.wav"});
    std::ifstream in(kept);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "mine");
    EXPECT_TRUE(midi::writeWave(organAndBass(true), render, kept, true, {}, error)) << error;
}
