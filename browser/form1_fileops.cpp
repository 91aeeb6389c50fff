// The file list's context menu: edit, copy, rename/move and delete the
// selected file, and the Setup dialog.
#include "app/Unit1.h"
#include "framework/sysutils.h"
#include "framework/Dialogs.h"
#include "framework/FileCtrl.h"
#include "framework/SaveDialog.h"
#include "platform/fs/kernel.h"
#include "platform/shell/shell.h"
#include "settings/editor_settings.h"

#include <QAction>
#include <QCheckBox>

namespace {

const char* const kExists = "The File-Name you specified already exists !";

std::string bytes(const QString& path)
{
    return vcl::encodeFileName(path).toStdString();
}

// Puts "Auto-Advance" back as it was on every way out, errors included, so
// that a failed operation never leaves the player silently stopping at the
// end of each track.
class SuspendAutoAdvance {
public:
    explicit SuspendAutoAdvance(QCheckBox* box) : box_(box), was_(box->isChecked()) { box_->setChecked(false); }
    ~SuspendAutoAdvance() { box_->setChecked(was_); }
    SuspendAutoAdvance(const SuspendAutoAdvance&) = delete;
    SuspendAutoAdvance& operator=(const SuspendAutoAdvance&) = delete;

private:
    QCheckBox* box_;
    bool was_;
};

// The one box for a failed copy or move: "exists" where the target is in the
// way, the system's own reason for everything else.
void reportFileError(QWidget* owner, const kernel::Status& status)
{
    const QString text = status.targetExists() ? QString(kExists) : QString::fromLocal8Bit(status.text().c_str());
    vcl::MessageBox(owner, text, "Error", vcl::MB_ICONERROR);
}

} // namespace

void TForm1::PopupMenu1Popup(QObject*)
{
    const bool selected = !FileListBox1->fileName().isEmpty();
    for (QAction* item : {EditFile, CopyFile1, RenameFile1, DeleteFile1})
        item->setEnabled(selected);
}

void TForm1::EditFileClick(QObject*)
{
    MediaPlayer1->Stop();
    const std::string settings = editor_settings::filePath();
    const QString file = FileListBox1->fileName();
    std::string editor = editor_settings::editorForFile(settings, bytes(file));
    if (editor.empty()) {
        Setup1Click(this);
        editor = editor_settings::editorForFile(settings, bytes(file));
    }
    if (editor.empty())
        return;
    const int result = shell::execute(editor, shell::quoteParameter(bytes(file)));
    if (result <= 32) {
        vcl::MessageBox(this,
                        "Editor-Filename is probably not valid. Please specify a valid filename for your editor "
                        "in the following dialog-box!",
                        "Error", vcl::MB_ICONERROR);
        Setup1Click(this);
    }
}

void TForm1::CopyFile1Click(QObject*)
{
    SuspendAutoAdvance suspended(CheckBox1);
    SaveDialog1->Title = "Copy File to:";
    SaveDialog1->InitialDir = DirectoryListBox1->directory();
    SaveDialog1->FileName = FileListBox1->fileName();
    if (!SaveDialog1->Execute())
        return;
    const kernel::Status status = kernel::copyFile(bytes(FileListBox1->fileName()), bytes(SaveDialog1->FileName));
    if (!status.ok())
        reportFileError(this, status);
    refreshKeepingIndex();
}

void TForm1::RenameFile1Click(QObject*)
{
    MediaPlayer1->Stop();
    SaveDialog1->Title = "Rename / Move File to:";
    SaveDialog1->InitialDir = DirectoryListBox1->directory();
    SaveDialog1->FileName = FileListBox1->fileName();
    if (!SaveDialog1->Execute())
        return;
    const QString source = FileListBox1->fileName();
    handOverToNeighbour();
    const kernel::Status status = kernel::moveFile(bytes(source), bytes(SaveDialog1->FileName));
    if (!status.ok())
        reportFileError(this, status);
    refreshKeepingIndex();
}

void TForm1::DeleteFile1Click(QObject*)
{
    SuspendAutoAdvance suspended(CheckBox1);
    if (vcl::MessageBox(this, "Delete this File ?", "Attention", vcl::MB_OKCANCEL | vcl::MB_ICONQUESTION) != vcl::IDOK)
        return;
    MediaPlayer1->Stop();
    MediaPlayer1->Rewind();
    const QString file = FileListBox1->fileName();
    handOverToNeighbour();
    kernel::deleteFile(bytes(file));
    refreshKeepingIndex();
}

void TForm1::handOverToNeighbour()
{
    // The player lets go of the file before it is moved or deleted.
    const int index = FileListBox1->itemIndex();
    FileListBox1->setItemIndex(index > 0 ? index - 1 : index + 1);
    MediaPlayer1->FileName = FileListBox1->fileName();
    try {
        MediaPlayer1->Open();
    } catch (const vcl::EMCIDeviceError&) {
    }
}

void TForm1::refreshKeepingIndex()
{
    const int index = FileListBox1->itemIndex();
    FileListBox1->updateList();
    FileListBox1->setItemIndex(index);
}
