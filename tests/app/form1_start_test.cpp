// The main window at start, the four ways a track starts and their failures.
#include "tests/app/form1_fixture.h"

#include "app/about.h"

#include <QToolButton>

TEST_F(Form1Test, StartState)
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
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->ScrollBar1->maximum(), 100);
    EXPECT_EQ(form->FileListBox1->itemTexts(), QStringList{"a.mid"});
    EXPECT_FALSE(form->FileDrag1->EnableDrop());
    form->FormActivate(form.get());
    EXPECT_TRUE(form->FileDrag1->EnableDrop());
    EXPECT_TRUE(media.log.size() == 1) << "activation without a file opens nothing";
}

TEST_F(Form1Test, ListClickPlaysAndShowsTheTrack)
{
    addFile("song.wav", 12345);
    build();
    click("song.wav");
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("song.wav") + "; play; time ms");
    EXPECT_EQ(form->Edit1->text(), "12.345");
    EXPECT_EQ(form->ScrollBar1->maximum(), 123);
    EXPECT_EQ(form->windowTitle(), "song.wav");
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->CurrentTrackName, qpath("song.wav"));
    EXPECT_FALSE(form->MediaPlayer1->AutoEnable());
}

TEST_F(Form1Test, WaveOnlyExtensionsOpenAsWaveAudio)
{
    addFile("a.wa~", 100);
    addFile("b.BUN", 100);
    addFile("c.avi", 100);
    addFile("d.rmi", 100);
    build();
    click("a.wa~");
    EXPECT_EQ(form->MediaPlayer1->DeviceType, vcl::TMPDeviceTypes::dtWaveAudio);
    click("b.BUN");
    EXPECT_EQ(form->MediaPlayer1->DeviceType, vcl::TMPDeviceTypes::dtWaveAudio);
    click("c.avi");
    EXPECT_EQ(form->MediaPlayer1->DeviceType, vcl::TMPDeviceTypes::dtAutoSelect);
    EXPECT_NE(media.joinedLog().find("open avivideo " + path("c.avi")), std::string::npos);
    click("d.rmi");
    EXPECT_NE(media.joinedLog().find("open sequencer " + path("d.rmi")), std::string::npos);
}

TEST_F(Form1Test, RefusedFileShowsErrorAndKeepsTheRest)
{
    addFile("good.mid", 5000);
    dir.write("bad.mid", "not midi");
    build();
    click("good.mid");
    form->ScrollBar1->SetPosition(20);
    click("bad.mid");
    EXPECT_EQ(form->Edit1->text(), "Error");
    EXPECT_EQ(form->Edit2->text(), "");
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->windowTitle(), "good.mid");
    EXPECT_EQ(form->ScrollBar1->maximum(), 50);
    EXPECT_EQ(form->CurrentTrackName, qpath("good.mid"));
    EXPECT_TRUE(form->MediaPlayer1->AutoEnable());
    EXPECT_FALSE(form->MediaPlayer1->Button(vcl::TMPBtnType::btPlay)->isEnabled());
    EXPECT_TRUE(boxes.empty());

    click("good.mid");
    EXPECT_TRUE(form->MediaPlayer1->Button(vcl::TMPBtnType::btPlay)->isEnabled());
    EXPECT_TRUE(form->MediaPlayer1->Button(vcl::TMPBtnType::btStop)->isEnabled());
}

TEST_F(Form1Test, TrackShorterThanASeekStep)
{
    addFile("tiny.wav", 99);
    build();
    click("tiny.wav");
    EXPECT_EQ(form->ScrollBar1->maximum(), 0);
    EXPECT_EQ(form->Edit1->text(), "0.099");
}

TEST_F(Form1Test, CommandLineFilePlaysOnEveryActivation)
{
    addFile("a.mid", 1000);
    addFile("b.wav", 2000);
    build({"quorvana", QString::fromStdString(path("b.wav"))});
    form->FormActivate(form.get());
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("b.wav") + "; play; time ms");
    EXPECT_EQ(form->windowTitle(), "b.wav");
    EXPECT_EQ(form->FileListBox1->itemIndex(), 1);
    EXPECT_TRUE(form->FileDrag1->EnableDrop());
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->CurrentTrackName, "");

    media.setPosition(1500);
    media.clearLog();
    form->FormActivate(form.get());
    EXPECT_EQ(media.joinedLog(), "close; open waveaudio " + path("b.wav") + "; play; time ms");
}

TEST_F(Form1Test, CommandLineFileThatFailsKeepsDropsOff)
{
    build({"quorvana", QString::fromStdString(path("missing.mid"))});
    form->FormActivate(form.get());
    EXPECT_EQ(form->Edit1->text(), "Error");
    EXPECT_FALSE(form->FileDrag1->EnableDrop());
    EXPECT_FALSE(form->MediaPlayer1->AutoEnable());
    EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(Form1Test, CommandLineFileElsewhereSelectsByNameOnly)
{
    addFile("x.wav", 100);
    addFile("other/x.wav", 300);
    build({"quorvana", QString::fromStdString(path("other/x.wav"))});
    form->FormActivate(form.get());
    EXPECT_EQ(form->FileListBox1->itemIndex(), 0);
    EXPECT_EQ(form->Edit1->text(), "0.3");
}

TEST_F(Form1Test, LogoColoursAndAboutBox)
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

TEST_F(Form1Test, ClosingSlidesDownTwentyPixels)
{
    build();
    form->move(100, 200);
    bool canClose = false;
    form->FormCloseQuery(form.get(), canClose);
    EXPECT_TRUE(canClose);
    EXPECT_EQ(form->y(), 220);
}

TEST_F(Form1Test, MultimediaButtonNeedsAnOpenDevice)
{
    addFile("a.mid", 100);
    dir.write("bad.mid", "x");
    build();
    click("bad.mid");
    EXPECT_THROW(form->BitBtn1Click(form->BitBtn1), vcl::EMCIDeviceError);
}
