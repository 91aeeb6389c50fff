#include "app/startup.h"

#include "app/command_line.h"
#include "app/desktop_link.h"
#include "app/main_window.h"
#include "app/splash.h"
#include "framework/application.h"
#include "framework/file_names.h"
#include "framework/quit_signals.h"
#include "platform/audio/audio_output.h"
#include "platform/desktop/association.h"
#include "platform/desktop/running_player.h"
#include "platform/mci/drivers/drivers.h"
#include "platform/multimedia/stored_choices.h"
#include "platform/shell/shell.h"
#include "settings/multimedia_panel.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cstring>
#include <memory>

namespace {

// The argument that starts the player as its Multimedia Properties panel.
constexpr const char* kMultimediaPanelArgument = "--multimedia";
constexpr int kQuitWaitMs = 1000;

void centre(QWidget* w)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        w->move(screen->availableGeometry().center() - w->rect().center());
}

// Ends the run once WINDOW has gone as the user's close of it goes (the
// question, the slide, which goes on from the event loop), then every event
// loop ends, that of a box open over it too.
class QuitWhenHidden : public QObject {
public:
    explicit QuitWhenHidden(QWidget* window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && watched == parent())
            QCoreApplication::exit(0);
        return false;
    }
};

void quitAsClosed(QWidget* window)
{
    if (!window || window->close() || !window->isVisible()) {
        QCoreApplication::exit(0);
        return;
    }
    new QuitWhenHidden(window);
    // A window that never goes must not keep a logout waiting.
    QTimer::singleShot(kQuitWaitMs, [] { QCoreApplication::exit(0); });
}

} // namespace

int runPlayer(int argc, char** argv)
{
    // Answered without a display.
    if (const auto exitCode = command_line::printInformation(argc, argv))
        return *exitCode;
    ui::Application::readFontConfigurationAhead();
    ui::Application::chooseDisplay();
    ui::Application app(argc, argv);
    app.setTitle("Quorvana");
    // The sound server lists every stream under this name.
    audio::setApplicationName("Quorvana");
    // The desktop entry the window belongs to (the Wayland app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvana"));
    // The loudspeaker button starts us again as the Multimedia Properties
    // panel: a process of its own, as the control panel was, with no splash
    // and no player window. The running file itself, whatever became of its
    // name since it started (an upgrade replaces it). An editor the shell
    // stands in for never gets the file back to this player.
    shell::setDesktop({.panelProgram = "/proc/self/exe",
        .panelArguments = {QCoreApplication::applicationFilePath().toStdString(), kMultimediaPanelArgument},
        .ownDesktopEntry = desktop::kDesktopEntryName});
    if (argc == 2 && std::strcmp(argv[1], kMultimediaPanelArgument) == 0) {
        ui::QuitSignals quitSignals;
        quitSignals.whenQuit([] { quitAsClosed(QApplication::activeModalWidget()); });
        return runMultimediaPanel();
    }

    QStringList arguments = command_line::arguments(argc, argv);
    const bool newWindow = command_line::takeNewWindow(arguments);
    arguments = command_line::forTheWindow(arguments);
    // Of several starts at once, the one that gets the name is the player.
    // A file opened from the desktop while a player runs plays there; this
    // process ends before it shows anything.
    const QString appId = QString::fromLatin1(desktop_link::kAppId);
    desktop::NameClaim claim(appId, [](const QByteArray& name) { return ui::decodeFileName(name); });
    if (const QString file = command_line::fileToHandOver(arguments); !claim.owned() && !newWindow && !file.isEmpty()
        && multimedia::load().playInRunningPlayer && desktop::handToRunningPlayer(appId, {ui::encodeFileName(file)}))
        return 0;
    // From here the process has a window to close and devices to close
    // with it: a request to end waits for the window.
    ui::QuitSignals quitSignals;
    mci::registerBuiltinDrivers();

    // The picture must be on screen before the slow part begins.
    auto* splash = new TFormSplash;
    centre(splash);
    splash->show();
    splash->raise();
    ui::Application::processMessages();
    splash->repaint();

    command_line::enterDocumentFolder(arguments);
    auto* form = new TForm1(arguments);
    centre(form);
    auto link = std::make_unique<desktop_link::DesktopLink>(*form);

    splash->hide();
    delete splash;

    form->show();
    form->activateWindow();
    quitSignals.whenQuit([form] { quitAsClosed(form); });
    const int rc = app.exec();
    link.reset();
    delete form;
    return rc;
}
