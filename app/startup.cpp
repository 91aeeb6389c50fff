#include "app/startup.h"

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/splash.h"
#include "framework/application.h"
#include "platform/mci/drivers/drivers.h"
#include "platform/shell/shell.h"
#include "settings/multimedia_panel.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstring>

namespace {

void centre(QWidget* w)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        w->move(screen->availableGeometry().center() - w->rect().center());
}

} // namespace

int runPlayer(int argc, char** argv)
{
    // Answered without a display.
    if (const auto exitCode = command_line::printInformation(argc, argv))
        return *exitCode;
    ui::Application::readFontConfigurationAhead();
    ui::Application app(argc, argv);
    app.setTitle("Quorvana");
    // The loudspeaker button starts us again as the Multimedia Properties
    // panel: a process of its own, as the control panel was, with no splash
    // and no player window.
    if (argc == 2 && std::strcmp(argv[1], shell::multimediaPanelArgument) == 0)
        return runMultimediaPanel();
    mci::registerBuiltinDrivers();

    // The picture must be on screen before the slow part begins.
    auto* splash = new TFormSplash;
    centre(splash);
    splash->show();
    splash->raise();
    ui::Application::processMessages();
    splash->repaint();

    const QStringList arguments = command_line::forTheWindow(app.arguments());
    command_line::enterDocumentFolder(arguments);
    auto* form = new TForm1(arguments);
    centre(form);

    splash->hide();
    delete splash;

    form->show();
    form->activateWindow();
    const int rc = app.exec();
    delete form;
    return rc;
}
