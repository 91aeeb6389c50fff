// The one media device: what it raises, and how it opens and plays.
#include "playback/media_device.h"

#include "framework/errors.h"
#include "platform/multimedia/choices.h"
#include "tests/support/scripted_device.h"

#include <gtest/gtest.h>

#include <functional>

using testing_support::ScriptedMedia;

namespace {

struct MediaDeviceTest : ::testing::Test {
    ScriptedMedia media;
    MediaDevice device;

    void openFile(const char* path, uint32_t length)
    {
        media.add(path, length);
        device.open(mci::DeviceType::AutoSelect, path, {});
        media.clearLog();
    }
};

void expectNotOpen(const std::function<void()>& call)
{
    try {
        call();
        ADD_FAILURE() << "no error raised";
    } catch (const ui::EMCIDeviceError& e) {
        EXPECT_EQ(e.message(), "Kein MCI-Gerät geöffnet");
    }
}

} // namespace

TEST_F(MediaDeviceTest, ClosedDeviceRaisesOnlyWhereCallersExpectIt)
{
    expectNotOpen([&] { device.play(); });
    expectNotOpen([&] { device.stop(); });
    expectNotOpen([&] { device.setPosition(0); });
    expectNotOpen([&] { device.length(); });
    expectNotOpen([&] { device.pause(); });
    expectNotOpen([&] { device.next(); });
    expectNotOpen([&] { device.previous(); });
    EXPECT_EQ(device.position(), 0);
    device.setTimeFormat(TMPTimeFormats::tfMilliseconds);
    EXPECT_TRUE(media.log.empty());
}

TEST_F(MediaDeviceTest, OpenClosesFirstAndRefusalLeavesNothingOpen)
{
    openFile("/m/a.wav", 1000);
    try {
        device.open(mci::DeviceType::AutoSelect, "/m/missing.wav", {});
        FAIL();
    } catch (const ui::EMCIDeviceError& e) {
        EXPECT_EQ(e.message(), "scripted refusal");
    }
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio /m/missing.wav");
    EXPECT_FALSE(device.isOpen());

    // The sequencer opens alone, and a device by its type.
    media.clearLog();
    device.open(mci::DeviceType::Sequencer, {}, {});
    media.add("/m/a.wa~", 10);
    device.open(mci::DeviceType::WaveAudio, "/m/a.wa~", {});
    EXPECT_EQ(media.joinedLog(), "open sequencer; close; open waveaudio /m/a.wa~");
}

TEST_F(MediaDeviceTest, PlayRewindsAtTheEndAndPauseToggles)
{
    openFile("/m/a.mid", 500);
    media.finish();
    device.play();
    EXPECT_EQ(media.joinedLog(), "seek 0; play");
    media.clearLog();
    media.setPosition(100);
    device.play();
    device.pause();
    device.pause();
    EXPECT_EQ(media.joinedLog(), "play; pause; resume");
}
