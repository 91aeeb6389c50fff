// The server's outputs as they change while the player runs: a headset
// unplugged and plugged in again.
#include "tests/platform/audio/sound_server_rig.h"

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
