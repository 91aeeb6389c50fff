#include "platform/desktop/screen_saver.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace desktop {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
constexpr uint kInhibitIdle = 8;

} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(const QString& appId, const QString& reason, QObject* parent)
    : QObject(parent), appId_(appId), reason_(reason)
{
}

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    wanted_ = false;
    letGo();
}

void ScreenSaverInhibitor::hold(bool on)
{
    if (on == wanted_)
        return;
    wanted_ = on;
    if (on && !asking_ && via_.isEmpty())
        ask();
    else if (!on && !asking_)
        letGo();
}

void ScreenSaverInhibitor::ask()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    asking_ = true;
    QDBusMessage portal = QDBusMessage::createMethodCall(kPortal, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    portal << QString() << kInhibitIdle << QVariantMap {{QStringLiteral("reason"), reason_}};
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(portal), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, bus](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (!reply.isError()) {
            answered(kPortal, QVariant::fromValue(reply.value()));
            return;
        }
        // No portal (a bare X session, an older desktop): the screen saver's own interface.
        QDBusMessage saver = QDBusMessage::createMethodCall(
            kScreenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"), kScreenSaver, QStringLiteral("Inhibit"));
        saver << appId_ << reason_;
        auto* second = new QDBusPendingCallWatcher(QDBusConnection(bus).asyncCall(saver), this);
        connect(second, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w2) {
            w2->deleteLater();
            const QDBusPendingReply<uint> cookie = *w2;
            answered(
                cookie.isError() ? QString() : kScreenSaver, cookie.isError() ? QVariant() : QVariant(cookie.value()));
        });
    });
}

void ScreenSaverInhibitor::answered(const QString& via, const QVariant& token)
{
    asking_ = false;
    via_ = via;
    token_ = token;
    // Let go while the answer was on its way.
    if (!wanted_)
        letGo();
}

void ScreenSaverInhibitor::letGo()
{
    if (via_.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage release;
    if (via_ == kPortal) {
        release = QDBusMessage::createMethodCall(kPortal, token_.value<QDBusObjectPath>().path(),
            QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"));
    } else {
        release = QDBusMessage::createMethodCall(
            kScreenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"), kScreenSaver, QStringLiteral("UnInhibit"));
        release << token_.toUInt();
    }
    bus.send(release);
    via_.clear();
    token_.clear();
}

} // namespace desktop
