// The main window's wiring, end to end: its start state, a click, the timer,
// the context menu, drops, the logo and the closing slide.
#include "tests/app/main_window_fixture.h"

#include "app/about.h"
#include "app/splash.h"
#include "framework/save_dialog.h"
#include "platform/shell/shell.h"
#include "playback/playback_session.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSet>
#include <QTest>
#include <QThread>
#include <QUrl>

namespace {

struct Form1WiringTest : Form1Test {
    void drop(const QStringList& paths)
    {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        mime->setUrls(urls);
        // Qt hands a drop only to the window that took the drag.
        QDragEnterEvent enter(QPoint(200, 100), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QCoreApplication::sendEvent(form.get(), &enter);
        QDropEvent event(QPointF(200, 100), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &event);
        delete mime;
    }
};

} // namespace

TEST_F(Form1WiringTest, StartState)
{
    addFile("a.mid", 1000);
    dir.write("notes.txt", "x");
    std::filesystem::current_path(dir.path());
    form = std::make_unique<TForm1>(QStringList{"quorvana"});
    EXPECT_EQ(media.joinedLog(), "open sequencer");
    EXPECT_EQ(form->windowTitle(), "Quorvana");
    EXPECT_EQ(form->size(), QSize(483, 277));
    EXPECT_TRUE(form->RadioButton3->isChecked());
    EXPECT_TRUE(form->CheckBox1->isChecked());
    EXPECT_EQ(form->Edit1->text(), "");
    EXPECT_EQ(form->Edit2->text(), "");
    EXPECT_FALSE(form->session().following());
    EXPECT_EQ(form->ScrollBar1->maximum(), 100);
    EXPECT_EQ(form->FileListBox1->itemTexts(), QStringList{"a.mid"});
    EXPECT_FALSE(form->FileDrag1->EnableDrop());
    form->FormActivate(form.get());
    EXPECT_TRUE(form->FileDrag1->EnableDrop());
    EXPECT_TRUE(media.log.size() == 1) << "activation without a file opens nothing";
}

TEST_F(Form1WiringTest, ClickTimerAndSeekBarReachThePlayer)
{
    addFile("a.wav", 100000);
    build();
    click("a.wav");
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("a.wav") + "; play; time ms");
    EXPECT_EQ(form->windowTitle(), "a.wav");
    EXPECT_EQ(form->Edit1->text(), "100");
    media.setPosition(1234);
    form->session().tick();
    EXPECT_EQ(form->ScrollBar1->value(), 12);
    EXPECT_EQ(form->Edit2->text(), "1.2");
    media.clearLog();
    form->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(media.joinedLog(), "seek 21200; play");
}

TEST_F(Form1WiringTest, ContextMenuDeletesTheSelectedFileAfterHandingOver)
{
    addFile("a.wav", 100);
    addFile("b.wav", 100);
    build();
    click("a.wav");
    emit form->PopupMenu1->aboutToShow();
    EXPECT_TRUE(form->DeleteFile1->isEnabled());
    EXPECT_TRUE(form->Cancel1->isEnabled());
    media.clearLog();
    form->DeleteFile1->trigger();
    EXPECT_EQ(boxes.at(0), "Attention: Delete this File ?");
    EXPECT_EQ(media.joinedLog(), "stop; seek 0; close; open waveaudio " + path("b.wav") + "; time ms");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.wav"));
    EXPECT_EQ(form->FileListBox1->itemTexts(), QStringList{"b.wav"});
}

// The files a user most wants to throw away are those the device refused:
// with nothing open there is nothing to stop first.
TEST_F(Form1WiringTest, ARefusedFileCanStillBeDeleted)
{
    addFile("a.wav", 100);
    dir.write("broken.wav", "x");
    build();
    click("broken.wav");
    ASSERT_EQ(form->Edit1->text(), "Error");
    form->DeleteFile1->trigger();
    EXPECT_EQ(boxes, std::vector<std::string> {"Attention: Delete this File ?"});
    EXPECT_FALSE(std::filesystem::exists(dir / "broken.wav"));
    EXPECT_TRUE(form->CheckBox1->isChecked()) << "Auto-Advance as it was";
    EXPECT_TRUE(form->session().autoAdvance());
}

