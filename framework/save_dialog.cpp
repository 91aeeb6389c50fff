#include "framework/save_dialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace ui {

namespace {

SaveDialog::Hook& hook()
{
    static SaveDialog::Hook h;
    return h;
}

} // namespace

SaveDialog::SaveDialog(QWidget* owner) : QObject(owner), owner_(owner) {}

SaveDialog::Hook SaveDialog::setHook(Hook h)
{
    Hook old = std::move(hook());
    hook() = std::move(h);
    return old;
}

bool SaveDialog::execute()
{
    if (hook())
        return hook()(*this);
    QFileDialog dialog(owner_, title_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The operations refuse to replace files themselves, with their own message.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const QFileInfo preset(fileName_);
    dialog.setDirectory(initialDir_.isEmpty() ? preset.absolutePath() : initialDir_);
    if (!fileName_.isEmpty())
        dialog.selectFile(preset.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName_ = dialog.selectedFiles().first();
    return true;
}

} // namespace ui
