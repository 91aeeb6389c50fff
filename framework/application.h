#pragma once
// The application object: title, the default error box (the handlers' guard
// shows it), processing pending messages, and the activation of the
// program's own windows.
#include <QApplication>
#include <QWidget>
#include <QPointer>
#include <QString>

namespace ui {

class Application : public QApplication {
    Q_OBJECT

public:
    Application(int& argc, char** argv);

    // Starts reading the desktop's font configuration on another core. Called
    // before the application object is made, it is done by the time the
    // first text is drawn, instead of holding that drawing up.
    static void readFontConfigurationAhead();

    // Chooses the display before the application object is made. Windows
    // placed by the program (centred, slid down at close) need X11, so a
    // Wayland session with XWayland runs the program there, unless the user
    // named a platform (QT_QPA_PLATFORM).
    static void chooseDisplay();
    // Whether the program may place its windows: not on Wayland, where the
    // compositor places them.
    static bool placesWindows();

    QString title() const { return title_; }
    void setTitle(const QString& title);

    // Runs whatever window messages are waiting, then returns.
    static void processMessages();

    // Runs window messages for MS milliseconds, sleeping between them: the
    // window stays responsive and no core spins. Handlers may run meanwhile.
    static void processMessagesFor(int ms);

    // The window of this program that was last made active.
    QWidget* activeForm() const { return activeForm_; }

    bool notify(QObject* receiver, QEvent* event) override;

signals:
    // A window of this program became the active one, coming from another
    // window of the program or being shown for the first time; switching
    // back from another application does not count.
    void formActivated(QWidget* form);

private:
    void trackActivation(QObject* receiver, QEvent* event);

    QString title_;
    QPointer<QWidget> activeForm_;
};

// The running application object, or null when the process runs a plain QApplication.
Application* application();

} // namespace ui
