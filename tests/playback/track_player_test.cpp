// Opening and starting tracks by their four entries, the progress tick, the
// seek bar, automatic advance and the reset sequences.
#include "tests/playback/player_rig.h"

#include "framework/application.h"
#include "framework/errors.h"
#include "playback/reset_sequences.h"

#include <QElapsedTimer>

TEST_F(TrackPlayerTest, ListClickPlaysAndShowsTheTrack)
{
    addFile("song.wav", 12345);
    build();
    click("song.wav");
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("song.wav") + "; play; time ms");
    EXPECT_EQ(rig->Edit1->text(), "12.345");
    EXPECT_EQ(rig->ScrollBar1->maximum(), 123);
    EXPECT_EQ(rig->windowTitle(), "song.wav");
    EXPECT_TRUE(rig->Timer1->isActive());
    EXPECT_EQ(rig->player.currentTrackName(), qpath("song.wav"));
    EXPECT_FALSE(rig->MediaPlayer1->AutoEnable());
}

TEST_F(TrackPlayerTest, WaveOnlyExtensionsOpenAsWaveAudio)
{
    addFile("a.wa~", 100);
    addFile("b.BUN", 100);
    addFile("c.avi", 100);
    addFile("d.rmi", 100);
    build();
    click("a.wa~");
    EXPECT_EQ(rig->MediaPlayer1->DeviceType, TMPDeviceTypes::dtWaveAudio);
    click("b.BUN");
    EXPECT_EQ(rig->MediaPlayer1->DeviceType, TMPDeviceTypes::dtWaveAudio);
    click("c.avi");
    EXPECT_EQ(rig->MediaPlayer1->DeviceType, TMPDeviceTypes::dtAutoSelect);
    EXPECT_NE(media.joinedLog().find("open avivideo " + path("c.avi")), std::string::npos);
    click("d.rmi");
    EXPECT_NE(media.joinedLog().find("open sequencer " + path("d.rmi")), std::string::npos);
}

TEST_F(TrackPlayerTest, RefusedFileShowsErrorAndKeepsTheRest)
{
    addFile("good.mid", 5000);
    dir.write("bad.mid", "not midi");
    build();
    click("good.mid");
    rig->ScrollBar1->setValue(20);
    click("bad.mid");
    EXPECT_EQ(rig->Edit1->text(), "Error");
    EXPECT_EQ(rig->Edit1->toolTip(), "scripted refusal");
    EXPECT_EQ(rig->Edit1->accessibleDescription(), rig->Edit1->toolTip());
    EXPECT_EQ(rig->Edit2->text(), "");
    EXPECT_FALSE(rig->Timer1->isActive());
    EXPECT_EQ(rig->windowTitle(), "good.mid");
    EXPECT_EQ(rig->ScrollBar1->maximum(), 50);
    EXPECT_EQ(rig->player.currentTrackName(), qpath("good.mid"));
    EXPECT_TRUE(rig->MediaPlayer1->AutoEnable());
    EXPECT_FALSE(rig->MediaPlayer1->Button(TMPBtnType::btPlay)->isEnabled());
    EXPECT_TRUE(boxes.empty());

    click("good.mid");
    EXPECT_EQ(rig->Edit1->toolTip(), "") << "the next track clears the reason";
    EXPECT_TRUE(rig->MediaPlayer1->Button(TMPBtnType::btPlay)->isEnabled());
    EXPECT_TRUE(rig->MediaPlayer1->Button(TMPBtnType::btStop)->isEnabled());
}

TEST_F(TrackPlayerTest, TrackShorterThanASeekStep)
{
    addFile("tiny.wav", 99);
    build();
    click("tiny.wav");
    EXPECT_EQ(rig->ScrollBar1->maximum(), 0);
    EXPECT_EQ(rig->Edit1->text(), "0.099");
}

