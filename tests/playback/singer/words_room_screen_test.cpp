// The words over the room's screen while the player stays on the host's,
// under a window manager with two screens (under_window_manager.sh
// --two-screens): the room's screen unplugged and plugged back as the window
// system tells of it.
#include "playback/singer/lyrics_window.h"

#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

using singer::LyricsWindow;

namespace {

constexpr int kWaitMs = 5000;

class WordsRoomScreenTest : public testing::Test {
protected:
    using Window = std::unique_ptr<LyricsWindow, LyricsWindow::Disposer>;

    void SetUp() override
    {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs a display with two screens and a window manager";
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        host = QGuiApplication::primaryScreen();
        const QScreen* room = QGuiApplication::screens().at(QGuiApplication::screens().indexOf(host) == 0 ? 1 : 0);
        roomName = room->name();
        roomGeometry = room->geometry();
        roomSize = room->physicalSize();
        player.setWindowTitle("Player");
        player.setGeometry(QRect(host->availableGeometry().topLeft() + QPoint(40, 60), QSize(420, 300)));
        player.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&player));
    }

    void TearDown() override
    {
        if (QGuiApplication::platformName() == "xcb" && QGuiApplication::screens().size() < 2)
            plug();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The words of a song that plays, in their window beside the player's.
    Window open(const QString& roomScreen = {}, const QByteArray& place = {})
    {
        auto words = std::make_shared<midi::Words>();
        words->text = "Sing along\n";
        words->lines = {{0, 10, 0, 1, true}};
        words->syllables = {{1'000'000, 0, 10}};
        Window window(new LyricsWindow(
            "Sing Along", words, [] { return uint64_t(0); }, place));
        window->setRoomScreen(roomScreen);
        window->onRoomScreenChosen = [this](const QString& name) { chosen = name; };
        window->playing();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    static QMenu* screensMenu(LyricsWindow& window)
    {
        for (QAction* action : window.actions())
            if (action->text() == "Full Screen On")
                return action->menu<QMenu*>();
        return nullptr;
    }

    void unplug() { ASSERT_EQ(QProcess::execute("xrandr", {"--delmonitor", roomName}), 0); }
    void plug()
    {
        const QString geometry = QStringLiteral("%1/%2x%3/%4+%5+%6")
                                     .arg(roomGeometry.width())
                                     .arg(int(roomSize.width()))
                                     .arg(roomGeometry.height())
                                     .arg(int(roomSize.height()))
                                     .arg(roomGeometry.x())
                                     .arg(roomGeometry.y());
        ASSERT_EQ(QProcess::execute("xrandr", {"--setmonitor", roomName, geometry, "none"}), 0);
    }

    bool fillsRoom(const LyricsWindow& window) const
    {
        return window.isVisible() && window.isFullScreen() && window.geometry() == roomGeometry;
    }

    QScreen* host = nullptr;
    QString roomName;
    QRect roomGeometry;
    QSizeF roomSize;
    QWidget player;
    QString chosen; // as the views keep it for the next run
};

} // namespace

// Picked from the menu, the room's screen takes the words from the host's,
// the player stays; unplugged, the words come back beside the player in a
// window, and fill it again once it is back.
TEST_F(WordsRoomScreenTest, TheWordsFillTheRoomsScreenWhileItIsThere)
{
    Window window = open();
    const QRect playerWas = player.geometry();
    QMenu* screens = screensMenu(*window);
    ASSERT_NE(screens, nullptr);
    EXPECT_TRUE(screens->menuAction()->isEnabled());
    QStringList names;
    QAction* roomChoice = nullptr;
    for (QAction* choice : screens->actions()) {
        names << choice->text();
        EXPECT_TRUE(choice->isCheckable());
        EXPECT_FALSE(choice->isChecked()) << "none chosen yet";
        if (choice->text() == roomName)
            roomChoice = choice;
    }
    EXPECT_EQ(names, (QStringList {host->name(), roomName}));
    ASSERT_NE(roomChoice, nullptr);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F11);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return window->isFullScreen() && window->geometry() == host->geometry(); }, kWaitMs))
        << "none chosen: its own";

    roomChoice->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fillsRoom(*window); }, kWaitMs)) << "at " << window->geometry().x();
    EXPECT_EQ(chosen, roomName);
    EXPECT_TRUE(roomChoice->isChecked());
    EXPECT_EQ(player.geometry(), playerWas);

    unplug();
    const QRect hosts = host->availableGeometry();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !window->isFullScreen() && window->isVisible() && hosts.contains(window->frameGeometry()); },
        kWaitMs))
        << "at " << window->frameGeometry().x() << "," << window->frameGeometry().y();
    EXPECT_FALSE(screensMenu(*window)->menuAction()->isEnabled()) << "one screen left";
    EXPECT_EQ(player.geometry(), playerWas);

    plug();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fillsRoom(*window); }, kWaitMs)) << "at " << window->geometry().x();
    EXPECT_EQ(player.geometry(), playerWas);
}

// The screen chosen in an earlier run is where the next words' full screen
// goes, by the singer's key.
TEST_F(WordsRoomScreenTest, TheChosenScreenTakesTheNextFullScreen)
{
    Window window = open(roomName);
    EXPECT_FALSE(window->isFullScreen());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F11);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fillsRoom(*window); }, kWaitMs)) << "at " << window->geometry().x();
}

// The next song's words, kept full screen on the room's screen while it is
// unplugged, wait for it in a window beside the player; a window on the
// room's screen comes back to the host's when it goes.
TEST_F(WordsRoomScreenTest, TheNextWordsWaitForTheRoomsScreenInAWindow)
{
    QByteArray place;
    {
        Window first = open(roomName);
        first->onPlaceKept = [&](const QByteArray& kept) { place = kept; };
        first->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(first.get()));
        QTest::keyClick(first.get(), Qt::Key_F11);
        ASSERT_TRUE(QTest::qWaitFor([&] { return fillsRoom(*first); }, kWaitMs));
    }
    ASSERT_FALSE(place.isEmpty());
    unplug();
    ASSERT_TRUE(QTest::qWaitFor([] { return QGuiApplication::screens().size() == 1; }, kWaitMs));
    const QRect hosts = host->availableGeometry();
    Window next = open(roomName, place);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return next->isVisible() && !next->isFullScreen() && hosts.contains(next->frameGeometry()); }, kWaitMs))
        << "at " << next->frameGeometry().x() << "," << next->frameGeometry().y();
    plug();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fillsRoom(*next); }, kWaitMs)) << "at " << next->geometry().x();

    next->showNormal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !next->isFullScreen(); }, kWaitMs));
    next->setGeometry(QRect(roomGeometry.topLeft() + QPoint(100, 100), QSize(500, 300)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return roomGeometry.contains(next->geometry().center()); }, kWaitMs));
    unplug();
    EXPECT_TRUE(QTest::qWaitFor([&] { return hosts.contains(next->frameGeometry()); }, kWaitMs))
        << "at " << next->frameGeometry().x() << "," << next->frameGeometry().y();
}
