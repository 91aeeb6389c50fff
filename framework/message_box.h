#pragma once
// The application's message box with the Windows flags and answers, in one
// place so that tests can answer it instead of a user.
#include <QString>

#include <functional>

class QWidget;

namespace ui {

enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ICONSTOP = 0x10,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONINFORMATION = 0x40,
};

enum : int { IDOK = 1, IDCANCEL = 2 };

// Shows a modal message box and returns the button pressed.
int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags);

// The framework's information box: caption "Information", one OK button.
void showMessage(const QString& text);

// Tests answer message boxes through this; an empty hook shows real boxes.
using MessageBoxHook = std::function<int(const QString& text, const QString& caption, unsigned flags)>;
MessageBoxHook setMessageBoxHook(MessageBoxHook hook);

} // namespace ui