TEST_F(TrackPlayerTest, CommandLineFilePlaysOnEveryActivation)
{
    addFile("a.mid", 1000);
    addFile("b.wav", 2000);
    build();
    startFromCommandLine("b.wav");
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("b.wav") + "; play; time ms");
    EXPECT_EQ(rig->windowTitle(), "b.wav");
    EXPECT_EQ(rig->FileListBox1->itemIndex(), 1);
    EXPECT_TRUE(rig->dropsAccepted);
    EXPECT_TRUE(rig->Timer1->isActive());
    EXPECT_EQ(rig->player.currentTrackName(), "");

    media.setPosition(1500);
    media.clearLog();
    startFromCommandLine("b.wav");
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("b.wav") + "; play; time ms");
}

TEST_F(TrackPlayerTest, CommandLineFileThatFailsKeepsDropsOff)
{
    build();
    startFromCommandLine("missing.mid");
    EXPECT_EQ(rig->Edit1->text(), "Error");
    EXPECT_FALSE(rig->dropsAccepted);
    EXPECT_FALSE(rig->MediaPlayer1->AutoEnable());
    EXPECT_FALSE(rig->Timer1->isActive());
}

TEST_F(TrackPlayerTest, CommandLineFileElsewhereSelectsByNameOnly)
{
    addFile("x.wav", 100);
    addFile("other/x.wav", 300);
    build();
    startFromCommandLine("other/x.wav");
    EXPECT_EQ(rig->FileListBox1->itemIndex(), 0);
    EXPECT_EQ(rig->Edit1->text(), "0.3");
}

TEST_F(TrackPlayerTest, DropsOfMediaPlayAndMoveTheBrowser)
{
    addFile("song.MID", 1000);
    build();
    rig->player.startDropped(qpath("song.MID"), "MID");
    EXPECT_EQ(media.joinedLog(), "close; open sequencer " + path("song.MID") + "; play; time ms");
    EXPECT_EQ(rig->shownInBrowser, QStringList{qpath("song.MID")});
    EXPECT_EQ(rig->FileListBox1->itemIndex(), 0);
    EXPECT_TRUE(rig->Timer1->isActive());

    // The text after the first dot decides: "b.mid" of "a.b.mid" is no media kind.
    media.clearLog();
    rig->player.startDropped(qpath("a.b.mid"), "b.mid");
    rig->player.startDropped(qpath("notes.txt"), "txt");
    EXPECT_TRUE(media.log.empty());
}

TEST_F(TrackPlayerTest, TickFollowsThePosition)
{
    addFile("a.wav", 10000);
    build();
    click("a.wav");
    media.setPosition(1234);
    tick();
    EXPECT_EQ(rig->ScrollBar1->value(), 12);
    EXPECT_EQ(rig->Edit2->text(), "1.2");
    media.setPosition(12345 - 12345 % 100);
    tick();
    EXPECT_EQ(rig->ScrollBar1->value(), 100);
    EXPECT_EQ(rig->Edit2->text(), "10");
}

TEST_F(TrackPlayerTest, SeekBarMovesSeekOnTheNextTick)
{
    addFile("a.wav", 100000);
    build();
    click("a.wav");
    media.clearLog();
    int pos = 10;
    emit rig->ScrollBar1->scroll(ui::ScrollCode::scTrack, pos);
    rig->ScrollBar1->setValue(10);
    EXPECT_TRUE(rig->player.seekPending());
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 1000; play");
    EXPECT_FALSE(rig->player.seekPending());
    // The real scroll bar reports page, line and thumb moves alike.
    media.clearLog();
    rig->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(rig->ScrollBar1->value(), 210);
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 21000; play");
    media.clearLog();
    rig->ScrollBar1->triggerAction(QAbstractSlider::SliderSingleStepSub);
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 20900; play");
}

TEST_F(TrackPlayerTest, LongTracksSeekBeyondSixteenBits)
{
    addFile("long.wav", 4000000);
    build();
    click("long.wav");
    EXPECT_EQ(rig->ScrollBar1->maximum(), 40000);
    rig->ScrollBar1->setSliderPosition(39000);
    rig->ScrollBar1->triggerAction(QAbstractSlider::SliderMove);
    media.clearLog();
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 3900000; play");
}

