#pragma once
// The controls the playback logic drives, wired as the main window wires
// them, over the scripted device in a temporary folder.
#include "core/media_kinds.h"
#include "framework/file_controls.h"
#include "framework/message_box.h"
#include "framework/scroll_bar.h"
#include "playback/track_player.h"
#include "tests/support/message_boxes.h"
#include "tests/support/scripted_device.h"
#include "tests/support/temp_dir.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

struct PlayerRig : QWidget {
    TMediaPlayer* MediaPlayer1 = new TMediaPlayer(this);
    ui::ScrollBar* ScrollBar1 = new ui::ScrollBar(this);
    QLineEdit* Edit1 = new QLineEdit(this);
    QLineEdit* Edit2 = new QLineEdit(this);
    QTimer* Timer1 = new QTimer(this);
    ui::FileListBox* FileListBox1 = new ui::FileListBox(this);
    QCheckBox* CheckBox1 = new QCheckBox(this);
    QRadioButton* RadioButton1 = new QRadioButton(this);
    QRadioButton* RadioButton2 = new QRadioButton(this);
    QRadioButton* RadioButton3 = new QRadioButton(this);
    bool dropsAccepted = false;
    QStringList shownInBrowser;
    TrackPlayer player{PlayerControls{*MediaPlayer1, *ScrollBar1, *Edit1, *Edit2, *Timer1, *FileListBox1, *CheckBox1,
                                      *RadioButton1, *RadioButton2, *this, [this] { dropsAccepted = true; },
                                      [this](const QString& path) { shownInBrowser.append(path); }}};

    explicit PlayerRig(const QString& folder)
    {
        setWindowTitle("Quorvana");
        ScrollBar1->setRange(0, 100);
        ScrollBar1->setPageStep(200);
        CheckBox1->setChecked(true);
        RadioButton3->setChecked(true);
        FileListBox1->setMask(media_kinds::browserMask());
        FileListBox1->setDirectory(folder);
        Timer1->setInterval(100);
        connect(Timer1, &QTimer::timeout, this, [this] { player.tick(); });
        connect(ScrollBar1, &ui::ScrollBar::change, this, [this] { player.showSeekPosition(); });
        connect(ScrollBar1, &ui::ScrollBar::scroll, this, [this] { player.seekRequested(); });
        connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) { if (on) player.resetChosen(); });
        connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) { if (on) player.resetChosen(); });
        MediaPlayer1->OnClick = [this](QObject*, TMPBtnType, bool&) { player.buttonPressed(); };
        MediaPlayer1->DeviceType = TMPDeviceTypes::dtSequencer;
        MediaPlayer1->AutoOpen = true;
        MediaPlayer1->Loaded();
    }
};

struct TrackPlayerTest : ::testing::Test {
    testing_support::TempDir dir;
    testing_support::ScriptedMedia media;
    std::unique_ptr<PlayerRig> rig;
    testing_support::MessageBoxes boxes;

    void SetUp() override { }

    void TearDown() override { rig.reset(); }

    // A media file on disk that the scripted device plays for LENGTH ms.
    std::string addFile(const std::string& name, uint32_t length)
    {
        const std::string path = dir.write(name, "media");
        media.add(path, length);
        return path;
    }

    void build()
    {
        rig = std::make_unique<PlayerRig>(QString::fromStdString(dir.path().string()));
        media.clearLog();
    }

    // What a user's click on entry NAME does.
    void click(const QString& name)
    {
        const int index = rig->FileListBox1->itemTexts().indexOf(name);
        ASSERT_GE(index, 0) << name.toStdString();
        rig->FileListBox1->setItemIndex(index);
        rig->player.listClick();
    }

    void tick() { rig->player.tick(); }

    // Plays the open track to its end and lets one tick see it.
    void endTrack()
    {
        media.finish();
        tick();
    }

    void startFromCommandLine(const std::string& name)
    {
        rig->player.startFromCommandLine({"quorvana", QString::fromStdString(path(name))});
    }

    std::string current() const { return media.current() ? media.current()->path : std::string("(none)"); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    QString qpath(const std::string& name) const { return QString::fromStdString(path(name)); }
};
