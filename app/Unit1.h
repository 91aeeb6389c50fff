#pragma once
// The main window: its controls, their layout, and the declarations of all
// its handlers. The bodies of the handlers live with their subsystems.
#include "framework/StdCtrls.h"
#include "playback/MPlayer.h"

#include <QString>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QRadioButton;
class QTimer;
class TFileDrag;

namespace vcl {
class TShape;
class TFileListBox;
class TDirectoryListBox;
class TDriveComboBox;
class TSaveDialog;
} // namespace vcl

class TForm1 : public QWidget {
    Q_OBJECT

public:
    // ARGUMENTS is the process's argument vector; the file to play is taken from it.
    explicit TForm1(const QStringList& arguments, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, in creation order.
    vcl::TShape* Shape1 = nullptr;
    vcl::TLabel* Label1 = nullptr;
    vcl::TMediaPlayer* MediaPlayer1 = nullptr;
    vcl::TFileListBox* FileListBox1 = nullptr;
    vcl::TDirectoryListBox* DirectoryListBox1 = nullptr;
    vcl::TDriveComboBox* DriveComboBox1 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    vcl::TScrollBar* ScrollBar1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* Button1 = nullptr;
    QTimer* Timer1 = nullptr;
    TFileDrag* FileDrag1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Cancel1 = nullptr;
    QAction* EditFile = nullptr;
    QAction* CopyFile1 = nullptr;
    QAction* RenameFile1 = nullptr;
    QAction* DeleteFile1 = nullptr;
    QAction* Setup1 = nullptr;
    vcl::TSaveDialog* SaveDialog1 = nullptr;

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
    void MediaPlayer1Click(QObject* Sender, vcl::TMPBtnType Button, bool& DoDefault);
    void Timer1Timer(QObject* Sender);
    void ScrollBar1Scroll(QObject* Sender, vcl::TScrollCode ScrollCode, int& ScrollPos);
    void ScrollBar1Change(QObject* Sender);
    void RadioButton1Click(QObject* Sender);
    void CheckGMGSReset();
    void midipause(const int& duration);

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
    void Setup1Click(QObject* Sender);

    // The four ways a track starts.
    enum class Entry { ListClick, CommandLine, Drop, Advance };
    // Opens and starts FILENAME; false when the device refused it or the
    // advance found the same file again.
    bool StartTrack(Entry entry, const QString& fileName);

    QString CurrentTrackName;   // last file started from the list or by advance
    QString WindowsDirectory;   // holds the reset sequence files once GM or GS was chosen
    bool SeekPending = false;   // the seek bar moved; the next tick seeks there

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
    void createPopupMenu();
    void showBrowserAtStart();

    void openFailed(Entry entry);
    void matchSelectionToTitle();
    void handOverToNeighbour();
    void refreshKeepingIndex();

    QStringList arguments_;
    bool closing_ = false;
};

extern TForm1* Form1;
