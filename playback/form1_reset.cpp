// GM and GS resets played before every track started from the list.
#include "app/Unit1.h"
#include "framework/FileCtrl.h"
#include "platform/fs/kernel.h"
#include "playback/reset_sequences.h"

#include <QFile>
#include <QRadioButton>

void TForm1::RadioButton1Click(QObject*)
{
    WindowsDirectory = vcl::decodeFileName(QByteArray::fromStdString(kernel::windowsDirectory()));
    const QString dir = WindowsDirectory + "/";
    reset_sequences::writeIfMissing(vcl::encodeFileName(dir + reset_sequences::kGSFileName).toStdString(),
                                    reset_sequences::gsFile());
    reset_sequences::writeIfMissing(vcl::encodeFileName(dir + reset_sequences::kGMFileName).toStdString(),
                                    reset_sequences::gmFile());
}

void TForm1::CheckGMGSReset()
{
    auto play = [this](const char* name) {
        MediaPlayer1->DeviceType = vcl::TMPDeviceTypes::dtSequencer;
        MediaPlayer1->FileName = WindowsDirectory + "/" + name;
        MediaPlayer1->Open();
        MediaPlayer1->Play();
    };
    if (RadioButton1->isChecked())
        play(reset_sequences::kGMFileName);
    if (RadioButton2->isChecked())
        play(reset_sequences::kGSFileName);
}
