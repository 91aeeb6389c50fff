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

#include <atomic>

namespace desktop {

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Application");
const QString kQueueAction = QStringLiteral("queue");
// A running player that is busy (a modal box open, a slow folder) still
// answers: its event loop runs under every dialog.
constexpr int kAnswerWithinMs = 5000;
// The moment (milliseconds of the wall clock) after which the sender no
// longer waits for the answer and plays the files itself.
const QString kDeadlineKey = QStringLiteral("quorvana-deadline");
// The answer must still reach the sender before it gives up, which its
// timer may let it do a little early.
constexpr qint64 kAnswerTravelMs = 1000;

qint64 deadlineOf(const QVariantMap& platformData)
{
    bool ok = false;
    const qint64 deadline = platformData.value(kDeadlineKey).toLongLong(&ok);
    return ok ? deadline : 0;
}

// A call whose sender has given up, or is about to, must not be carried out:
// that start plays the files in a player of its own.
bool tooLate(qint64 deadline)
{
    return deadline != 0 && QDateTime::currentMSecsSinceEpoch() + kAnswerTravelMs > deadline;
}

void refuse(const QDBusMessage& message, QDBusError::ErrorType type, const QString& why)
{
    QDBusConnection::sessionBus().send(message.createErrorReply(type, why));
}

void refuseAsEnding(const QDBusMessage& message)
{
    refuse(message, QDBusError::Failed, QStringLiteral("The player is ending."));
}

void refuseAsLate(const QDBusMessage& message)
{
    refuse(message, QDBusError::TimedOut, QStringLiteral("The call came after its sender's deadline."));
}

} // namespace

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(NameClaim* claim) : QDBusAbstractAdaptor(claim), claim_(claim) { }

public slots:
    // The answer waits until the receiver has taken the files from the event
    // loop: a success means that they play here. Whatever the open then
    // shows (a refused file's box) is no one's wait.
    void Activate(const QVariantMap& platformData, const QDBusMessage& message)
    {
        take({}, true, platformData, message);
    }
    void Open(const QStringList& uris, const QVariantMap& platformData, const QDBusMessage& message)
    {
        take(uris, false, platformData, message);
    }
    // "queue" with the URIs of files to queue: what --queue asks.
    void ActivateAction(const QString& name, const QVariantList& parameters, const QVariantMap& platformData,
        const QDBusMessage& message)
    {
        if (name != kQueueAction) {
            message.setDelayedReply(true);
            return refuse(message, QDBusError::InvalidArgs, QStringLiteral("No action \"%1\".").arg(name));
        }
        take(parameters.value(0).toStringList(), false, platformData, message, true);
    }

private:
    void take(const QStringList& uris, bool activate, const QVariantMap& platformData, const QDBusMessage& message,
        bool queue = false)
    {
        message.setDelayedReply(true);
        const qint64 deadline = deadlineOf(platformData);
        if (claim_->ending())
            return refuseAsEnding(message);
        if (tooLate(deadline))
            return refuseAsLate(message);
        claim_->asked({uris, activate, message, deadline, queue});
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

bool handToRunningPlayer(const QString& appId, const QList<QByteArray>& files, bool queue)
{
    // A connection of its own: the answer waits until the player has taken
    // the files, which a call to this process's own name could not.
    static std::atomic<unsigned> calls {0};
    const QString connection = QStringLiteral("quorvana hand-over %1").arg(calls.fetch_add(1));
    bool taken = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection);
        if (bus.isConnected()) {
            QStringList uris;
            for (const QByteArray& file : files)
                uris << fileUri(file);
            QDBusMessage call = QDBusMessage::createMethodCall(appId, applicationPath(appId), kInterface,
                queue ? QStringLiteral("ActivateAction") : QStringLiteral("Open"));
            // Only a player that runs may take the files, never one the bus would start.
            call.setAutoStartService(false);
            if (queue)
                call << kQueueAction << QVariantList {QVariant(uris)};
            else
                call << uris;
            call << QVariantMap {{kDeadlineKey, QDateTime::currentMSecsSinceEpoch() + kAnswerWithinMs}};
            taken = bus.call(call, QDBus::Block, kAnswerWithinMs).type() == QDBusMessage::ReplyMessage;
        }
    }
    QDBusConnection::disconnectFromBus(connection);
    return taken;
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
    refuseWaiting();
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
    refuseWaiting();
}

// Those were not told yet: their starts play the files themselves.
void NameClaim::refuseWaiting()
{
    while (!waiting_.empty()) {
        refuseAsEnding(waiting_.front().reply);
        waiting_.pop_front();
    }
}

void NameClaim::asked(Call call)
{
    waiting_.push_back(std::move(call));
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
        if (ending()) {
            refuseWaiting();
            return;
        }
        const Call call = waiting_.front();
        waiting_.pop_front();
        if (tooLate(call.deadline)) {
            refuseAsLate(call.reply);
            continue;
        }
        if (call.activate)
            receiver_->activated();
        else
            receiver_->received(call.uris, call.queue);
        QDBusConnection::sessionBus().send(call.reply.createReply());
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

void FileReceiver::received(const QStringList& uris, bool queue)
{
    const QStringList paths = localPaths(uris, claim_ ? claim_->decoder() : NameDecoder());
    if (queue) {
        if (queue_)
            queue_(paths);
        return;
    }
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