TEST_F(TrackPlayerTest, PendingSeekSurvivesWhileNoTrackIsOpen)
{
    addFile("a.wav", 100000);
    dir.write("bad.wav", "x");
    build();
    click("bad.wav");
    rig->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    tick(); // nothing open: nothing happens, nothing is reported
    EXPECT_TRUE(rig->player.seekPending());
    EXPECT_TRUE(boxes.empty());
    click("a.wav");
    media.clearLog();
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 10000; play");
}

TEST_F(TrackPlayerTest, AdvanceWalksTheFolderAndStopsAtTheEnd)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 2000);
    addFile("3.avi", 3000);
    build();
    click("1.wav");
    endTrack();
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_EQ(rig->windowTitle(), "2.wav");
    EXPECT_EQ(rig->player.currentTrackName(), qpath("2.wav"));
    EXPECT_EQ(rig->Edit1->text(), "2");
    endTrack();
    EXPECT_EQ(current(), path("3.avi"));
    EXPECT_TRUE(rig->Timer1->isActive());

    media.clearLog();
    endTrack();
    // The selection cannot move past the last file: it opens again and stays.
    EXPECT_EQ(media.joinedLog(), "seek 0; close; open avivideo " + path("3.avi"));
    EXPECT_FALSE(rig->Timer1->isActive());
    EXPECT_EQ(media.current()->state, mci::Mode::Stopped);
    EXPECT_EQ(rig->windowTitle(), "3.avi");
    EXPECT_EQ(rig->ScrollBar1->value(), 30);
}

TEST_F(TrackPlayerTest, NoAdvanceWhenOffOrElsewhere)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 1000);
    build();
    click("1.wav");
    rig->CheckBox1->setChecked(false);
    endTrack();
    EXPECT_EQ(current(), path("1.wav"));
    EXPECT_TRUE(rig->Timer1->isActive());

    rig->CheckBox1->setChecked(true);
    rig->FileListBox1->setItemIndex(-1);
    tick();
    EXPECT_EQ(current(), path("1.wav"));
}

TEST_F(TrackPlayerTest, NextSkipsOnlyWithAutoAdvance)
{
    addFile("1.wav", 5000);
    addFile("2.wav", 5000);
    build();
    click("1.wav");
    rig->MediaPlayer1->Button(TMPBtnType::btNext)->click();
    tick();
    EXPECT_EQ(current(), path("2.wav"));

    rig->CheckBox1->setChecked(false);
    rig->MediaPlayer1->Button(TMPBtnType::btNext)->click();
    tick();
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_EQ(media.current()->positionMs, 5000u);
}

TEST_F(TrackPlayerTest, MidiSongsPauseBeforeTheNextTrack)
{
    addFile("1.mid", 1000);
    addFile("2.wav", 1000);
    addFile("3.wav", 1000);
    build();
    click("1.mid");
    QElapsedTimer clock;
    clock.start();
    endTrack();
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_TRUE(rig->Timer1->isActive());
    clock.restart();
    endTrack();
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_EQ(current(), path("3.wav"));
}

TEST_F(TrackPlayerTest, ClickDuringTheMidiPauseIsReplacedByTheNextItem)
{
    addFile("1.mid", 1000);
    addFile("2.wav", 1000);
    addFile("3.wav", 1000);
    build();
    click("1.mid");
    QTimer::singleShot(300, [&] { click("2.wav"); });
    endTrack();
    EXPECT_EQ(current(), path("3.wav"));
}

TEST_F(TrackPlayerTest, CommandLineTrackAtTheEndPlaysTwice)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 1000);
    build();
    click("1.wav");
    startFromCommandLine("2.wav");
    endTrack();
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_TRUE(rig->Timer1->isActive()) << "played a second time";
    endTrack();
    EXPECT_FALSE(rig->Timer1->isActive());
}

TEST_F(TrackPlayerTest, ZeroLengthTrackAdvancesAtOnce)
{
    addFile("1.wav", 0);
    addFile("2.wav", 1000);
    build();
    click("1.wav");
    tick();
    EXPECT_EQ(current(), path("2.wav"));
}