TEST_F(Form1WiringTest, DropPlaysTheFirstMediaFileAndMovesTheBrowser)
{
    addFile("here.wav", 100);
    const std::string other = addFile("other/Song.MID", 4000);
    addFile("other/z.wav", 100);
    build();
    form->FormActivate(form.get());
    drop({QString::fromStdString(other), qpath("here.wav")});
    EXPECT_EQ(media.joinedLog(), "close; open sequencer " + other + "; play; time ms");
    EXPECT_EQ(form->windowTitle(), "Song.MID");
    EXPECT_EQ(form->DirectoryListBox1->directory(), qpath("other"));
    EXPECT_EQ(form->FileListBox1->fileName(), QString::fromStdString(other));
    EXPECT_EQ(form->FileDrag1->FileCount(), 2);
    EXPECT_EQ(form->session().currentTrackName(), "");

    media.clearLog();
    dir.write("notes.txt", "x");
    dir.write("My.Song.mid", "x");
    drop({qpath("notes.txt")});
    drop({qpath("My.Song.mid")});
    EXPECT_TRUE(media.log.empty());
}

TEST_F(Form1WiringTest, DropBeforeActivationIsNotDelivered)
{
    const std::string file = addFile("a.wav", 100);
    build();
    drop({QString::fromStdString(file)});
    EXPECT_TRUE(media.log.empty());
}

TEST_F(Form1WiringTest, LogoColoursAndAboutBox)
{
    build();
    form->Label1MouseDown(form->Label1);
    EXPECT_EQ(form->Label1->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    form->Label1Click(form->Label1);
    form->Label1MouseUp(form->Label1);
    EXPECT_EQ(form->Label1->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    ASSERT_EQ(boxes.size(), 1u);
    const std::string text = about::aboutText().toStdString();
    EXPECT_EQ(boxes[0], "Information: " + text);
    EXPECT_EQ(text.rfind("Quorvana 1.2 for Windows 95 and Windows NT\r\rAdvanced Multimediaplayer\r\r"
                         "with the poosibility to send an GM/GS-Reset after each MIDI-song.\r"
                         "Plays the content of whole directories.\r\r"
                         "*** Try the new context-menu by right-click in the file-list! ***\r\r",
                         0),
              0u);
    EXPECT_NE(text.find("quorvana@quorvana.invalid"), std::string::npos);
}

TEST_F(Form1WiringTest, ClosingSlidesDownTwentyPixels)
{
    build();
    form->show();
    form->move(100, 200);
    form->close();
    EXPECT_TRUE(form->isVisible()) << "the slide goes on from the event loop";
    form->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 2000));
    EXPECT_EQ(form->y(), 220) << "a second close started a second slide";
}

TEST_F(Form1WiringTest, LoudspeakerOpensThePanelOnlyWhenTheStopSucceeds)
{
    const std::string marker = path("panel started");
    const std::string panel = dir.write("panel.sh", "#!/bin/sh\necho \"$@\" >> '" + marker + "'\n");
    std::filesystem::permissions(panel, std::filesystem::perms::owner_all);
    const shell::Desktop saved = shell::setDesktop({panel, {panel, "--multimedia"}, {}});
    dir.write("bad.mid", "x");
    addFile("good.wav", 1000);
    build();
    click("bad.mid");
    form->BitBtn1Click(form->BitBtn1);
    // The box comes once the command has ended, from the event loop.
    EXPECT_TRUE(boxes.texts.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.texts.empty(); }, 2000));
    ASSERT_EQ(boxes.texts, std::vector<std::string> {"Kein MCI-Gerät geöffnet."});
    click("good.wav");
    form->BitBtn1Click(form->BitBtn1);
    shell::setDesktop(saved);
    QElapsedTimer wait;
    wait.start();
    while (!std::filesystem::exists(marker) && wait.elapsed() < 5000)
        QThread::msleep(20);
    QThread::msleep(300); // a panel wrongly started by the refused click would have written by now
    EXPECT_EQ(testing_support::readFile(marker), "--multimedia\n") << "one panel, from the second click";
}

