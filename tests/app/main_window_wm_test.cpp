// The main window and a video's window under a real window manager, which
// decides activation as it does for the user: the video's window is the
// device's, and turning to it and back restarts nothing.
#include "app/main_window.h"
#include "platform/mci/device_window.h"
#include "platform/mci/drivers/drivers.h"
#include "platform/mci/video/video_device.h"
#include "platform/multimedia/stored_choices.h"
#include "playback/playback_session.h"
#include "tests/support/message_boxes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_bytes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include "framework/file_controls.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// What a panel or a pager sends for the user's close: _NET_CLOSE_WINDOW.
void askManagerToClose(WId window)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    xcb_connection_t* connection = x11->connection();
    const char name[] = "_NET_CLOSE_WINDOW";
    xcb_intern_atom_reply_t* atom
        = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    ASSERT_NE(atom, nullptr);
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = atom->atom;
    event.data.data32[0] = XCB_CURRENT_TIME;
    event.data.data32[1] = 2; // from a pager, as the user asked
    free(atom);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_send_event(connection, 0, screen->root,
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
        reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

struct WindowTest : ::testing::Test {
    testing_support::TempDir dir;
    std::string clip;
    std::unique_ptr<TForm1> form;
    std::string savedCwd = std::filesystem::current_path().string();

    void SetUp() override
    {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs a display with a window manager";
        mci::registerBuiltinDrivers();
        mci::setFactory(mci::DeviceType::AviVideo, mci::makeVideoDevice); // linked in, not loaded
        clip = (dir / "clip.avi").string();
        const std::string encode = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi"
                                   " -i testsrc=size=160x120:rate=25 -f lavfi -i sine=sample_rate=22050 -t 20 -c:v "
                                   "mjpeg -q:v 10 -c:a pcm_s16le '"
            + clip + "'";
        ASSERT_EQ(std::system(encode.c_str()), 0);
        std::filesystem::current_path(dir.path());
    }

    void TearDown() override
    {
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::string error;
        multimedia::save({}, error);
        std::filesystem::current_path(savedCwd);
    }

    void start()
    {
        form = std::make_unique<TForm1>(QStringList {"quorvana", QString::fromStdString(clip)});
        form->show();
        form->activateWindow();
    }

    // The window over a folder of three waves of SECONDS each, active.
    void startOnWaves(int seconds)
    {
        for (const char* name : {"a.wav", "b.wav", "c.wav"})
            dir.write(name, testing_support::silentWave(seconds));
        form = std::make_unique<TForm1>(QStringList {"quorvana"});
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == form.get(); }, 5000));
    }

    // After the user closed the video's window: stopped as the Stop button
    // stops it, and Play shows the window again from there.
    void expectStoppedThenPlaysFromThere(QWidget* video)
    {
        TMediaPlayer& player = *form->MediaPlayer1;
        PlaybackSession& session = form->session();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !player.Button(TMPBtnType::btStop)->isEnabled(); }, 2000))
            << "the buttons still say playing";
        EXPECT_TRUE(player.Button(TMPBtnType::btPlay)->isEnabled());
        EXPECT_EQ(session.state(), PlaybackSession::State::Stopped);
        const int at = session.positionMs();
        EXPECT_GT(at, 0);
        QTest::qWait(300);
        EXPECT_EQ(session.positionMs(), at) << "it plays on, hidden";
        session.play();
        EXPECT_EQ(session.state(), PlaybackSession::State::Playing);
        EXPECT_TRUE(QTest::qWaitFor([&] { return videoWindow() == video; }, 5000));
        EXPECT_GE(session.positionMs(), at);
        EXPECT_LT(session.positionMs(), at + 1000);
    }

    static QWidget* videoWindow()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->property(mci::kDeviceWindowProperty).toBool() && w->isVisible())
                return w;
        return nullptr;
    }
};

} // namespace

TEST_F(WindowTest, TurningToTheVideoAndBackRestartsNothingAndItCoversNothing)
{
    start();
    ASSERT_TRUE(QTest::qWaitFor([] { return videoWindow() != nullptr; }, 10000));
    QPointer<QWidget> video = videoWindow();
    EXPECT_FALSE(video->frameGeometry().intersects(form->frameGeometry()))
        << "video at " << video->frameGeometry().x() << "," << video->frameGeometry().y() << " form at "
        << form->frameGeometry().x() << "," << form->frameGeometry().y() << " " << form->frameGeometry().width() << "x"
        << form->frameGeometry().height();

    for (int round = 0; round < 3; ++round) {
        video->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == video; }, 5000));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == form.get(); }, 5000));
    }
    QTest::qWait(200);
    EXPECT_FALSE(video.isNull()) << "the file was opened again: its window went";
    EXPECT_GT(form->session().positionMs(), 0);
}

