#include "app/startup.h"

#include "app/command_line.h"
#include "app/desktop_link.h"
#include "app/linked_window.h"
#include "app/main_window.h"
#include "app/splash.h"
#include "framework/application.h"
#include "framework/file_names.h"
#include "framework/guard.h"
#include "framework/quit_signals.h"
#include "platform/audio/audio_output.h"
#include "platform/desktop/association.h"
#include "platform/desktop/running_player.h"
#include "platform/mci/drivers/drivers.h"
#include "platform/multimedia/stored_choices.h"
#include "platform/shell/shell.h"
#include "playback/playback_session.h"
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

// The player's start after the name is its own. It goes on from the event
// loop in two steps, as the rest after a song does: the splash shows and is
// painted, then the slow part builds the window and links it to the desktop.
class PlayerStart : public QObject {
public:
    PlayerStart(const QStringList& arguments, const QStringList& queued, desktop::NameClaim& claim,
        ui::QuitSignals& quitSignals)
        : arguments_(arguments), queued_(queued), claim_(claim), quitSignals_(quitSignals)
    {
        // A request to end before there is a window ends the run at once.
        quitSignals_.whenQuit([] { QCoreApplication::exit(0); });
        splash_ = std::make_unique<TFormSplash>();
        centre(splash_.get());
        splash_->show();
        splash_->raise();
        // The picture must be on screen before the slow part begins: the
        // event loop shows it first.
        QTimer::singleShot(0, this, [this] { ui::guard([this] { build(); }); });
    }

    ~PlayerStart() override
    {
        link_.reset();
        form_.reset();
    }

private:
    void build()
    {
        splash_->repaint();
        command_line::enterDocumentFolder(arguments_);
        form_ = std::make_unique<TForm1>(arguments_);
        centre(form_.get());
        auto* window = new LinkedWindow(*form_);
        link_ = std::make_unique<desktop_link::DesktopLink>(form_->session(), *window, &claim_);
        window->tell(link_.get());
        form_->session().enqueue(queued_);
        splash_.reset();
        form_->show();
        form_->activateWindow();
        quitSignals_.whenQuit([form = form_.get()] { quitAsClosed(form); });
    }

    QStringList arguments_;
    QStringList queued_;
    desktop::NameClaim& claim_;
    ui::QuitSignals& quitSignals_;
    std::unique_ptr<TFormSplash> splash_;
    std::unique_ptr<TForm1> form_;
    std::unique_ptr<desktop_link::DesktopLink> link_;
};

// Names the player to the sound server, the desktop and the shell.
void introduce(ui::Application& app)
{
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
}

int runPanel()
{
    ui::QuitSignals quitSignals;
    quitSignals.whenQuit([] { quitAsClosed(QApplication::activeModalWidget()); });
    return runMultimediaPanel();
}

// Of several starts at once, the one that gets the name is the player. A
// file opened from the desktop while a player runs plays there, and this
// process ends before it shows anything.
bool handedToRunningPlayer(const desktop::NameClaim& claim, const QStringList& arguments, bool newWindow)
{
    const QString file = command_line::fileToHandOver(arguments);
    return !claim.owned() && !newWindow && !file.isEmpty() && multimedia::load().playInRunningPlayer
        && desktop::handToRunningPlayer(QString::fromLatin1(desktop_link::kAppId), {ui::encodeFileName(file)});
}

// Songs to queue go to the player running; with none, this start is the
// player and queues them itself.
bool queuedInRunningPlayer(const desktop::NameClaim& claim, const QStringList& files)
{
    QList<QByteArray> names;
    for (const QString& file : files)
        names << ui::encodeFileName(file);
    return !claim.owned() && !names.isEmpty()
        && desktop::handToRunningPlayer(QString::fromLatin1(desktop_link::kAppId), names, true);
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
    introduce(app);
    if (argc == 2 && std::strcmp(argv[1], kMultimediaPanelArgument) == 0)
        return runPanel();

    QStringList arguments = command_line::arguments(argc, argv);
    const bool newWindow = command_line::takeNewWindow(arguments);
    const QStringList queued = command_line::takeQueue(arguments);
    arguments = command_line::forTheWindow(arguments);
    desktop::NameClaim claim(
        QString::fromLatin1(desktop_link::kAppId), [](const QByteArray& name) { return ui::decodeFileName(name); });
    if (handedToRunningPlayer(claim, arguments, newWindow) || queuedInRunningPlayer(claim, queued))
        return 0;
    // From here the process has a window to close and devices to close
    // with it: a request to end waits for the window.
    ui::QuitSignals quitSignals;
    // A file handed over once a quit has begun would go with the window.
    claim.setEndingProbe(&ui::QuitSignals::requested);
    mci::registerBuiltinDrivers();
    PlayerStart start(arguments, queued, claim, quitSignals);
    return app.exec();
}
