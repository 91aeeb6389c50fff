#include "framework/SaveDialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace vcl {

namespace {

TSaveDialog::Hook& hook()
{
    static TSaveDialog::Hook h;
    return h;
}

} // namespace

TSaveDialog::TSaveDialog(QWidget* owner) : QObject(owner), owner_(owner) {}

TSaveDialog::Hook TSaveDialog::SetHook(Hook h)
{
    Hook old = std::move(hook());
    hook() = std::move(h);
    return old;
}

bool TSaveDialog::Execute()
{
    if (hook())
        return hook()(*this);
    QFileDialog dialog(owner_, Title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The operations refuse to replace files themselves, with their own message.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const QFileInfo preset(FileName);
    dialog.setDirectory(InitialDir.isEmpty() ? preset.absolutePath() : InitialDir);
    if (!FileName.isEmpty())
        dialog.selectFile(preset.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = dialog.selectedFiles().first();
    return true;
}

} // namespace vcl
