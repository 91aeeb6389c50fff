#include "framework/guard.h"

#include "framework/application.h"
#include "framework/errors.h"
#include "framework/message_box.h"

namespace ui {

void showError(const std::exception& exception)
{
    QString text = QString::fromLocal8Bit(exception.what());
    if (!text.endsWith('.'))
        text += '.';
    const Application* app = application();
    messageBox(nullptr, text, app ? app->title() : QCoreApplication::applicationName(), MB_OK | MB_ICONSTOP);
}

void showUnknownError()
{
    showError(Exception("Unbekannte Ausnahme"));
}

} // namespace ui
