#include "framework/message_box.h"

#include <QMessageBox>
#include <QPushButton>

namespace ui {

namespace {

MessageBoxHook& hook()
{
    static MessageBoxHook h;
    return h;
}

// Message texts separate paragraphs with carriage returns; Qt breaks lines on
// line feeds only.
QString displayText(QString text)
{
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text;
}

} // namespace

MessageBoxHook setMessageBoxHook(MessageBoxHook h)
{
    MessageBoxHook old = std::move(hook());
    hook() = std::move(h);
    return old;
}

int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags)
{
    if (hook())
        return hook()(text, caption, flags);

    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(displayText(text));
    if (flags & MB_ICONQUESTION)
        box.setIcon(QMessageBox::Question);
    else if (flags & MB_ICONINFORMATION)
        box.setIcon(QMessageBox::Information);
    else if (flags & MB_ICONSTOP)
        box.setIcon(QMessageBox::Critical);
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    QPushButton* cancel = nullptr;
    if ((flags & 0xF) == MB_OKCANCEL) {
        cancel = box.addButton(QMessageBox::Cancel);
        box.setEscapeButton(cancel);
    }
    box.setDefaultButton(ok);
    box.exec();
    return box.clickedButton() == ok ? IDOK : IDCANCEL;
}

void showMessage(const QString& text)
{
    messageBox(nullptr, text, QStringLiteral("Information"), MB_OK | MB_ICONINFORMATION);
}

} // namespace ui
