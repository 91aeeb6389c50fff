#include "platform/desktop/running_player.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDateTime>
#include <QHash>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

namespace desktop {

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Application");
// A running player that is busy (a modal box open, a slow folder) still
// answers: its event loop runs under every dialog.
constexpr int kAnswerWithinMs = 5000;
// The moment (milliseconds of the wall clock) after which the sender no
// longer waits for the answer and plays the files itself.
const QString kDeadlineKey = QStringLiteral("quorvana-deadline");
// The answer must still reach the sender before it gives up, which its
// timer may let it do a little early.
constexpr qint64 kAnswerTravelMs = 1000;

// A call whose sender has given up, or is about to, must not be carried out:
// that start plays the files in a player of its own.
bool tooLate(const QVariantMap& platformData)
{
    bool ok = false;
    const qint64 deadline = platformData.value(kDeadlineKey).toLongLong(&ok);
    return ok && QDateTime::currentMSecsSinceEpoch() + kAnswerTravelMs > deadline;
}

} // namespace

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(NameClaim* claim) : QDBusAbstractAdaptor(claim), claim_(claim) { }

public slots:
    // The work is queued: the caller is answered at once and exits, and
    // whatever the open then shows (a refused file's box) is no one's wait.
    void Activate(const QVariantMap& platformData, const QDBusMessage& message)
    {
        take({}, true, platformData, message);
    }
    void Open(const QStringList& uris, const QVariantMap& platformData, const QDBusMessage& message)
    {
        take(uris, false, platformData, message);
    }
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap&) { }

private:
    void take(const QStringList& uris, bool activate, const QVariantMap& platformData, const QDBusMessage& message)
    {
        if (claim_->ending())
            return refuse(message, QDBusError::Failed, QStringLiteral("The player is ending."));
        if (tooLate(platformData))
            return refuse(message, QDBusError::TimedOut, QStringLiteral("The call came after its sender's deadline."));
        claim_->asked(uris, activate);
    }

    static void refuse(const QDBusMessage& message, QDBusError::ErrorType type, const QString& why)
    {
        message.setDelayedReply(true);
        QDBusConnection::sessionBus().send(message.createErrorReply(type, why));
    }

    NameClaim* claim_;
};

QString fileUri(const QByteArray& path)
{
    return QStringLiteral("file://") + QString::fromLatin1(path.toPercentEncoding("/"));
}

QList<QByteArray> localFileNames(const QStringList& uris)
{
    QList<QByteArray> names;
    for (const QString& uri : uris) {
        // From the encoded form: toLocalFile() would turn bytes that are not
        // UTF-8 into U+FFFD, and the name would no longer be the file's.
        if (const QUrl url(uri); url.isLocalFile())
            if (QByteArray name = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
                !name.isEmpty())
                names << name;
    }
    return names;
}

QStringList localPaths(const QStringList& uris, const NameDecoder& decode)
{
    QStringList paths;
    for (const QByteArray& name : localFileNames(uris))
        paths << (decode ? decode(name) : QString::fromUtf8(name));
    return paths;
}

QString applicationPath(const QString& appId)
{
    QString path = QStringLiteral("/") + appId;
    path.replace(QLatin1Char('.'), QLatin1Char('/')).replace(QLatin1Char('-'), QLatin1Char('_'));
    return path;
}

bool handToRunningPlayer(const QString& appId, const QList<QByteArray>& files)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QStringList uris;
    for (const QByteArray& file : files)
        uris << fileUri(file);
    QDBusMessage call
        = QDBusMessage::createMethodCall(appId, applicationPath(appId), kInterface, QStringLiteral("Open"));
    // Only a player that runs may take the files, never one the bus would start.
    call.setAutoStartService(false);
    call << uris << QVariantMap {{kDeadlineKey, QDateTime::currentMSecsSinceEpoch() + kAnswerWithinMs}};
    const QDBusMessage reply = bus.call(call, QDBus::Block, kAnswerWithinMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

NameClaim::NameClaim(const QString& appId, NameDecoder decode, QObject* parent)
    : QObject(parent), appId_(appId), decode_(std::move(decode))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // The object comes first: a call may follow the name at once.
    new ApplicationAdaptor(this);
    objectRegistered_ = bus.registerObject(applicationPath(appId_), this);
    tryToOwn();
}

NameClaim::~NameClaim()
{
    if (receiver_)
        receiver_->claim_ = nullptr;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (owned_)
        bus.interface()->unregisterService(appId_);
    if (objectRegistered_)
        bus.unregisterObject(applicationPath(appId_));
}

bool NameClaim::tryToOwn()
{
    if (owned_ || ending_ || !objectRegistered_)
        return owned_;
    // Never queued: a start that does not get the name at once hands over.
    owned_ = QDBusConnection::sessionBus()
                 .interface()
                 ->registerService(
                     appId_, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement)
                 .value()
        == QDBusConnectionInterface::ServiceRegistered;
    return owned_;
}

void NameClaim::endTaking()
{
    if (ending_)
        return;
    ending_ = true;
    // Released before anything else runs: a start that asks from now on
    // finds no one and becomes the player.
    if (owned_)
        QDBusConnection::sessionBus().interface()->unregisterService(appId_);
    owned_ = false;
    // Those were told the file plays here.
    deliver();
}

void NameClaim::asked(const QStringList& uris, bool activate)
{
    waiting_.push_back({uris, activate});
    deliverLater();
}

void NameClaim::attach(FileReceiver* receiver)
{
    receiver_ = receiver;
    // The owner may have ended since this start lost the name.
    tryToOwn();
    deliverLater();
}

void NameClaim::detach(FileReceiver* receiver)
{
    if (receiver_ == receiver)
        receiver_ = nullptr;
}

void NameClaim::deliverLater()
{
    if (deliveryPending_ || !receiver_ || waiting_.empty())
        return;
    deliveryPending_ = true;
    QTimer::singleShot(0, this, [this] {
        deliveryPending_ = false;
        deliver();
    });
}

void NameClaim::deliver()
{
    // One at a time from the front: a box an open shows runs the event loop,
    // and what is asked meanwhile queues behind the rest.
    while (receiver_ && !waiting_.empty()) {
        const Call call = waiting_.front();
        waiting_.pop_front();
        if (call.activate)
            receiver_->activated();
        else
            receiver_->received(call.uris);
    }
}

FileReceiver::FileReceiver(const QString& appId, NameClaim* claim, std::function<void(const QStringList&)> open,
    std::function<void()> activate, QObject* parent)
    : QObject(parent), claim_(claim), open_(std::move(open)), activate_(std::move(activate))
{
    if (!claim_) {
        ownClaim_ = std::make_unique<NameClaim>(appId);
        claim_ = ownClaim_.get();
    }
    claim_->attach(this);
}

FileReceiver::~FileReceiver()
{
    if (claim_)
        claim_->detach(this);
}

bool FileReceiver::registered() const
{
    return claim_ && claim_->owned();
}

void FileReceiver::endTaking()
{
    if (claim_)
        claim_->endTaking();
}

void FileReceiver::received(const QStringList& uris)
{
    const QStringList paths = localPaths(uris, claim_ ? claim_->decoder() : NameDecoder());
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
