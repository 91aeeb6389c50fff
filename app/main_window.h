#pragma once
// The main window: its controls, their layout, and every handler the design
// names. A handler forwards to the playback session or the file menu; the
// controls show what the session reports.
#include "framework/click_label.h"
#include "framework/scroll_bar.h"
#include "playback/media_player.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QRadioButton;
class TFileDrag;
class PlaybackSession;
class SingerViews;
class FileMenu;

namespace ui {
class Shape;
class FileListBox;
class DirectoryListBox;
class DriveComboBox;
class SaveDialog;
} // namespace ui

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // ARGUMENTS is the process's argument vector; the file to play is taken from it.
    explicit TForm1(const QStringList& arguments, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, in creation order.
    ui::Shape* Shape1 = nullptr; // grey ellipse behind the logo
    ui::ClickLabel* Label1 = nullptr; // the "QX" logo: about box
    TMediaPlayer* MediaPlayer1 = nullptr; // button bar over the media device
    ui::FileListBox* FileListBox1 = nullptr; // the folder's media files
    ui::DirectoryListBox* DirectoryListBox1 = nullptr; // folders
    ui::DriveComboBox* DriveComboBox1 = nullptr; // volumes
    QRadioButton* RadioButton1 = nullptr; // "GM" reset
    QRadioButton* RadioButton2 = nullptr; // "GS" reset
    QRadioButton* RadioButton3 = nullptr; // "No Reset"
    ui::ScrollBar* ScrollBar1 = nullptr; // seek bar, in tenths of a second
    QLineEdit* Edit1 = nullptr; // length read-out, seconds
    QLineEdit* Edit2 = nullptr; // position read-out, seconds
    QCheckBox* CheckBox1 = nullptr; // "Auto-Advance"
    QPushButton* BitBtn1 = nullptr; // loudspeaker: Multimedia Properties
    QPushButton* Button1 = nullptr; // "Associate"
    TFileDrag* FileDrag1 = nullptr; // receives dropped files
    QMenu* PopupMenu1 = nullptr; // the file list's context menu
    QAction* Cancel1 = nullptr; // "Cancel"
    QAction* EditFile = nullptr; // "Edit File"
    QAction* CopyFile1 = nullptr; // "Copy File"
    QAction* RenameFile1 = nullptr; // "Rename/Move"
    QAction* DeleteFile1 = nullptr; // "Delete File"
    QAction* AddToQueue1 = nullptr; // "Add to Queue"
    QAction* Setup1 = nullptr; // "Setup"
    ui::SaveDialog* SaveDialog1 = nullptr; // target of Copy and Rename/Move

    // Application shell.
    void FormActivate(QObject* Sender);
    void FormCloseQuery(QObject* Sender, bool& CanClose);
    void Label1Click(QObject* Sender);
    void Label1MouseDown(QObject* Sender);
    void Label1MouseUp(QObject* Sender);
    void BitBtn1Click(QObject* Sender);
    void Button1Click(QObject* Sender);

    // Playback.
    void FileListBox1Click(QObject* Sender);
    void ScrollBar1Scroll(QObject* Sender, ui::ScrollCode ScrollCode, int& ScrollPos);
    void RadioButton1Click(QObject* Sender);
    void CheckGMGSReset();

    // Browser and drops.
    void DriveComboBox1Change(QObject* Sender);
    void DirectoryListBox1Change(QObject* Sender);
    void FileDrag1Drop(QObject* Sender);

    // File context menu.
    void PopupMenu1Popup(QObject* Sender);
    void EditFileClick(QObject* Sender);
    void CopyFile1Click(QObject* Sender);
    void RenameFile1Click(QObject* Sender);
    void DeleteFile1Click(QObject* Sender);
    void AddToQueue1Click(QObject* Sender);
    void Setup1Click(QObject* Sender);

    PlaybackSession& session() { return *session_; }
    SingerViews& singer() { return *singer_; }

    // Brings the window forward (un-minimized, raised, activated).
    void raiseForUser();
    // Brings it forward without activating it: an activation would start the
    // command-line file over again.
    void comeForward();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createLogo();
    void createPlayerControls();
    void createBrowser();
    void createResetChoice();
    void createReadouts();
    void createButtons();
    void createNonVisual();
    void createSingerViews();
    void createPopupMenu();
    void showSession();
    void showTrack();
    void showPosition(int ms);
    void sendCommands();
    void createFileMenu();
    void showBrowserAtStart();

    void showInBrowser(const QString& path);
    bool slidDown();
    void paintLogo(const QColor& colour);
    void openMultimediaProperties();
    void slideStep();

    std::unique_ptr<PlaybackSession> session_;
    std::unique_ptr<SingerViews> singer_; // views of the session: after it
    std::unique_ptr<FileMenu> fileMenu_;
    static constexpr int kSlidePixels = 20;
    QTimer slide_; // the closing slide, a step each turn of the event loop
    int slideFrom_ = 0;
    int slideStep_ = 0;
    bool slid_ = false;
};

extern TForm1* Form1;
