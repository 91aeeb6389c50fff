#pragma once
// Keeps the screen awake while the user watches something: the desktop
// portal's Inhibit where the portal answers, else the freedesktop screen
// saver's. Calls go out without waiting for the answer, so the window never
// waits for a busy session bus.
#include <QObject>
#include <QString>
#include <QVariant>

namespace desktop {

class ScreenSaverInhibitor : public QObject {
    Q_OBJECT

public:
    // APP_ID names the program to the screen saver; REASON is what the
    // desktop may show the user.
    ScreenSaverInhibitor(const QString& appId, const QString& reason, QObject* parent = nullptr);
    // Lets the screen saver go, as leaving the process would.
    ~ScreenSaverInhibitor() override;

    // Holds the screen saver off (true) or lets it go (false); repeating a
    // state costs nothing.
    void hold(bool on);
    bool holding() const { return wanted_; }

private:
    void ask();
    void answered(const QString& via, const QVariant& token);
    void letGo();

    QString appId_;
    QString reason_;
    bool wanted_ = false;
    bool asking_ = false;
    QString via_; // the service that holds it: empty, the portal or the screen saver
    QVariant token_; // the portal's request path or the screen saver's cookie
};

} // namespace desktop
