#include "app/Unit1.h"
#include "app/UnitSplash.h"
#include "framework/Forms.h"
#include "platform/mci/drivers/drivers.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

void centre(QWidget* w)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        w->move(screen->availableGeometry().center() - w->rect().center());
}

} // namespace

int main(int argc, char** argv)
{
    vcl::TApplication app(argc, argv);
    app.SetTitle("Quorvana");
    mci::registerBuiltinDrivers();

    // The picture must be on screen before the slow part begins.
    auto* splash = new TFormSplash;
    centre(splash);
    splash->show();
    splash->raise();
    vcl::TApplication::ProcessMessages();
    splash->repaint();

    auto* form = new TForm1(app.arguments());
    centre(form);

    splash->hide();
    delete splash;

    form->show();
    form->activateWindow();
    const int rc = app.exec();
    delete form;
    return rc;
}