TEST_F(TrackPlayerTest, ButtonBarStartsTheTimerInMilliseconds)
{
    addFile("1.wav", 1000);
    build();
    media.clearLog();
    rig->MediaPlayer1->Button(TMPBtnType::btStop)->click();
    EXPECT_TRUE(rig->Timer1->isActive());
    EXPECT_EQ(media.joinedLog(), "time ms; stop");
    tick(); // the sequencer holds no track: nothing to follow, nothing reported
    EXPECT_TRUE(boxes.empty());
}

TEST_F(TrackPlayerTest, ChoosingGmWritesBothResetFilesOnce)
{
    build();
    const auto windir = std::filesystem::path(getenv("QUORVANA_WINDIR"));
    std::filesystem::remove_all(windir);
    rig->RadioButton1->setChecked(true);
    EXPECT_EQ(rig->player.windowsDirectory().toStdString(), windir.string());
    EXPECT_EQ(testing_support::readFile(windir / "QUORVAGS.MI_"), reset_sequences::gsFile());
    EXPECT_EQ(testing_support::readFile(windir / "QUORVAGM.MI_"), reset_sequences::gmFile());

    std::filesystem::remove(windir / "QUORVAGS.MI_");
    rig->RadioButton2->setChecked(true);
    EXPECT_EQ(testing_support::readFile(windir / "QUORVAGS.MI_"), reset_sequences::gsFile());
}

TEST_F(TrackPlayerTest, ResetPlaysBeforeListTracksOnly)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 1000);
    build();
    rig->RadioButton1->setChecked(true);
    const std::string gm = rig->player.windowsDirectory().toStdString() + "/QUORVAGM.MI_";
    media.add(gm, 1);
    media.clearLog();
    click("1.wav");
    EXPECT_EQ(media.joinedLog(), "close; open sequencer " + gm + "; play; close; open waveaudio " + path("1.wav")
                                     + "; play; time ms");

    media.clearLog();
    endTrack();
    EXPECT_EQ(media.joinedLog(), "seek 0; close; open sequencer " + gm + "; play; close; open waveaudio "
                                     + path("2.wav") + "; play; time ms");

    // "No Reset" neither opens nor closes the device.
    rig->RadioButton3->setChecked(true);
    media.clearLog();
    rig->player.checkReset();
    EXPECT_TRUE(media.log.empty());
}

TEST_F(TrackPlayerTest, MissingResetFileStopsTheClickWithTheDeviceError)
{
    addFile("1.wav", 1000);
    build();
    rig->RadioButton2->setChecked(true);
    EXPECT_THROW(click("1.wav"), ui::EMCIDeviceError);
    EXPECT_FALSE(rig->MediaPlayer1->IsOpen());
    EXPECT_FALSE(rig->Timer1->isActive());
}

TEST_F(TrackPlayerTest, OnlyAListWithSongsGetsTheSequencerReady)
{
    int sequencer = 0, wave = 0;
    mci::setPreparer(mci::DeviceType::Sequencer, [&](const multimedia::Choices&) { ++sequencer; });
    mci::setPreparer(mci::DeviceType::WaveAudio, [&](const multimedia::Choices&) { ++wave; });
    addFile("a.wav", 100);
    addFile("b.wa~", 100);
    build();
    rig->player.listShown();
    ui::Application::processMessagesFor(500);
    EXPECT_EQ(sequencer, 0);
    EXPECT_EQ(wave, 1) << "each device type once, the wave-only kind on the wave device";

    addFile("c.MID", 100);
    rig->FileListBox1->updateList();
    rig->player.listShown();
    EXPECT_EQ(sequencer, 0) << "not before the window has had its moment";
    ui::Application::processMessagesFor(500);
    EXPECT_EQ(sequencer, 1);
    mci::setPreparer(mci::DeviceType::Sequencer, {});
    mci::setPreparer(mci::DeviceType::WaveAudio, {});
}
