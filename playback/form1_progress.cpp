// The 100 ms progress timer, the seek bar and automatic advance.
#include "app/Unit1.h"
#include "framework/FileCtrl.h"
#include "framework/Forms.h"
#include "playback/textrules.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

namespace {
const int kMidiPause = 1500;
}

void TForm1::Timer1Timer(QObject*)
{
    // Before the first track and after a failed open there is nothing to
    // follow; a pending seek waits for the next track.
    if (!MediaPlayer1->IsOpen() || MediaPlayer1->FileName.isEmpty())
        return;

    if (SeekPending) {
        MediaPlayer1->SetPosition(ScrollBar1->Position() * 100);
        MediaPlayer1->Play();
        SeekPending = false;
        return;
    }

    ScrollBar1->SetPosition(MediaPlayer1->Position() / 100);
    const int position = MediaPlayer1->Position();
    const int length = MediaPlayer1->Length();
    if (position != length || !CheckBox1->isChecked() || MediaPlayer1->FileName != FileListBox1->fileName())
        return;

    if (textrules::isMidiSongExtension(textrules::upperAscii(textrules::extractFileExt(MediaPlayer1->FileName)))) {
        Timer1->stop();
        midipause(kMidiPause);
        Timer1->start();
    }
    FileListBox1->setItemIndex(FileListBox1->itemIndex() + 1);
    MediaPlayer1->SetPosition(0);

    CheckGMGSReset();
    StartTrack(Entry::Advance, FileListBox1->fileName());
}

void TForm1::midipause(const int& duration)
{
    // Waits on the event loop rather than spinning: the window stays
    // responsive and the core stays free. Handlers may run meanwhile.
    QDeadlineTimer deadline(duration + 1, Qt::PreciseTimer);
    do {
        QEventLoop loop;
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
        wake.start(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        loop.exec();
    } while (!deadline.hasExpired());
}

void TForm1::ScrollBar1Scroll(QObject*, vcl::TScrollCode, int&)
{
    SeekPending = true;
}

void TForm1::ScrollBar1Change(QObject*)
{
    Edit2->setText(textrules::numberText(ScrollBar1->Position() * 0.1));
}

void TForm1::MediaPlayer1Click(QObject*, vcl::TMPBtnType, bool&)
{
    Timer1->start();
    MediaPlayer1->SetTimeFormat(vcl::TMPTimeFormats::tfMilliseconds);
}
