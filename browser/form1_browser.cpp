// The browser's wiring and the handling of files dropped on the window.
#include "app/Unit1.h"
#include "browser/filedrag.h"
#include "framework/FileCtrl.h"
#include "playback/textrules.h"

namespace {

bool isMediaExtension(const QString& upperExt)
{
    static const QStringList accepted = {"MID", "RMI", "WAV", "AVI", "WA~", "BUN"};
    return accepted.contains(upperExt);
}

} // namespace

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
    if (FileDrag1->FileCount() < 1)
        return;
    if (!isMediaExtension(textrules::upperAscii(FileDrag1->Extension().at(0))))
        return;
    const QString path = FileDrag1->NameWithPath().at(0);
    if (!StartTrack(Entry::Drop, path))
        return;
    DriveComboBox1->setDrive(path);
    DirectoryListBox1->setDirectory(path);
    FileListBox1->setFileName(path);
    matchSelectionToTitle();
}
