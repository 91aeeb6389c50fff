// The server's outputs and the player's stream as they change while the
// player runs: a headset unplugged and plugged in again, and one track after
// another on the card's one stream.
#include "tests/platform/audio/sound_server_rig.h"

#include "tests/support/smf_builder.h"

using namespace sound_server_rig;

namespace {

// Whether our one stream plays into SINK within a while.
bool playsInto(const std::string& sink)
{
    return QTest::qWaitFor(
        [&] {
            const auto streams = ourStreams();
            return streams.size() == 1 && sinkName(streams.front()) == sink;
        },
        3000);
}

// Two loud notes, the last one held to the end: its reverb sounds on after
// the song has ended.
std::string song(const std::filesystem::path& path)
{
    smf_builder::Track track;
    track.ev(0, {0xC0, 0x00}).ev(0, {0xB0, 91, 127});
    track.ev(0, {0x90, 60, 120}).ev(240, {0x80, 60, 0}).ev(0, {0x90, 67, 120}).ev(240, {0x80, 67, 0});
    return smf_builder::write(path, smf_builder::file(0, 480, {track.end(0)}));
}

multimedia::Choices output(const std::string& name)
{
    multimedia::Choices choices;
    choices.soundOutput = name;
    return choices;
}

} // namespace

// The server tells the player of a headset unplugged and plugged in again
// under the same name: the next track that chooses it plays there, whether
// the player used it meanwhile or not, and a track that played there goes
// back to it as soon as it is back.
TEST_F(SoundServerTest, AHeadsetPluggedInAgainPlaysTheNextTrack)
{
    NullSink speakers("speakers", "Speakers");
    auto headset = std::make_unique<NullSink>("headset", "Headset");
    run("pactl set-default-sink speakers");
    const std::string wave = sineWave(dir / "long.wav", 440, 0.5, 6000);
    const auto replug = [&] {
        headset.reset();
        headset = std::make_unique<NullSink>("headset", "Headset");
        QTest::qWait(300); // the server tells its clients
    };
    {
        SCOPED_TRACE("plugged in again while the speakers play");
        play(mci::DeviceType::WaveAudio, wave);
        ASSERT_TRUE(playsInto("speakers"));
        replug();
        device->close();
        play(mci::DeviceType::WaveAudio, wave, output("Headset"));
        ASSERT_TRUE(playsInto("headset")) << run("pactl list sink-inputs");
    }
    {
        SCOPED_TRACE("unplugged while it plays, and plugged in again");
        headset->unload();
        EXPECT_TRUE(playsInto("speakers")) << "the default stands in";
        EXPECT_EQ(device->mode(), mci::Mode::Playing);
        replug();
        EXPECT_TRUE(playsInto("headset")) << "the track goes back to it";
        EXPECT_EQ(device->mode(), mci::Mode::Playing);
        device->close();
        play(mci::DeviceType::WaveAudio, wave, output("Headset"));
        EXPECT_TRUE(playsInto("headset")) << run("pactl list sink-inputs");
    }
}

// A headset unplugged soon after a track played there, while the card still
// holds it: the next track, on the default output, plays there under its own
// name.
TEST_F(SoundServerTest, AfterTheHeadsetGoesTheNextTrackPlaysOnTheDefault)
{
    NullSink speakers("speakers", "Speakers");
    NullSink headset("headset", "Headset");
    run("pactl set-default-sink speakers");
    play(mci::DeviceType::WaveAudio, sineWave(dir / "short.wav", 440, 0.5, 300), output("Headset"));
    ASSERT_TRUE(playsInto("headset"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return device->mode() != mci::Mode::Playing; }, 3000));
    device->close();
    headset.unload();
    QTest::qWait(300); // the server tells its clients
    play(mci::DeviceType::WaveAudio, sineWave(dir / "next.wav", 440, 0.5, 3000));
    const auto named = stream("next.wav");
    ASSERT_TRUE(named);
    EXPECT_TRUE(has(*named, "media.name", "next.wav")) << *named;
    EXPECT_EQ(sinkName(*named), "speakers") << *named;
}

