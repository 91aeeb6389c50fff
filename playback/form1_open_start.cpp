// The open-and-start routine: every track the player starts goes through it.
#include "app/Unit1.h"
#include "framework/sysutils.h"
#include "framework/FileCtrl.h"
#include "browser/filedrag.h"
#include "playback/textrules.h"

#include <QLineEdit>
#include <QTimer>

using vcl::TMPDeviceTypes;

void TForm1::FileListBox1Click(QObject*)
{
    CheckGMGSReset();
    StartTrack(Entry::ListClick, FileListBox1->fileName());
}

bool TForm1::StartTrack(Entry entry, const QString& fileName)
{
    MediaPlayer1->DeviceType = TMPDeviceTypes::dtAutoSelect;
    if (textrules::isWaveOnlyExtension(textrules::upperAscii(textrules::extractFileExt(fileName))))
        MediaPlayer1->DeviceType = TMPDeviceTypes::dtWaveAudio;
    MediaPlayer1->FileName = fileName;
    try {
        MediaPlayer1->Open();
    } catch (const vcl::EMCIDeviceError&) {
        openFailed(entry);
        return false;
    }

    const bool fromList = entry == Entry::ListClick || entry == Entry::Advance;
    if (entry == Entry::ListClick)
        MediaPlayer1->SetAutoEnable(false);
    if (entry == Entry::Advance && CurrentTrackName == MediaPlayer1->FileName) {
        // The end of the list: the selection could not move past the last file.
        Timer1->stop();
        return false;
    }

    MediaPlayer1->Play();
    if (fromList)
        setWindowTitle(textrules::trimRight(textrules::extractFileName(MediaPlayer1->FileName)));
    if (entry == Entry::Advance)
        CurrentTrackName = MediaPlayer1->FileName;
    MediaPlayer1->SetTimeFormat(vcl::TMPTimeFormats::tfMilliseconds);
    ScrollBar1->setMaximum(MediaPlayer1->Length() / 100);
    Edit1->setText(textrules::numberText(MediaPlayer1->Length() * 0.001));
    if (!fromList)
        setWindowTitle(textrules::extractFileName(MediaPlayer1->FileName));
    if (entry == Entry::CommandLine)
        matchSelectionToTitle();
    if (entry != Entry::Advance)
        Timer1->start();
    if (entry == Entry::ListClick)
        CurrentTrackName = MediaPlayer1->FileName;
    if (entry == Entry::CommandLine)
        FileDrag1->setEnableDrop(true);
    return true;
}

void TForm1::openFailed(Entry entry)
{
    Timer1->stop();
    if (entry != Entry::CommandLine)
        MediaPlayer1->SetAutoEnable(true);
    Edit1->setText("Error");
    Edit2->setText("");
}

void TForm1::matchSelectionToTitle()
{
    const QString title = windowTitle();
    for (int i = 0; i < FileListBox1->count(); ++i)
        if (FileListBox1->itemText(i) == title)
            FileListBox1->setItemIndex(i);
}
