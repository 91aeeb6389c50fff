// The main window's controls as the design places them (their names, places,
// colours and the handlers each one calls), and how they show the session.
#include "app/main_window.h"

#include "app/window_look.h"
#include "browser/file_drag.h"
#include "core/media_kinds.h"
#include "core/textrules.h"
#include "framework/errors.h"
#include "framework/file_controls.h"
#include "framework/guard.h"
#include "framework/radio_group.h"
#include "framework/save_dialog.h"
#include "framework/shape.h"
#include "platform/mci/device_window.h"
#include "platform/midi/singer_bounds.h"
#include "platform/multimedia/stored_choices.h"
#include "playback/playback_session.h"
#include "playback/singer/singer_views.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include <cstdio>
#include <string>

using namespace window_look;

void TForm1::createLogo()
{
    Shape1 = new ui::Shape(this);
    Shape1->setObjectName("Shape1");
    Shape1->setGeometry(408, 0, 65, 25);
    Shape1->setBrushColor(QColor(128, 128, 128));

    Label1 = new ui::ClickLabel("QX", this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(400, 0, 81, 33);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setFont(boldFont(20));
    Label1->setAttribute(Qt::WA_TranslucentBackground);
    QPalette p = Label1->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(p);
    Label1->setToolTip("Click me !");
    Label1->setAccessibleDescription("Click me !");
    connect(Label1, &ui::ClickLabel::click, this, ui::guarded([this] { Label1Click(Label1); }));
    connect(Label1, &ui::ClickLabel::mouseDown, this, ui::guarded([this] { Label1MouseDown(Label1); }));
    connect(Label1, &ui::ClickLabel::mouseUp, this, ui::guarded([this] { Label1MouseUp(Label1); }));
}

void TForm1::createPlayerControls()
{
    MediaPlayer1 = new TMediaPlayer(*session_, this);
    MediaPlayer1->setObjectName("MediaPlayer1");
    MediaPlayer1->setGeometry(8, 0, 141, 33);
    MediaPlayer1->setProperty(mci::kKeepVisibleProperty, true);
    MediaPlayer1->SetAutoEnable(false);
}

void TForm1::createBrowser()
{
    FileListBox1 = new ui::FileListBox(this);
    FileListBox1->setObjectName("FileListBox1");
    FileListBox1->setAccessibleName("Files");
    FileListBox1->setGeometry(160, 56, 313, 201);
    FileListBox1->setFont(boldFont());
    setColours(FileListBox1, kYellow, Qt::black);
    FileListBox1->setMask(media_kinds::browserMask());
    FileListBox1->setShowGlyphs(true);
    connect(FileListBox1, &ui::FileListBox::click, this, ui::guarded([this] { FileListBox1Click(FileListBox1); }));

    DirectoryListBox1 = new ui::DirectoryListBox(this);
    DirectoryListBox1->setObjectName("DirectoryListBox1");
    DirectoryListBox1->setAccessibleName("Folders");
    DirectoryListBox1->setGeometry(8, 80, 145, 177);
    DirectoryListBox1->setFont(boldFont());
    setColours(DirectoryListBox1, kYellow, Qt::black);
    connect(DirectoryListBox1, &ui::DirectoryListBox::change, this,
        ui::guarded([this] { DirectoryListBox1Change(DirectoryListBox1); }));

    DriveComboBox1 = new ui::DriveComboBox(this);
    DriveComboBox1->setObjectName("DriveComboBox1");
    DriveComboBox1->setAccessibleName("Drive");
    DriveComboBox1->setGeometry(8, 56, 145, 19);
    DriveComboBox1->setFont(boldFont());
    setColours(DriveComboBox1, kYellow, Qt::black);
    QPalette face = DriveComboBox1->palette(); // a closed list is drawn as a button
    face.setColor(QPalette::Button, kYellow);
    DriveComboBox1->setPalette(face);
    connect(DriveComboBox1, &ui::DriveComboBox::change, this,
        ui::guarded([this] { DriveComboBox1Change(DriveComboBox1); }));

    setTabOrder(FileListBox1, DirectoryListBox1);
    setTabOrder(DirectoryListBox1, DriveComboBox1);
}

void TForm1::createResetChoice()
{
    auto radio = [this](const char* name, const char* caption, QRect geometry) {
        auto* r = new QRadioButton(caption, this);
        r->setObjectName(name);
        r->setGeometry(geometry);
        r->setFont(boldFont());
        return r;
    };
    RadioButton1 = radio("RadioButton1", "GM", {232, 32, 41, 17});
    RadioButton2 = radio("RadioButton2", "GS", {280, 32, 41, 17});
    RadioButton3 = radio("RadioButton3", "No Reset", {320, 32, 81, 17});
    RadioButton3->setChecked(true);
    ui::makeOneTabStop({RadioButton1, RadioButton2, RadioButton3});
    // The handler runs only when a button becomes the selected one.
    connect(RadioButton1, &QRadioButton::toggled, this, ui::guarded([this](bool on) {
        if (on)
            RadioButton1Click(RadioButton1);
    }));
    connect(RadioButton2, &QRadioButton::toggled, this, ui::guarded([this](bool on) {
        if (on)
            RadioButton1Click(RadioButton2);
    }));

    ScrollBar1 = new ui::ScrollBar(this);
    ScrollBar1->setObjectName("ScrollBar1");
    ScrollBar1->setAccessibleName("Position");
    ScrollBar1->setGeometry(8, 32, 145, 17);
    ScrollBar1->setProperty(mci::kKeepVisibleProperty, true);
    ScrollBar1->setRange(0, 100);
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setPageStep(200);
    connect(ScrollBar1, &ui::ScrollBar::scroll, this,
        ui::guarded([this](ui::ScrollCode code, int& pos) { ScrollBar1Scroll(ScrollBar1, code, pos); }));
}

void TForm1::createReadouts()
{
    auto readout = [this](const char* name, const char* accessible, QRect geometry, QColor base, QColor text) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setAccessibleName(accessible);
        e->setGeometry(geometry);
        e->setReadOnly(true);
        e->setProperty(mci::kKeepVisibleProperty, true);
        e->setFont(boldFont());
        setColours(e, base, text);
        return e;
    };
    Edit1 = readout("Edit1", "Length in seconds", {160, 8, 65, 21}, QColor(128, 0, 0), kYellow);
    Edit2 = readout("Edit2", "Position in seconds", {160, 32, 65, 21}, Qt::black, QColor(0, 255, 0));

    CheckBox1 = new QCheckBox("Auto-Advance", this);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setGeometry(232, 8, 97, 17);
    QFont plain("MS Sans Serif");
    plain.setPixelSize(11);
    CheckBox1->setFont(plain);
    QPalette p = CheckBox1->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    CheckBox1->setPalette(p);
    CheckBox1->setChecked(true);
}

