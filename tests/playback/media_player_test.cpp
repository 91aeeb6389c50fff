// The button bar: each button sends the session its command, after the
// control's click event, and the buttons follow the session's state.
#include "playback/media_player.h"

#include "playback/playback_session.h"
#include "tests/support/scripted_device.h"

#include <QToolButton>
#include <gtest/gtest.h>

using testing_support::ScriptedMedia;

namespace {

struct MediaPlayerTest : ::testing::Test {
    ScriptedMedia media;
    PlaybackSession session;
    TMediaPlayer player {session};

    void openFile(const char* path, uint32_t length)
    {
        media.add(path, length);
        session.setTracks("/m", {QString(path).mid(3)});
        session.playEntry(0);
        session.stop();
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

} // namespace

TEST_F(MediaPlayerTest, ButtonsRunClickHandlerFirstAndSendTheCommands)
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

TEST_F(MediaPlayerTest, AutoEnableFollowsTheSessionWhoeverCommandsIt)
{
    EXPECT_TRUE(allButtons(true));
    player.SetAutoEnable(true);
    EXPECT_TRUE(allButtons(false)); // nothing open
    openFile("/m/a.mid", 500); // a click: the buttons no longer follow
    EXPECT_TRUE(allButtons(true));
    player.SetAutoEnable(true);
    session.play(); // not through the bar: the bar follows all the same
    EXPECT_FALSE(player.Button(TMPBtnType::btPlay)->isEnabled());
    EXPECT_TRUE(player.Button(TMPBtnType::btStop)->isEnabled());
    session.setAutoEnable(false);
    EXPECT_TRUE(allButtons(true));
}
