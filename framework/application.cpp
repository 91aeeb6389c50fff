#include "framework/application.h"

#include "platform/mci/device_window.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <fontconfig/fontconfig.h>

#include <cstdlib>
#include <thread>

namespace ui {

void Application::readFontConfigurationAhead()
{
    // Fontconfig allows this from any thread; should Qt ask for the
    // configuration first, one of the two readings is simply dropped.
    std::thread([] { FcInit(); }).detach();
}

void Application::chooseDisplay()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (!set("QT_QPA_PLATFORM") && set("WAYLAND_DISPLAY") && set("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
}

bool Application::placesWindows()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    // Our window layouts are fixed in pixels and were drawn for narrow fonts.
    QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    QFont::insertSubstitution("System", "Liberation Sans");
    connect(this, &QApplication::focusWindowChanged, this, [this](QWindow*) {
        if (QWidget* w = activeWindow())
            trackActivation(w, nullptr);
    });
}

Application* application()
{
    return qobject_cast<Application*>(QCoreApplication::instance());
}

void Application::setTitle(const QString& title)
{
    title_ = title;
    setApplicationDisplayName(QString());
    setApplicationName(title);
}

void Application::processMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void Application::processMessagesFor(int ms)
{
    QDeadlineTimer deadline(ms + 1, Qt::PreciseTimer);
    do {
        QEventLoop loop;
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
        wake.start(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        loop.exec();
    } while (!deadline.hasExpired());
}

void Application::trackActivation(QObject* receiver, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (!widget || !widget->isWindow() || (event && event->type() != QEvent::WindowActivate))
        return;
    // The user turning to a video's window and back has not left the form
    // that was active: the picture belongs to the device, not to the program.
    if (widget->property(mci::kDeviceWindowProperty).toBool())
        return;
    if (widget == activeForm_)
        return;
    activeForm_ = widget;
    emit formActivated(widget);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        trackActivation(receiver, event);
    return QApplication::notify(receiver, event);
}

} // namespace ui