TEST_F(WindowTest, EscapeLeavesTheFullScreenForGood)
{
    multimedia::Choices choices;
    choices.videoSize = multimedia::VideoSize::FullScreen;
    std::string error;
    ASSERT_TRUE(multimedia::save(choices, error)) << error;
    start();
    ASSERT_TRUE(QTest::qWaitFor([] { return videoWindow() && QApplication::activeWindow() == videoWindow(); }, 10000));
    QWidget* video = videoWindow();
    EXPECT_TRUE(video->isFullScreen());
    form->MediaPlayer1->SetAutoEnable(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->session().positionMs() > 0; }, 5000));
    QTest::keyClick(video, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == form.get(); }, 5000));
    QTest::qWait(1500);
    EXPECT_EQ(videoWindow(), nullptr) << "a full screen came back";
    expectStoppedThenPlaysFromThere(video);
    EXPECT_TRUE(video->isFullScreen());
}

TEST_F(WindowTest, ClosingTheVideosWindowStopsTheTrack)
{
    start();
    ASSERT_TRUE(QTest::qWaitFor([] { return videoWindow() != nullptr; }, 10000));
    form->MediaPlayer1->SetAutoEnable(true);
    QWidget* video = videoWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->session().positionMs() > 0; }, 5000));
    // Closed as the user closes a window from the panel: the window manager
    // asks it to. (A key the manager binds raced the manager's own idea of
    // which window is active on a slow machine.)
    askManagerToClose(video->winId());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !video->isVisible(); }, 5000));
    expectStoppedThenPlaysFromThere(video);
}

// A file handed over while a dialog was open once raised the window over the
// dialog, hiding it.
TEST_F(WindowTest, AFileHandedOverLeavesAnOpenDialogOnTopWithTheKeyboard)
{
    form = std::make_unique<TForm1>(QStringList {"quorvana"});
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == form.get(); }, 5000));
    const std::string song = dir.write("song.mid", "not a song");
    // The windows of the screen, bottom first, as the window manager stacks them.
    const auto stacking = [] {
        QProcess xprop;
        xprop.start("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
        xprop.waitForFinished(5000);
        const QString text = QString::fromLatin1(xprop.readAllStandardOutput());
        QList<WId> ids;
        for (const QString& id : text.mid(text.indexOf('#') + 1).split(',', Qt::SkipEmptyParts))
            ids.append(id.trimmed().toULongLong(nullptr, 16));
        return ids;
    };
    QWidget* dialog = nullptr;
    bool onTop = false, active = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                dialog = QApplication::activeModalWidget();
                return dialog && QApplication::activeWindow() == dialog;
            },
            5000));
        form->comeForward();
        form->session().handOver({QString::fromStdString(song)});
        QTest::qWait(1000);
        const QList<WId> order = stacking();
        onTop = order.indexOf(dialog->winId()) > order.indexOf(form->winId());
        active = QApplication::activeWindow() == dialog;
        dialog->close();
    });
    form->Button1->click();
    EXPECT_TRUE(onTop) << "the window covers the dialog";
    EXPECT_TRUE(active) << "the dialog lost the keyboard";
}

// Pressed as the user presses it: XTEST input at LOCAL in WIDGET.
static void clickAt(QWidget* widget, QPoint local, int button)
{
    const QPoint at = widget->mapToGlobal(local);
    const std::string command = "xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click "
        + std::to_string(button);
    ASSERT_EQ(std::system(command.c_str()), 0);
}

