#include "browser/file_menu.h"

#include "framework/file_controls.h"
#include "framework/file_names.h"
#include "framework/message_box.h"
#include "framework/save_dialog.h"
#include "platform/fs/file_ops.h"
#include "platform/fs/trash.h"
#include "platform/shell/shell.h"

#include <QAction>
#include <QCheckBox>

namespace {

const char* const kExists = "The File-Name you specified already exists !";
const char* const kBadEditor = "Editor-Filename is probably not valid. Please specify a valid filename for your editor "
                               "in the following dialog-box!";

// Puts "Auto-Advance" back as it was on every way out, errors included, so
// that a failed operation never leaves the player silently stopping at the
// end of each track.
class SuspendAutoAdvance {
public:
    explicit SuspendAutoAdvance(QCheckBox& box) : box_(box), was_(box.isChecked()) { box_.setChecked(false); }
    ~SuspendAutoAdvance() { box_.setChecked(was_); }
    SuspendAutoAdvance(const SuspendAutoAdvance&) = delete;
    SuspendAutoAdvance& operator=(const SuspendAutoAdvance&) = delete;

private:
    QCheckBox& box_;
    bool was_;
};

// The one box for a failed copy, move or delete: "exists" where the target is in the
// way, the system's own reason for everything else.
void reportFileError(QWidget& owner, const kernel::Status& status)
{
    const QString text = status.targetExists() ? QString(kExists) : QString::fromLocal8Bit(status.text().c_str());
    ui::messageBox(&owner, text, "Error", ui::MB_ICONERROR);
}

} // namespace

FileMenu::FileMenu(FileMenuControls controls, FileMenuHooks hooks) : c_(std::move(controls)), hooks_(std::move(hooks))
{
}

void FileMenu::aboutToShow()
{
    const bool selected = !c_.fileList.fileName().isEmpty();
    for (QAction* item : c_.fileItems)
        item->setEnabled(selected);
}

void FileMenu::editFile()
{
    hooks_.stopPlayer();
    const std::string file = ui::fileNameBytes(c_.fileList.fileName());
    std::string editor = hooks_.editorFor(file);
    if (editor.empty()) {
        hooks_.setup();
        editor = hooks_.editorFor(file);
    }
    if (editor.empty())
        return;
    if (shell::execute(editor, shell::quoteParameter(file)) <= 32) {
        ui::messageBox(&c_.owner, kBadEditor, "Error", ui::MB_ICONERROR);
        hooks_.setup();
    }
}

bool FileMenu::askTarget(const QString& title)
{
    c_.saveDialog.setTitle(title);
    c_.saveDialog.setInitialDir(c_.folders.directory());
    c_.saveDialog.setFileName(c_.fileList.fileName());
    return c_.saveDialog.execute();
}

void FileMenu::copyFile()
{
    SuspendAutoAdvance suspended(c_.autoAdvance);
    if (!askTarget("Copy File to:"))
        return;
    const kernel::Status status = kernel::copyFile(ui::fileNameBytes(c_.fileList.fileName()),
                                                   ui::fileNameBytes(c_.saveDialog.fileName()));
    if (!status.ok())
        reportFileError(c_.owner, status);
    refreshKeepingIndex();
}

void FileMenu::renameFile()
{
    hooks_.stopPlayer();
    if (!askTarget("Rename / Move File to:"))
        return;
    const QString source = c_.fileList.fileName();
    handOverToNeighbour();
    const kernel::Status status = kernel::moveFile(ui::fileNameBytes(source), ui::fileNameBytes(c_.saveDialog.fileName()));
    if (!status.ok())
        reportFileError(c_.owner, status);
    refreshKeepingIndex();
}

void FileMenu::deleteFile()
{
    SuspendAutoAdvance suspended(c_.autoAdvance);
    if (ui::messageBox(&c_.owner, "Delete this File ?", "Attention", ui::MB_OKCANCEL | ui::MB_ICONQUESTION) != ui::IDOK)
        return;
    hooks_.stopPlayer();
    hooks_.rewindPlayer();
    const QString file = c_.fileList.fileName();
    handOverToNeighbour();
    // Into the desktop's trash, as the file manager's Delete does: a slip of
    // the hand can be undone there.
    const kernel::Status status = kernel::trashFile(ui::fileNameBytes(file));
    if (!status.ok())
        reportFileError(c_.owner, status);
    refreshKeepingIndex();
}

void FileMenu::handOverToNeighbour()
{
    // The player lets go of the file before it is moved or deleted.
    const int index = c_.fileList.itemIndex();
    c_.fileList.setItemIndex(index > 0 ? index - 1 : index + 1);
    hooks_.openInstead(c_.fileList.fileName());
}

void FileMenu::refreshKeepingIndex()
{
    const int index = c_.fileList.itemIndex();
    c_.fileList.updateList();
    c_.fileList.setItemIndex(index);
}
