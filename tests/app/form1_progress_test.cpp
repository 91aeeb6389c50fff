// The progress timer, the seek bar, automatic advance and the reset sequences.
#include "tests/app/form1_fixture.h"

#include "playback/reset_sequences.h"

#include <QElapsedTimer>

namespace {

struct ProgressTest : Form1Test {
    void tick() { form->Timer1Timer(form->Timer1); }

    // Plays the open track to its end and lets one tick see it.
    void endTrack()
    {
        media.finish();
        tick();
    }

    std::string current() const { return media.current() ? media.current()->path : std::string("(none)"); }
};

} // namespace

TEST_F(ProgressTest, TickFollowsThePosition)
{
    addFile("a.wav", 10000);
    build();
    click("a.wav");
    media.setPosition(1234);
    tick();
    EXPECT_EQ(form->ScrollBar1->Position(), 12);
    EXPECT_EQ(form->Edit2->text(), "1.2");
    media.setPosition(12345 - 12345 % 100);
    tick();
    EXPECT_EQ(form->ScrollBar1->Position(), 100);
    EXPECT_EQ(form->Edit2->text(), "10");
}

TEST_F(ProgressTest, SeekBarMovesSeekOnTheNextTick)
{
    addFile("a.wav", 100000);
    build();
    click("a.wav");
    media.clearLog();
    int pos = 10;
    form->ScrollBar1Scroll(form->ScrollBar1, vcl::TScrollCode::scTrack, pos);
    form->ScrollBar1->SetPosition(10);
    EXPECT_TRUE(form->SeekPending);
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 1000; play");
    EXPECT_FALSE(form->SeekPending);
    // The real scroll bar reports page, line and thumb moves alike.
    media.clearLog();
    form->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(form->ScrollBar1->Position(), 210);
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 21000; play");
    media.clearLog();
    form->ScrollBar1->triggerAction(QAbstractSlider::SliderSingleStepSub);
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 20900; play");
}

TEST_F(ProgressTest, LongTracksSeekBeyondSixteenBits)
{
    addFile("long.wav", 4000000);
    build();
    click("long.wav");
    EXPECT_EQ(form->ScrollBar1->maximum(), 40000);
    form->ScrollBar1->setSliderPosition(39000);
    form->ScrollBar1->triggerAction(QAbstractSlider::SliderMove);
    media.clearLog();
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 3900000; play");
}

TEST_F(ProgressTest, PendingSeekSurvivesWhileNoTrackIsOpen)
{
    addFile("a.wav", 100000);
    dir.write("bad.wav", "x");
    build();
    click("bad.wav");
    form->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    tick(); // nothing open: nothing happens, nothing is reported
    EXPECT_TRUE(form->SeekPending);
    EXPECT_TRUE(boxes.empty());
    click("a.wav");
    media.clearLog();
    tick();
    EXPECT_EQ(media.joinedLog(), "seek 10000; play");
}

TEST_F(ProgressTest, AdvanceWalksTheFolderAndStopsAtTheEnd)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 2000);
    addFile("3.avi", 3000);
    build();
    click("1.wav");
    endTrack();
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_EQ(form->windowTitle(), "2.wav");
    EXPECT_EQ(form->CurrentTrackName, qpath("2.wav"));
    EXPECT_EQ(form->Edit1->text(), "2");
    endTrack();
    EXPECT_EQ(current(), path("3.avi"));
    EXPECT_TRUE(form->Timer1->isActive());

    media.clearLog();
    endTrack();
    // The selection cannot move past the last file: it opens again and stays.
    EXPECT_EQ(media.joinedLog(), "seek 0; close; open avivideo " + path("3.avi"));
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(media.current()->state, mci::Mode::Stopped);
    EXPECT_EQ(form->windowTitle(), "3.avi");
    EXPECT_EQ(form->ScrollBar1->Position(), 30);
}

