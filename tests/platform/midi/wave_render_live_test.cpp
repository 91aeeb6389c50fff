// The saved backing track against the built-in synthesizer playing the same
// song live, as the card is given it: the real FluidSynth on both sides.
#include "platform/audio/audio_output.h"
#include "platform/midi/player.h"
#include "platform/midi/soundfonts.h"
#include "platform/midi/synth_output.h"
#include "platform/midi/wave_render.h"
#include "platform/multimedia/choices.h"

#include "tests/support/smf_builder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace smf_builder;

namespace {

constexpr int kRate = 44100;

// As the wave file rounds.
int16_t pcm(float v)
{
    return int16_t(std::lrint(std::clamp(v, -1.0f, 1.0f) * 32767));
}

// The interleaved samples of a 16-bit stereo wave file.
std::vector<int16_t> samplesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> out(bytes.size() < 44 ? 0 : (bytes.size() - 44) / 2);
    if (!out.empty())
        std::memcpy(out.data(), bytes.data() + 44, out.size() * 2);
    return out;
}

// The first frame that is not silence in 16 bits.
size_t onsetOf(const std::vector<int16_t>& s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == 0)
        ++i;
    return i / 2;
}

} // namespace

// A piano's A4 three semitones up on a quiet channel, with a bass on a
// silenced one, all dry: the file holds the very samples the live
// synthesizer gives the card for the same settings, within rounding, once
// the two are lined up (FluidSynth starts a note at a step of 64 frames of
// its own, wherever the card's buffers fall).
TEST(WaveRenderLiveTest, TheFileIsWhatTheSynthesizerPlaysLive)
{
    std::string error;
    const std::string soundfont = midi::findSoundfont(multimedia::Choices {}, error);
    if (soundfont.empty())
        GTEST_SKIP() << "no soundfont: " << error;
    Track t;
    // FluidSynth modulates the reverb's and the chorus's delay lines on the
    // synthesizer's own clock, so that what rings there differs with how
    // long it has run, live from one play to the next. The soundfont's
    // presets send to both whatever CC 91 and 93 say: a send generator
    // offset by -1000 (SoundFont NRPN 120, data 8192 - 1000) leaves them dry.
    for (int ch = 0; ch < 2; ++ch)
        for (int generator : {15, 16}) // the chorus and reverb sends
            t.ev(0, {0xB0 | ch, 99, 120})
                .ev(0, {0xB0 | ch, 98, generator})
                .ev(0, {0xB0 | ch, 38, 24})
                .ev(0, {0xB0 | ch, 6, 56});
    t.ev(0, {0xC0, 0}).ev(0, {0xC1, 33}).ev(0, {0xB0, 7, 127});
    t.ev(0, {0x91, 45, 127}).ev(0, {0x90, 69, 127}).ev(1300, {0x80, 69, 0}).ev(0, {0x81, 45, 0}).end();
    const std::string bytes = file(0, 500, {t});
    auto song = std::make_shared<midi::Song>();
    ASSERT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error));

    testing_support::TempDir dir;
    midi::WaveRender render;
    render.soundfont = soundfont;
    render.transpose = 3;
    render.silenced = 0x0002;
    render.quiet = 0x0001;
    const std::string path = (dir / "song.wav").string();
    ASSERT_TRUE(midi::writeWave(song, render, path, false, {}, error)) << error;
    const std::vector<int16_t> saved = samplesOf(path);

    // Live, through the player and the card, set as the singer sets them.
    std::shared_ptr<midi::SynthOutput> out = midi::SynthOutput::open(soundfont, "", error);
    ASSERT_NE(out, nullptr) << error;
    std::vector<float> heard(2 * 3 * kRate);
    std::atomic<size_t> filled {0};
    audio::setTap([&](const float* frames, int count) {
        const size_t at = filled.load(std::memory_order_relaxed);
        const size_t n = std::min(heard.size() - at, size_t(2 * count));
        std::copy_n(frames, n, heard.begin() + long(at));
        filled.store(at + n, std::memory_order_release);
    });
    {
        midi::Player player(song, out);
        player.setTranspose(3);
        player.setSilenced(0x0002);
        player.setQuiet(0x0001);
        player.play();
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (filled.load(std::memory_order_acquire) < size_t(2 * 1.5 * kRate)
            && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
    }
    audio::setTap({});
    std::vector<int16_t> live(filled.load(std::memory_order_acquire));
    std::transform(heard.begin(), heard.begin() + long(live.size()), live.begin(), pcm);

    // The held notes, before the note-off whose place live depends on when
    // the player's thread woke.
    const size_t window = kRate;
    const size_t s0 = onsetOf(saved), l0 = onsetOf(live);
    ASSERT_LE(2 * (s0 + window), saved.size()) << "the file sounds";
    ASSERT_LE(2 * (l0 + window + 64), live.size()) << "the card was given the song";
    int peak = 0;
    for (size_t i = 2 * s0; i < 2 * (s0 + window); ++i)
        peak = std::max(peak, std::abs(int(saved[i])));
    ASSERT_GT(peak, 500) << "the piano sounds";
    int best = INT32_MAX;
    int shift = 0;
    for (int d = -64; d <= 64; ++d) {
        if (int64_t(l0) + d < 0)
            continue;
        int worst = 0;
        for (size_t i = 0; i < 2 * window && worst < best; ++i)
            worst = std::max(worst, std::abs(saved[2 * s0 + i] - live[size_t(2 * (int64_t(l0) + d)) + i]));
        if (worst < best) {
            best = worst;
            shift = d;
        }
    }
    EXPECT_LE(best, 1) << "LSB apart at the best of offsets " << shift << " frames from the onsets";
    EXPECT_EQ(shift, 0) << "the first sounding frames line the two up";
}