void TForm1::createButtons()
{
    BitBtn1 = new QPushButton(this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(328, 0, 73, 25);
    QFont system("System");
    system.setPixelSize(12);
    BitBtn1->setFont(system);
    BitBtn1->setIcon(speakerIcon());
    BitBtn1->setIconSize(QSize(20, 20));
    BitBtn1->setAccessibleName("Multimedia settings");
    BitBtn1->setToolTip("Multimedia settings");
    BitBtn1->setAutoDefault(true); // Enter presses it when it has the focus
    connect(BitBtn1, &QPushButton::clicked, this, ui::guarded([this] { BitBtn1Click(BitBtn1); }));

    Button1 = new QPushButton("Associate", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(400, 32, 73, 17);
    Button1->setFont(boldFont());
    Button1->setAutoDefault(true);
    connect(Button1, &QPushButton::clicked, this, ui::guarded([this] { Button1Click(Button1); }));
    Label1->raise();
}

void TForm1::createNonVisual()
{
    slide_.setInterval(0);
    connect(&slide_, &QTimer::timeout, this, ui::guarded([this] { slideStep(); }));

    FileDrag1 = new TFileDrag(this);
    FileDrag1->setObjectName("FileDrag1");
    FileDrag1->setEnableDrop(false);
    FileDrag1->OnDrop = [this](QObject* sender) { FileDrag1Drop(sender); };

    createPopupMenu();
    SaveDialog1 = new ui::SaveDialog(this);

    // A karaoke song's words close from the player's window as from their
    // own, and Ctrl+L brings them back for the song.
    auto* closeWords = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(closeWords, &QShortcut::activated, this, ui::guarded([this] { singer_->closeWords(); }));
    auto* showWords = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(showWords, &QShortcut::activated, this, ui::guarded([this] { singer_->reopenWords(); }));
    // The song's channels, key and tempo from the player's window too.
    const auto key = [this](QKeySequence keys, auto act) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, ui::guarded(act));
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_M), [this] { singer_->showChannels(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_U), [this] { singer_->showQueue(); });
    // Past a bound the key or the tempo stays where it is, as in the words.
    const auto moveKey = [this](int by) {
        const int now = session_->track().transpose, wanted = midi::clampedKey(now + by);
        if (wanted != now)
            session_->setTranspose(wanted);
    };
    const auto moveTempo = [this](int by) {
        const int now = session_->track().tempo, wanted = midi::clampedTempo(now + by);
        if (wanted != now)
            session_->setTempo(wanted);
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_Up), [moveKey] { moveKey(1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Down), [moveKey] { moveKey(-1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Right), [moveTempo] { moveTempo(midi::kPercentStep); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Left), [moveTempo] { moveTempo(-midi::kPercentStep); });
    // The logo is no stop of the Tab key: About has a key of its own.
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, ui::guarded([this] { Label1Click(Label1); }));
}