// The splash once came out a flat grey slab, its picture painted over.
TEST(Splash, ShowsItsSixteenColourPictureWhole)
{
    TFormSplash splash;
    const auto* picture = splash.findChild<QLabel*>();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->accessibleName(), "Quorvana");
    EXPECT_EQ(picture->geometry(), splash.rect());
    const QImage image = splash.grab().toImage();
    ASSERT_EQ(image.size(), QSize(515, 341));
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32),
              QImage(":/quorvana/splash.bmp").convertToFormat(QImage::Format_RGB32));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    EXPECT_GE(colours.size(), 4);
    EXPECT_LE(colours.size(), 16);
}

// From start to a playing file without a mouse, as the design's toolkit has it.
TEST_F(Form1WiringTest, KeyboardAloneReachesEveryControl)
{
    addFile("a.wav", 100000);
    addFile("b.wav", 100000);
    build();
    form->show();
    QApplication::setActiveWindow(form.get());
    QWidget* play = form->MediaPlayer1->Button(TMPBtnType::btPlay);
    play->setFocus();
    QStringList stops;
    for (int i = 0; i < 12; ++i) {
        QWidget* f = QApplication::focusWidget();
        stops << (f->objectName().isEmpty() ? f->accessibleName() : f->objectName());
        QTest::keyClick(f, Qt::Key_Tab);
    }
    EXPECT_EQ(stops.join(' ').toStdString(),
        (QStringList {"Play", "FileListBox1", "DirectoryListBox1", "DriveComboBox1", "RadioButton3", "ScrollBar1",
            "Edit1", "Edit2", "CheckBox1", "BitBtn1", "Button1", "Play"}
                .join(' ')
                .toStdString()));

    // The reset group is entered at its checked button; the arrows check.
    form->RadioButton3->setFocus();
    QTest::keyClick(form->RadioButton3, Qt::Key_Left);
    EXPECT_TRUE(form->RadioButton2->isChecked());
    QTest::keyClick(form->RadioButton2, Qt::Key_Right);
    EXPECT_TRUE(form->RadioButton3->isChecked());

    // A file plays from the list; the bar's arrows move its one stop, Space presses.
    form->FileListBox1->setFocus();
    QTest::keyClick(form->FileListBox1, Qt::Key_Down);
    EXPECT_EQ(form->windowTitle().toStdString(), "b.wav");
    play->setFocus();
    QTest::keyClick(play, Qt::Key_Right);
    QWidget* pause = form->MediaPlayer1->Button(TMPBtnType::btPause);
    EXPECT_EQ(QApplication::focusWidget(), pause);
    media.clearLog();
    QTest::keyClick(pause, Qt::Key_Space);
    EXPECT_EQ(media.log.back(), "pause");
    form->FileListBox1->setFocus();
    QTest::keyClick(form->FileListBox1, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), pause) << "the bar keeps the stop the arrows moved to";

    // Shift+F10 opens the file list's menu; Enter presses a focused push button.
    QTest::keyClick(form->FileListBox1, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(form->PopupMenu1->isVisible());
    form->PopupMenu1->close();
    int pressed = 0;
    QObject::connect(form->BitBtn1, &QPushButton::pressed, [&] { ++pressed; });
    const shell::Desktop saved = shell::setDesktop({"/bin/true", {"true"}, {}});
    QTest::keyClick(form->BitBtn1, Qt::Key_Return);
    shell::setDesktop(saved);
    EXPECT_EQ(pressed, 1);
}

TEST_F(Form1WiringTest, TheClosedDriveListIsYellowLikeTheLists)
{
    build();
    form->show();
    const QImage drive = form->DriveComboBox1->grab().toImage();
    const QColor face = drive.pixelColor(drive.width() / 2, drive.height() / 2 + 4);
    EXPECT_GT(face.red(), 200);
    EXPECT_GT(face.green(), 200);
    EXPECT_LT(face.blue(), 100) << "the face is yellow like the lists";
}

