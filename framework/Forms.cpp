#include "framework/Forms.h"

#include "framework/Dialogs.h"
#include "framework/sysutils.h"

#include <QWidget>
#include <QWindow>

namespace vcl {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Our window layouts are fixed in pixels and were drawn for narrow fonts.
    QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    QFont::insertSubstitution("System", "Liberation Sans");
    connect(this, &QApplication::focusWindowChanged, this, [this](QWindow*) {
        if (QWidget* w = activeWindow())
            trackActivation(w, nullptr);
    });
}

TApplication* Application()
{
    return qobject_cast<TApplication*>(QCoreApplication::instance());
}

void TApplication::SetTitle(const QString& title)
{
    title_ = title;
    setApplicationDisplayName(QString());
    setApplicationName(title);
}

void TApplication::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::ShowException(const std::exception& exception)
{
    QString text = QString::fromLocal8Bit(exception.what());
    if (!text.endsWith('.'))
        text += '.';
    MessageBox(nullptr, text, title_, MB_OK | MB_ICONSTOP);
}

void TApplication::trackActivation(QObject* receiver, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (!widget || !widget->isWindow() || (event && event->type() != QEvent::WindowActivate))
        return;
    if (widget == activeForm_)
        return;
    activeForm_ = widget;
    emit formActivated(widget);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        if (event->type() == QEvent::WindowActivate)
            trackActivation(receiver, event);
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception("Unbekannte Ausnahme"));
    }
    return true;
}

} // namespace vcl