// The words window opens where it last stood, this run or the last.
void TForm1::createSingerViews()
{
    using namespace multimedia;
    SingerKept kept;
    kept.wordsPlace = QByteArray::fromBase64(QByteArray::fromStdString(loadKept(kWordsPlace)));
    kept.dark = loadKept(kWordsDark) == "1";
    kept.wordsScreen = QString::fromStdString(loadKept(kWordsScreen));
    int lowest = -1, highest = -1;
    if (std::sscanf(loadKept(kVoice).c_str(), "%d-%d", &lowest, &highest) == 2 && lowest >= 0 && lowest <= highest
        && highest <= 127) {
        kept.voiceLowest = lowest;
        kept.voiceHighest = highest;
    }
    singer_ = std::make_unique<SingerViews>(*session_, kept);
    singer_->setHost(this);
    // Only what changed is written: the place moves with every song.
    connect(singer_.get(), &SingerViews::keptChanged, this, [was = kept](const SingerKept& now) mutable {
        if (now.wordsPlace != was.wordsPlace)
            saveKept(kWordsPlace, now.wordsPlace.toBase64().toStdString());
        if (now.dark != was.dark)
            saveKept(kWordsDark, now.dark ? "1" : "0");
        if (now.wordsScreen != was.wordsScreen)
            saveKept(kWordsScreen, now.wordsScreen.toStdString());
        if (now.voiceLowest != was.voiceLowest || now.voiceHighest != was.voiceHighest)
            saveKept(kVoice, std::to_string(now.voiceLowest) + "-" + std::to_string(now.voiceHighest));
        was = now;
    });
}

void TForm1::createPopupMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    Cancel1 = PopupMenu1->addAction("Cancel");
    EditFile = PopupMenu1->addAction("Edit File");
    CopyFile1 = PopupMenu1->addAction("Copy File");
    RenameFile1 = PopupMenu1->addAction("Rename/Move");
    DeleteFile1 = PopupMenu1->addAction("Delete File");
    AddToQueue1 = PopupMenu1->addAction("Add to Queue");
    Setup1 = PopupMenu1->addAction("Setup");
    connect(PopupMenu1, &QMenu::aboutToShow, this, ui::guarded([this] { PopupMenu1Popup(PopupMenu1); }));
    connect(EditFile, &QAction::triggered, this, ui::guarded([this] { EditFileClick(EditFile); }));
    connect(CopyFile1, &QAction::triggered, this, ui::guarded([this] { CopyFile1Click(CopyFile1); }));
    connect(RenameFile1, &QAction::triggered, this, ui::guarded([this] { RenameFile1Click(RenameFile1); }));
    connect(DeleteFile1, &QAction::triggered, this, ui::guarded([this] { DeleteFile1Click(DeleteFile1); }));
    connect(Setup1, &QAction::triggered, this, ui::guarded([this] { Setup1Click(Setup1); }));
    // Queued from the list without playing it: the singer on now sings on.
    connect(AddToQueue1, &QAction::triggered, this, ui::guarded([this] { AddToQueue1Click(AddToQueue1); }));
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { AddToQueue1->setEnabled(FileListBox1->itemIndex() >= 0); });
    FileListBox1->setPopupMenu(PopupMenu1);
}

