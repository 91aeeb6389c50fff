// The media device and the button bar over it.
#include "playback/media_player.h"

#include "framework/errors.h"
#include "playback/playback_session.h"
#include "tests/support/scripted_device.h"

#include <QToolButton>
#include <gtest/gtest.h>

using testing_support::ScriptedMedia;

namespace {

struct MediaPlayerTest : ::testing::Test {
    ScriptedMedia media;
    PlaybackSession session;
    MediaDevice& device = session.device();
    TMediaPlayer player {session};

    void openFile(const char* path, uint32_t length)
    {
        media.add(path, length);
        player.SetFileName(path);
        player.Open();
        media.clearLog();
    }

    bool allButtons(bool enabled)
    {
        for (int b = 0; b < 5; ++b)
            if (player.Button(static_cast<TMPBtnType>(b))->isEnabled() != enabled)
                return false;
        return true;
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

TEST_F(MediaPlayerTest, ClosedDeviceRaisesOnlyWhereCallersExpectIt)
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

TEST_F(MediaPlayerTest, OpenClosesFirstAndRefusalLeavesNothingOpen)
{
    openFile("/m/a.wav", 1000);
    device.fileName = "/m/missing.wav";
    try {
        device.open();
        FAIL();
    } catch (const ui::EMCIDeviceError& e) {
        EXPECT_EQ(e.message(), "scripted refusal");
    }
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio /m/missing.wav");
    EXPECT_FALSE(device.isOpen());
}

TEST_F(MediaPlayerTest, DeviceTypeAndSequencerWithoutFile)
{
    player.SetDeviceType(TMPDeviceTypes::dtSequencer);
    player.AutoOpen = true;
    player.Loaded();
    EXPECT_EQ(media.joinedLog(), "open sequencer");
    media.add("/m/a.wa~", 10);
    player.SetDeviceType(TMPDeviceTypes::dtWaveAudio);
    player.SetFileName("/m/a.wa~");
    player.Open();
    EXPECT_EQ(media.log.back(), "open waveaudio /m/a.wa~");
}

TEST_F(MediaPlayerTest, PlayRewindsAtTheEnd)
{
    openFile("/m/a.mid", 500);
    media.finish();
    device.play();
    EXPECT_EQ(media.joinedLog(), "seek 0; play");
    media.clearLog();
    media.setPosition(100);
    device.play();
    EXPECT_EQ(media.joinedLog(), "play");
}

TEST_F(MediaPlayerTest, ButtonsRunClickHandlerFirstAndPauseToggles)
{
    openFile("/m/a.mid", 500);
    std::vector<TMPBtnType> seen;
    bool skipNext = false;
    player.OnClick = [&](QObject* sender, TMPBtnType button, bool& doDefault) {
        EXPECT_EQ(sender, &player);
        seen.push_back(button);
        media.log.push_back("click");
        if (skipNext)
            doDefault = false;
    };
    player.Button(TMPBtnType::btPlay)->click();
    player.Button(TMPBtnType::btPause)->click();
    player.Button(TMPBtnType::btPause)->click();
    player.Button(TMPBtnType::btNext)->click();
    player.Button(TMPBtnType::btPrev)->click();
    player.Button(TMPBtnType::btStop)->click();
    EXPECT_EQ(media.joinedLog(), "click; play; click; pause; click; resume; click; seek 500; click; seek 0; click; stop");
    skipNext = true;
    media.clearLog();
    player.Button(TMPBtnType::btPlay)->click();
    EXPECT_EQ(media.joinedLog(), "click");
}

TEST_F(MediaPlayerTest, AutoEnableFollowsTheDeviceWhoeverWorksIt)
{
    EXPECT_TRUE(allButtons(true));
    player.SetAutoEnable(true);
    EXPECT_TRUE(allButtons(false)); // nothing open
    openFile("/m/a.mid", 500);
    session.play(); // not through the bar: the bar follows all the same
    EXPECT_FALSE(player.Button(TMPBtnType::btPlay)->isEnabled());
    EXPECT_TRUE(player.Button(TMPBtnType::btStop)->isEnabled());
    session.setAutoEnable(false);
    EXPECT_TRUE(allButtons(true));
}
