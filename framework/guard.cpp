#include "framework/guard.h"

#include "framework/application.h"
#include "framework/errors.h"
#include "framework/message_box.h"

namespace ui {

void showError(const std::exception& exception)
{
    if (Application* app = application()) {
        app->showException(exception);
        return;
    }
    QString text = QString::fromLocal8Bit(exception.what());
    if (!text.endsWith('.'))
        text += '.';
    messageBox(nullptr, text, QCoreApplication::applicationName(), MB_OK | MB_ICONSTOP);
}

void showUnknownError()
{
    showError(Exception("Unbekannte Ausnahme"));
}

} // namespace ui