// The controls show the session: each follows what it reports, and what
// the user does to them goes to it as a command.
void TForm1::showSession()
{
    const auto follow = [this](auto signal, auto view) { connect(session_.get(), signal, this, ui::guarded(view)); };
    follow(&PlaybackSession::trackChanged, [this] { showTrack(); });
    follow(&PlaybackSession::positionChanged, [this](int ms) { showPosition(ms); });
    // Queued: the box's own event loop runs after the command has ended,
    // never inside it.
    connect(session_.get(), &PlaybackSession::failed, this, ui::guarded([](const QString& reason) {
        ui::showError(ui::EMCIDeviceError(reason.toLocal8Bit().toStdString()));
    }),
        Qt::QueuedConnection);
    follow(&PlaybackSession::selectionChanged, [this](int index) {
        if (FileListBox1->itemIndex() != index)
            FileListBox1->setItemIndex(index);
    });
    follow(&PlaybackSession::autoAdvanceChanged, [this](bool on) { CheckBox1->setChecked(on); });
    follow(&PlaybackSession::resetChanged, [this](ResetChoice choice) {
        (choice == ResetChoice::GM          ? RadioButton1
                : choice == ResetChoice::GS ? RadioButton2
                                            : RadioButton3)
            ->setChecked(true);
    });
    follow(&PlaybackSession::dropsAccepted, [this] { FileDrag1->setEnableDrop(true); });
    follow(&PlaybackSession::browseTo, [this](const QString& path) { showInBrowser(path); });
    sendCommands();
}

void TForm1::showTrack()
{
    const Track& track = session_->track();
    setWindowTitle(track.title.isEmpty() ? QStringLiteral("Quorvana") : track.title);
    // "Error" alone cannot tell a damaged file from a missing sound card: the
    // reason goes beside it, for the eye and for a screen reader.
    Edit1->setToolTip(track.reason);
    Edit1->setAccessibleDescription(track.reason);
    if (!track.reason.isEmpty()) {
        Edit1->setText("Error");
        Edit2->setText("");
        return;
    }
    ScrollBar1->setMaximum(track.lengthMs / 100);
    Edit1->setText(textrules::numberText(track.lengthMs * 0.001));
}

void TForm1::showPosition(int ms)
{
    // The thumb the user holds stays where it is held.
    if (!ScrollBar1->isSliderDown())
        ScrollBar1->setValue(ms / 100);
    Edit2->setText(textrules::numberText(ms / 100 * 0.1));
}

void TForm1::sendCommands()
{
    connect(CheckBox1, &QCheckBox::toggled, this, ui::guarded([this](bool on) { session_->setAutoAdvance(on); }));
    connect(RadioButton3, &QRadioButton::toggled, this, ui::guarded([this](bool on) {
        if (on)
            session_->chooseReset(ResetChoice::None);
    }));
    connect(FileListBox1, &ui::FileListBox::listed, this, ui::guarded([this] {
        session_->setTracks(FileListBox1->directory(), FileListBox1->itemTexts());
        session_->select(FileListBox1->itemIndex());
        session_->prepareDevicesForTracks();
    }));
    connect(FileListBox1, &QListWidget::itemSelectionChanged, this,
        ui::guarded([this] { session_->select(FileListBox1->itemIndex()); }));
}
