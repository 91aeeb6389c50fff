#pragma once
// The main window: its controls, their layout, and every handler the design
// names. A handler forwards to the playback logic or the file menu, which
// know only the controls they drive.
#include "framework/click_label.h"
#include "framework/scroll_bar.h"
#include "playback/MPlayer.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class QCheckBox;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QRadioButton;
class QTimer;
class TFileDrag;
class TrackPlayer;
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
    ui::Shape* Shape1 = nullptr;
    ui::ClickLabel* Label1 = nullptr;
    TMediaPlayer* MediaPlayer1 = nullptr;
    ui::FileListBox* FileListBox1 = nullptr;
    ui::DirectoryListBox* DirectoryListBox1 = nullptr;
    ui::DriveComboBox* DriveComboBox1 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    ui::ScrollBar* ScrollBar1 = nullptr;
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
    ui::SaveDialog* SaveDialog1 = nullptr;

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
    void MediaPlayer1Click(QObject* Sender, TMPBtnType Button, bool& DoDefault);
    void Timer1Timer(QObject* Sender);
    void ScrollBar1Scroll(QObject* Sender, ui::ScrollCode ScrollCode, int& ScrollPos);
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

    TrackPlayer& trackPlayer() { return *trackPlayer_; }

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
    void createLogic();
    void showBrowserAtStart();

    void showInBrowser(const QString& path);

    QStringList arguments_;
    std::unique_ptr<TrackPlayer> trackPlayer_;
    std::unique_ptr<FileMenu> fileMenu_;
    bool closing_ = false;
};

extern TForm1* Form1;
