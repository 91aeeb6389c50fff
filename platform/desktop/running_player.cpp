#include "platform/desktop/running_player.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

namespace desktop {

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Application");
// A running player that is busy (a modal box open, a slow folder) still
// answers: its event loop runs under every dialog.
constexpr int kAnswerWithinMs = 5000;

} // namespace

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(FileReceiver* receiver) : QDBusAbstractAdaptor(receiver), r_(receiver) { }

public slots:
    // The work is queued: the caller is answered at once and exits, and
    // whatever the open then shows (a refused file's box) is no one's wait.
    void Activate(const QVariantMap&)
    {
        QTimer::singleShot(0, r_, [r = r_] { r->activated(); });
    }
    void Open(const QStringList& uris, const QVariantMap&)
    {
        QTimer::singleShot(0, r_, [r = r_, uris] { r->received(uris); });
    }
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap&) { }

private:
    FileReceiver* r_;
};

QStringList localPaths(const QStringList& uris)
{
    QStringList paths;
    for (const QString& uri : uris)
        if (const QUrl url(uri); url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

QString applicationPath(const QString& appId)
{
    QString path = QStringLiteral("/") + appId;
    path.replace(QLatin1Char('.'), QLatin1Char('/')).replace(QLatin1Char('-'), QLatin1Char('_'));
    return path;
}

bool handToRunningPlayer(const QString& appId, const QStringList& files)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(appId).value())
        return false;
    QStringList uris;
    for (const QString& file : files)
        uris << QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
    QDBusMessage call
        = QDBusMessage::createMethodCall(appId, applicationPath(appId), kInterface, QStringLiteral("Open"));
    call << uris << QVariantMap();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kAnswerWithinMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

FileReceiver::FileReceiver(
    const QString& appId, std::function<void(const QStringList&)> open, std::function<void()> activate, QObject* parent)
    : QObject(parent), appId_(appId), open_(std::move(open)), activate_(std::move(activate))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    new ApplicationAdaptor(this);
    if (!bus.registerObject(applicationPath(appId_), this))
        return;
    registered_ = bus.interface()
                      ->registerService(appId_, QDBusConnectionInterface::DontQueueService,
                          QDBusConnectionInterface::DontAllowReplacement)
                      .value()
        == QDBusConnectionInterface::ServiceRegistered;
    if (!registered_)
        bus.unregisterObject(applicationPath(appId_));
}

FileReceiver::~FileReceiver()
{
    if (!registered_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(applicationPath(appId_));
    bus.interface()->unregisterService(appId_);
}

void FileReceiver::received(const QStringList& uris)
{
    const QStringList paths = localPaths(uris);
    if (!paths.isEmpty() && open_)
        open_(paths);
    else if (activate_)
        activate_();
}

void FileReceiver::activated()
{
    if (activate_)
        activate_();
}

} // namespace desktop

#include "running_player.moc"