// A folder of karaoke songs is a folder of songs: listed in any case,
// selected when named on the command line, walked by Prev and by the
// advance with the rest after each song.
TEST_F(Form1WiringTest, KaraokeSongsAreListedSelectedAndWalkedWithTheRest)
{
    addFile("1.mid", 1000);
    addFile("2.KAR", 1000);
    addFile("3.wav", 1000);
    addFile("4.Kar", 1000);
    dir.write("5.kar.txt", "words");
    build({"quorvana", qpath("2.KAR")});
    EXPECT_EQ(form->FileListBox1->itemTexts().join(' ').toStdString(), "1.mid 2.KAR 3.wav 4.Kar");
    form->FormActivate(form.get());
    ASSERT_EQ(media.current()->path, path("2.KAR"));
    EXPECT_EQ(media.current()->type, mci::DeviceType::Sequencer);
    EXPECT_EQ(form->FileListBox1->itemIndex(), 1) << "the song named on the command line is selected";
    ASSERT_TRUE(form->session().playNeighbour(-1));
    EXPECT_EQ(media.current()->path, path("1.mid"));

    QElapsedTimer clock;
    for (const char* next : {"2.KAR", "3.wav"}) {
        media.finish();
        clock.start();
        form->session().tick();
        EXPECT_TRUE(form->session().state() == PlaybackSession::State::Resting) << "after the song before " << next;
        ASSERT_TRUE(QTest::qWaitFor([&] { return media.current()->path == path(next); }, 2500)) << next;
        EXPECT_GE(clock.elapsed(), 1500) << next;
        EXPECT_EQ(form->FileListBox1->fileName(), qpath(next));
    }
    media.finish();
    form->session().tick();
    EXPECT_EQ(media.current()->path, path("4.Kar")) << "no rest after a wave";
}

// An evening's folder: a song clicked and stopped, another of the folder
// opened from the file manager. Auto-Advance walks on from the song from
// outside, onto the one clicked before too, and the window shows each.
TEST_F(Form1WiringTest, AfterASongFromTheFileManagerTheAdvanceWalksOnThroughTheLastClickedOne)
{
    addFile("Hero.kar", 1000);
    addFile("Negra_Sombra.kar", 1000);
    addFile("Zamba.kar", 1000);
    build();
    form->FormActivate(form.get());
    click("Negra_Sombra.kar");
    form->MediaPlayer1->Button(TMPBtnType::btStop)->click();
    form->session().handOver({qpath("Hero.kar")});
    ASSERT_EQ(media.current()->path, path("Hero.kar"));
    EXPECT_EQ(form->FileListBox1->fileName(), qpath("Hero.kar"));

    for (const char* next : {"Negra_Sombra.kar", "Zamba.kar"}) {
        media.finish();
        form->session().tick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return media.current()->path == path(next); }, 2500)) << next;
        EXPECT_EQ(media.current()->state, mci::Mode::Playing) << next;
        EXPECT_EQ(form->windowTitle(), next);
        EXPECT_EQ(form->FileListBox1->fileName(), qpath(next));
    }
}

// The player's own keys move the key and the tempo, and the song keeps them
// in the user's data folder: a new window starts it there again.
TEST_F(Form1WiringTest, TheWindowsKeysMoveTheKeyAndTempoThatTheSongThenKeeps)
{
    const std::string song = addFile("song.kar", 100000);
    mci::SongParts parts;
    parts.words = std::make_shared<midi::Words>();
    parts.digest = "0a1b";
    media.setParts(song, std::move(parts));
    const auto start = [&] {
        build();
        form->show();
        QApplication::setActiveWindow(form.get());
        click("song.kar");
        return &form->session();
    };
    PlaybackSession* session = start();
    QTest::keyClick(form->FileListBox1, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(form->FileListBox1, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(form->FileListBox1, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(session->track().transpose, 2);
    EXPECT_EQ(session->track().tempo, 95);
    form.reset();

    session = start();
    EXPECT_EQ(session->track().transpose, 2);
    EXPECT_EQ(session->track().tempo, 95);
    EXPECT_TRUE(std::filesystem::exists(std::string(getenv("XDG_DATA_HOME")) + "/quorvana/songs.sqlite"));
}
