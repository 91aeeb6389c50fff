#include "app/main_window.h"

#include "app/about.h"
#include "app/window_look.h"
#include "browser/file_drag.h"
#include "browser/file_menu.h"
#include "core/media_kinds.h"
#include "core/textrules.h"
#include "framework/application.h"
#include "framework/errors.h"
#include "framework/file_controls.h"
#include "framework/guard.h"
#include "framework/message_box.h"
#include "framework/radio_group.h"
#include "framework/save_dialog.h"
#include "framework/shape.h"
#include "platform/audio/audio_output.h"
#include "platform/base/xdg.h"
#include "platform/mci/device_window.h"
#include "platform/multimedia/stored_choices.h"
#include "platform/shell/shell.h"
#include "playback/playback_session.h"
#include "playback/singer/singer_views.h"
#include "settings/association_dialog.h"
#include "settings/editor_settings.h"
#include "settings/setup_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

TForm1* Form1 = nullptr;

using namespace window_look;

TForm1::TForm1(const QStringList& arguments, QWidget* parent)
    : QWidget(parent), session_(std::make_unique<PlaybackSession>(SessionSetup {.choices = multimedia::load,
                           .setVolume = audio::setVolume,
                           .lostOutput = audio::lostOutput,
                           .songMemory = base::xdg::dataHome() + "/quorvana/songs.sqlite"}))
{
    session_->setCommandLine(arguments);
    createSingerViews();
    Form1 = this;
    setObjectName("Form1");
    setWindowTitle("Quorvana");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(483, 277);
    QFont system("System");
    system.setPixelSize(11);
    setFont(system);

    createLogo();
    createPlayerControls();
    createBrowser();
    createResetChoice();
    createReadouts();
    createButtons();
    createNonVisual();
    showSession();
    createFileMenu();

    if (auto* app = ui::application())
        connect(app, &ui::Application::formActivated, this, ui::guarded([this](QWidget* form) {
            if (form == this)
                FormActivate(this);
        }));

    showBrowserAtStart();
    session_->openDevice(mci::DeviceType::Sequencer);
}

void TForm1::createFileMenu()
{
    fileMenu_ = std::make_unique<FileMenu>(FileMenuControls {*this, *FileListBox1, *DirectoryListBox1, *CheckBox1,
                                               *SaveDialog1, {EditFile, CopyFile1, RenameFile1, DeleteFile1}},
        FileMenuHooks {
            .stopPlayer = [this] { session_->stopIfOpen(); },
            .rewindPlayer = [this] { session_->rewindIfOpen(); },
            .openInstead = [this](const QString& file) { session_->letGoFor(file); },
            .editorFor
            = [](const std::string& file) { return editor_settings::editorForFile(editor_settings::location(), file); },
            .setup = [this] { Setup1Click(this); },
        });
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::showBrowserAtStart()
{
    // Every start begins in the process's current folder.
    const QString here = ui::absoluteFolderPath(".");
    DriveComboBox1->setDrive(here);
    DirectoryListBox1->setDirectory(here);
    FileListBox1->setDirectory(here);
}

void TForm1::FormActivate(QObject*)
{
    session_->playCommandLineFile();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    ui::guard([&] { FormCloseQuery(this, canClose); });
    if (canClose)
        event->accept();
    else
        event->ignore();
}

void TForm1::FormCloseQuery(QObject*, bool& CanClose)
{
    CanClose = slidDown();
}

// The window slides twenty pixels down before it closes. The slide goes on
// from the event loop, a step a turn, and its last step closes the window
// for good; a close asked for meanwhile changes nothing.
bool TForm1::slidDown()
{
    if (slid_ || slide_.isActive())
        return slid_;
    // On Wayland the compositor places windows: there is nothing to slide.
    if (!ui::Application::placesWindows())
        return true;
    slideFrom_ = y();
    slideStep_ = 0;
    move(x(), slideFrom_);
    slide_.start();
    return false;
}

void TForm1::slideStep()
{
    // Counted, not read back: a window manager may hold the window where it is.
    move(x(), slideFrom_ + ++slideStep_);
    if (slideStep_ < kSlidePixels)
        return;
    slide_.stop();
    slid_ = true;
    close();
}

void TForm1::Label1Click(QObject*)
{
    ui::showMessage(about::aboutText());
}

void TForm1::Label1MouseDown(QObject*)
{
    paintLogo(QColor(255, 0, 0));
}

void TForm1::Label1MouseUp(QObject*)
{
    paintLogo(QColor(0, 128, 0));
}

void TForm1::paintLogo(const QColor& colour)
{
    QPalette p = Label1->palette();
    p.setColor(QPalette::WindowText, colour);
    Label1->setPalette(p);
}

void TForm1::BitBtn1Click(QObject*)
{
    openMultimediaProperties();
}

void TForm1::openMultimediaProperties()
{
    // After a refused track the stop fails with "Kein MCI-Gerät geöffnet"
    // and the panel stays shut. The shell's table of Windows programs turns
    // the panel into our own Multimedia Properties.
    if (session_->stop())
        shell::execute("RUNDLL32.EXE", "shell32,Control_RunDLL MMSYS.CPL,Multimedia");
}

void TForm1::Button1Click(QObject*)
{
    RunFormAssoc();
}

void TForm1::FileListBox1Click(QObject*)
{
    session_->playEntry(FileListBox1->itemIndex());
}

// A drag seeks once, where the thumb is let go; every other move of the bar
// seeks at once.
void TForm1::ScrollBar1Scroll(QObject*, ui::ScrollCode ScrollCode, int& ScrollPos)
{
    if (ScrollCode != ui::ScrollCode::scTrack && ScrollCode != ui::ScrollCode::scEndScroll)
        session_->seekTo(ScrollPos * 100);
}

void TForm1::RadioButton1Click(QObject* Sender)
{
    session_->chooseReset(Sender == RadioButton2 ? ResetChoice::GS : ResetChoice::GM);
}

void TForm1::CheckGMGSReset()
{
    session_->checkReset();
}

void TForm1::DriveComboBox1Change(QObject*)
{
    DirectoryListBox1->setDrive(DriveComboBox1->drive());
}

void TForm1::DirectoryListBox1Change(QObject*)
{
    FileListBox1->setFileName(DirectoryListBox1->directory());
}

void TForm1::FileDrag1Drop(QObject*)
{
    if (FileDrag1->FileCount() >= 1)
        session_->playDropped(FileDrag1->NameWithPath().at(0), FileDrag1->Extension().at(0));
}

void TForm1::raiseForUser()
{
    comeForward();
    activateWindow();
}

void TForm1::comeForward()
{
    if (isMinimized())
        showNormal();
    raise();
    // A dialog or box open over the window stays over it, with the keyboard.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void TForm1::showInBrowser(const QString& path)
{
    DriveComboBox1->setDrive(path);
    DirectoryListBox1->setDirectory(path);
    FileListBox1->setFileName(path);
}

void TForm1::PopupMenu1Popup(QObject*)
{
    fileMenu_->aboutToShow();
}

void TForm1::EditFileClick(QObject*)
{
    fileMenu_->editFile();
}

void TForm1::CopyFile1Click(QObject*)
{
    fileMenu_->copyFile();
}

void TForm1::RenameFile1Click(QObject*)
{
    fileMenu_->renameFile();
}

void TForm1::DeleteFile1Click(QObject*)
{
    fileMenu_->deleteFile();
}

void TForm1::AddToQueue1Click(QObject*)
{
    session_->enqueue({FileListBox1->fileName()});
}

void TForm1::Setup1Click(QObject*)
{
    ShowSetupDialog();
}