TEST_F(ProgressTest, NoAdvanceWhenOffOrElsewhere)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 1000);
    build();
    click("1.wav");
    form->CheckBox1->setChecked(false);
    endTrack();
    EXPECT_EQ(current(), path("1.wav"));
    EXPECT_TRUE(form->Timer1->isActive());

    form->CheckBox1->setChecked(true);
    form->FileListBox1->setItemIndex(-1);
    tick();
    EXPECT_EQ(current(), path("1.wav"));
}

TEST_F(ProgressTest, NextSkipsOnlyWithAutoAdvance)
{
    addFile("1.wav", 5000);
    addFile("2.wav", 5000);
    build();
    click("1.wav");
    form->MediaPlayer1->Button(vcl::TMPBtnType::btNext)->click();
    tick();
    EXPECT_EQ(current(), path("2.wav"));

    form->CheckBox1->setChecked(false);
    form->MediaPlayer1->Button(vcl::TMPBtnType::btNext)->click();
    tick();
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_EQ(media.current()->positionMs, 5000u);
}

TEST_F(ProgressTest, MidiSongsPauseBeforeTheNextTrack)
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
    EXPECT_TRUE(form->Timer1->isActive());
    clock.restart();
    endTrack();
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_EQ(current(), path("3.wav"));
}

TEST_F(ProgressTest, ClickDuringTheMidiPauseIsReplacedByTheNextItem)
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

TEST_F(ProgressTest, DropOrCommandLineTrackAtTheEndPlaysTwice)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 1000);
    build({"quorvana", QString::fromStdString(path("2.wav"))});
    form->CurrentTrackName = qpath("1.wav");
    form->FormActivate(form.get());
    endTrack();
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_TRUE(form->Timer1->isActive()) << "played a second time";
    endTrack();
    EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(ProgressTest, ZeroLengthTrackAdvancesAtOnce)
{
    addFile("1.wav", 0);
    addFile("2.wav", 1000);
    build();
    click("1.wav");
    tick();
    EXPECT_EQ(current(), path("2.wav"));
}

TEST_F(ProgressTest, ButtonBarStartsTheTimerInMilliseconds)
{
    addFile("1.wav", 1000);
    build();
    media.clearLog();
    form->MediaPlayer1->Button(vcl::TMPBtnType::btStop)->click();
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(media.joinedLog(), "time ms; stop");
    tick(); // the sequencer holds no track: nothing to follow, nothing reported
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ProgressTest, ChoosingGmWritesBothResetFilesOnce)
{
    build();
    const auto windir = std::filesystem::path(getenv("QUORVANA_WINDIR"));
    std::filesystem::remove_all(windir);
    form->RadioButton1->setChecked(true);
    EXPECT_EQ(form->WindowsDirectory.toStdString(), windir.string());
    EXPECT_EQ(testing_support::readFile(windir / "QUORVAGS.MI_"), reset_sequences::gsFile());
    EXPECT_EQ(testing_support::readFile(windir / "QUORVAGM.MI_"), reset_sequences::gmFile());

    std::filesystem::remove(windir / "QUORVAGS.MI_");
    form->RadioButton2->setChecked(true);
    EXPECT_EQ(testing_support::readFile(windir / "QUORVAGS.MI_"), reset_sequences::gsFile());
}

TEST_F(ProgressTest, ResetPlaysBeforeListTracksOnly)
{
    addFile("1.wav", 1000);
    addFile("2.wav", 1000);
    build();
    form->RadioButton1->setChecked(true);
    const std::string gm = form->WindowsDirectory.toStdString() + "/QUORVAGM.MI_";
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
    form->RadioButton3->setChecked(true);
    media.clearLog();
    form->CheckGMGSReset();
    EXPECT_TRUE(media.log.empty());
}

TEST_F(ProgressTest, MissingResetFileStopsTheClickWithTheDeviceError)
{
    addFile("1.wav", 1000);
    build();
    form->RadioButton2->setChecked(true);
    EXPECT_THROW(click("1.wav"), vcl::EMCIDeviceError);
    EXPECT_FALSE(form->MediaPlayer1->IsOpen());
    EXPECT_FALSE(form->Timer1->isActive());
}
