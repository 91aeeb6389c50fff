// The player's sound as a Debian desktop's sound server takes it: what a
// user hears, what the server's mixer names, and what happens when the
// server's devices change under a playing track.
#include "tests/platform/audio/sound_server_rig.h"

#include "tests/support/smf_builder.h"

using namespace sound_server_rig;

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