// A track that starts while another plays takes the server's stream over,
// and what plays on has no gap.
TEST_F(SoundServerTest, TheHandOverLeavesNoGap)
{
    NullSink speakers("speakers");
    run("pactl set-default-sink speakers");
    Recording recording("speakers", dir / "handover.raw");
    ASSERT_TRUE(recording.started());
    play(mci::DeviceType::WaveAudio, sineWave(dir / "tone.wav", 440, 0.5, 3000));
    ASSERT_TRUE(stream("tone.wav"));
    QTest::qWait(500);
    std::unique_ptr<mci::Device> silence;
    const std::string quiet = sineWave(dir / "quiet.wav", 440, 0, 1000);
    ASSERT_TRUE(mci::openDevice(mci::DeviceType::WaveAudio, quiet, {}, silence).ok());
    ASSERT_TRUE(silence->play().ok());
    const auto named = stream("quiet.wav");
    EXPECT_TRUE(named && has(*named, "media.name", "quiet.wav")) << run("pactl list sink-inputs");
    EXPECT_TRUE(QTest::qWaitFor([&] { return device->mode() != mci::Mode::Playing; }, 5000));
    silence->close();
    const auto level = levels(recording.stop());
    const Span tone = sounding(level);
    ASSERT_GT(tone.last - tone.first, 250u);
    const double lowest = *std::min_element(level.begin() + long(tone.first) + 1, level.begin() + long(tone.last));
    std::printf("[ figures  ] %s: the tone's quietest 10 ms, %.1f dB down\n", driver.c_str(),
        decibels(0.5 / std::sqrt(2.0)) - decibels(lowest));
    EXPECT_EQ(silentWindows(level, tone), 0) << "a dropout in what played on";
}

// On a chosen output that is not the default, the stream of the track that
// takes over opens on that output too, and what plays on has no gap.
TEST_F(SoundServerTest, TheHandOverStaysOnTheChosenOutput)
{
    NullSink speakers("speakers", "Speakers");
    NullSink headset("headset", "Headset");
    run("pactl set-default-sink speakers");
    Recording recording("headset", dir / "handover.raw");
    ASSERT_TRUE(recording.started());
    play(mci::DeviceType::WaveAudio, sineWave(dir / "tone.wav", 440, 0.5, 3000), output("Headset"));
    const auto first = stream("tone.wav");
    ASSERT_TRUE(first);
    EXPECT_EQ(sinkName(*first), "headset");
    QTest::qWait(500);
    std::unique_ptr<mci::Device> silence;
    const std::string quiet = sineWave(dir / "quiet.wav", 440, 0, 1000);
    ASSERT_TRUE(mci::openDevice(mci::DeviceType::WaveAudio, quiet, output("Headset"), silence).ok());
    ASSERT_TRUE(silence->play().ok());
    const auto named = stream("quiet.wav");
    ASSERT_TRUE(named && has(*named, "media.name", "quiet.wav")) << run("pactl list sink-inputs");
    EXPECT_EQ(sinkName(*named), "headset") << *named;
    EXPECT_TRUE(QTest::qWaitFor([&] { return device->mode() != mci::Mode::Playing; }, 5000));
    silence->close();
    const auto level = levels(recording.stop());
    const Span tone = sounding(level);
    ASSERT_GT(tone.last - tone.first, 250u) << "the tone did not reach the chosen output";
    EXPECT_EQ(silentWindows(level, tone), 0) << "a dropout in what played on";
}

// The mixer names the track that plays, though the card is one stream: a
// song that starts while the last one's reverb still sounds, and a wave
// after it, round after round.
TEST_F(SoundServerTest, TheStreamIsNamedAfterTheTrackThatPlays)
{
    NullSink speakers("speakers");
    run("pactl set-default-sink speakers");
    const std::vector<std::pair<mci::DeviceType, std::string>> tracks = {
        {mci::DeviceType::Sequencer, song(dir / "first.mid")},
        {mci::DeviceType::Sequencer, song(dir / "second.mid")},
        {mci::DeviceType::WaveAudio, sineWave(dir / "tone.wav", 440, 0.5, 600)},
    };
    for (int round = 0; round < 2; ++round)
        for (const auto& [type, file] : tracks) {
            const std::string name = std::filesystem::path(file).filename();
            SCOPED_TRACE(name + " in round " + std::to_string(round + 1));
            if (device)
                device->close();
            play(type, file);
            const auto named = stream(name);
            ASSERT_TRUE(named);
            EXPECT_TRUE(has(*named, "media.name", name)) << *named;
            ASSERT_TRUE(QTest::qWaitFor([&] { return device->mode() != mci::Mode::Playing; }, 8000));
            if (type == mci::DeviceType::Sequencer) {
                ASSERT_TRUE(audio::cardAwake()) << "the reverb has faded: the next track has nothing to take over";
            }
        }
}