// The menu once deleted the file selected before the right-click.
TEST_F(WindowTest, TheMenuActsOnTheFileUnderThePointer)
{
    ASSERT_NO_FATAL_FAILURE(startOnWaves(3));
    ui::FileListBox& list = *form->FileListBox1;
    QWidget* rows = list.viewport();
    const auto entry = [&](int index) { return list.visualItemRect(list.item(index)).center(); };
    ASSERT_EQ(list.itemText(1), "b.wav");
    TMediaPlayer& player = *form->MediaPlayer1;
    const auto state = [&] { return form->session().state(); };

    clickAt(rows, entry(1), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == PlaybackSession::State::Playing; }, 5000));
    QWidget* stop = player.Button(TMPBtnType::btStop);
    clickAt(stop, stop->rect().center(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == PlaybackSession::State::Stopped; }, 5000));

    const QPoint empty(entry(list.count() - 1).x(), rows->height() - 4);
    clickAt(rows, empty, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->PopupMenu1->isVisible(); }, 5000));
    EXPECT_TRUE(list.fileName().endsWith("/b.wav")) << "empty space changed the selection";
    ASSERT_EQ(std::system("xdotool key Escape"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->PopupMenu1->isVisible(); }, 5000));

    clickAt(rows, entry(2), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->PopupMenu1->isVisible(); }, 5000));
    EXPECT_TRUE(list.fileName().endsWith("/c.wav"));
    EXPECT_EQ(state(), PlaybackSession::State::Stopped) << "a right-click started the file";
    testing_support::MessageBoxes boxes;
    clickAt(form->PopupMenu1, form->PopupMenu1->actionGeometry(form->DeleteFile1).center(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !std::filesystem::exists(dir / "c.wav"); }, 5000));
    EXPECT_TRUE(std::filesystem::exists(dir / "b.wav"));
    EXPECT_EQ(boxes, std::vector<std::string>({"Attention: Delete this File ?"}));
}

// The bar's five commands and About from the keyboard, as a keyboard gives
// them, wherever the window has it; a letter still finds a file in the list.
TEST_F(WindowTest, TheBarsKeysWorkFromTheListAndLettersStillFindFiles)
{
    ASSERT_NO_FATAL_FAILURE(startOnWaves(30));
    ui::FileListBox& list = *form->FileListBox1;
    clickAt(list.viewport(), list.visualItemRect(list.item(0)).center(), 1);
    PlaybackSession& session = form->session();
    using State = PlaybackSession::State;
    const auto press = [&](const char* key, auto done) {
        ASSERT_EQ(std::system((std::string("xdotool key ") + key).c_str()), 0);
        EXPECT_TRUE(QTest::qWaitFor(done, 5000)) << key;
    };
    const auto in = [&](State state) { return [&session, state] { return session.state() == state; }; };
    ASSERT_TRUE(QTest::qWaitFor(in(State::Playing), 5000));
    ASSERT_TRUE(list.hasFocus());

    press("ctrl+space", in(State::Paused));
    press("ctrl+space", in(State::Playing));
    press("ctrl+s", in(State::Stopped));
    press("ctrl+p", in(State::Playing));
    // To the end, where Auto-Advance takes the next file.
    press("ctrl+n", [&] { return session.track().file.endsWith("/b.wav") && session.state() == State::Playing; });
    press("ctrl+b", [&] { return session.positionMs() < 1000; });
    press("c", [&] { return list.currentRow() == 2; });

    testing_support::MessageBoxes boxes;
    press("F1", [&] { return !boxes.texts.empty(); });
}

// A 640x480 video at double size, the player in the middle of a screen too
// small for it: the video's window once opened over the whole player. It
// fits the screen's work area, leaves the controls in view and keeps the
// picture's shape.
TEST_F(WindowTest, ADoubleSizeVideoTooLargeForTheScreenLeavesThePlayerInView)
{
    clip = (dir / "640x480.avi").string();
    const std::string encode
        = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc=size=640x480:rate=25"
          " -t 5 -c:v mjpeg -q:v 10 '"
        + clip + "'";
    ASSERT_EQ(std::system(encode.c_str()), 0);
    multimedia::Choices choices;
    choices.videoSize = multimedia::VideoSize::Double;
    std::string error;
    ASSERT_TRUE(multimedia::save(choices, error)) << error;
    form = std::make_unique<TForm1>(QStringList {"quorvana", QString::fromStdString(clip)});
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(area.width() <= 1280 || area.height() <= 960) << "the screen has room for the video and its frame";
    form->move(area.center() - form->rect().center());
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([] { return videoWindow() != nullptr; }, 10000));
    QWidget* video = videoWindow();
    QTest::qWait(500); // the window manager has its say
    const QRect outer = video->frameGeometry();
    const std::string where = QString("video at %1,%2, %3x%4")
                                  .arg(outer.x())
                                  .arg(outer.y())
                                  .arg(outer.width())
                                  .arg(outer.height())
                                  .toStdString();
    EXPECT_TRUE(area.contains(outer)) << where;
    for (QWidget* part : form->findChildren<QWidget*>()) {
        if (!part->isVisible() || !part->property(mci::kKeepVisibleProperty).toBool())
            continue;
        EXPECT_FALSE(outer.intersects(QRect(part->mapToGlobal(QPoint(0, 0)), part->size())))
            << where << " covers " << part->metaObject()->className();
    }
    EXPECT_LE(std::abs(video->width() * 3 - video->height() * 4), 4) << video->width() << "x" << video->height();
}
