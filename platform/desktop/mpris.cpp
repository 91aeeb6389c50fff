#include "platform/desktop/mpris.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include <unistd.h>

namespace desktop {

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kTrackListInterface = QStringLiteral("org.mpris.MediaPlayer2.TrackList");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

template <class F, class... A> void call(const F& handler, A&&... arguments)
{
    if (handler)
        handler(std::forward<A>(arguments)...);
}

// The handler's refusal goes back to the caller as an error.
template <class F, class... A> void answer(const QDBusMessage& message, const F& handler, A&&... arguments)
{
    if (!handler)
        return;
    const MprisError error = handler(std::forward<A>(arguments)...);
    if (error.name.isEmpty())
        return;
    message.setDelayedReply(true);
    QDBusConnection::sessionBus().send(message.createErrorReply(error.name, error.message));
}

bool ask(const std::function<bool()>& handler, bool otherwise)
{
    return handler ? handler() : otherwise;
}

} // namespace

class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ schemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)

public:
    explicit MprisRoot(MprisService* service) : QDBusAbstractAdaptor(service), s_(service) { }

    bool yes() const { return true; }
    bool hasTrackList() const { return bool(s_->handlers().addTrack); }
    QString identity() const { return s_->identity().identity; }
    QString desktopEntry() const { return s_->identity().desktopEntry; }
    QStringList schemes() const { return {QStringLiteral("file")}; }
    QStringList mimeTypes() const { return s_->identity().mimeTypes; }

public slots:
    void Raise() { call(s_->handlers().raise); }
    void Quit() { call(s_->handlers().quit); }

private:
    MprisService* s_;
};

class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ minimumRate)
    Q_PROPERTY(double MaximumRate READ maximumRate)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    explicit MprisPlayer(MprisService* service) : QDBusAbstractAdaptor(service), s_(service) { }

    QString playbackStatus() const { return MprisService::statusText(s_->state().status); }
    double rate() const { return s_->state().rate; }
    double minimumRate() const { return s_->state().minimumRate; }
    double maximumRate() const { return s_->state().maximumRate; }
    // A rate of 0 is a pause, as the interface has it; others are kept to
    // what the player offers.
    void setRate(double rate)
    {
        if (std::isnan(rate))
            return;
        if (rate <= 0)
            call(s_->handlers().pause);
        else
            call(s_->handlers().setRate, std::clamp(rate, s_->state().minimumRate, s_->state().maximumRate));
    }
    double volume() const { return s_->handlers().volume ? s_->handlers().volume() : s_->state().volume; }
    // Past 1 is no louder, below 0 is silence, as the interface has it.
    void setVolume(double volume)
    {
        if (!std::isnan(volume))
            call(s_->handlers().setVolume, std::clamp(volume, 0.0, 1.0));
    }
    QVariantMap metadata() const { return s_->metadata(); }
    qlonglong position() const { return s_->handlers().positionUs ? s_->handlers().positionUs() : 0; }
    bool canGoNext() const { return ask(s_->handlers().canGoNext, s_->state().canGoNext); }
    bool canGoPrevious() const { return ask(s_->handlers().canGoPrevious, s_->state().canGoPrevious); }
    bool canPlay() const { return s_->state().canPlay; }
    bool canPause() const { return s_->state().canPause; }
    bool canSeek() const { return s_->state().canSeek; }
    bool canControl() const { return true; }

public slots:
    void Next(const QDBusMessage& message) { answer(message, s_->handlers().next); }
    void Previous(const QDBusMessage& message) { answer(message, s_->handlers().previous); }
    void Pause() { call(s_->handlers().pause); }
    void PlayPause() { call(s_->handlers().playPause); }
    void Stop() { call(s_->handlers().stop); }
    void Play() { call(s_->handlers().play); }
    void Seek(qlonglong offset, const QDBusMessage& message) { answer(message, s_->handlers().seek, offset); }
    void SetPosition(const QDBusObjectPath& track, qlonglong position)
    {
        // A request for a track that is no longer the current one is stale.
        if (track.path() == s_->state().trackId && position >= 0)
            call(s_->handlers().setPosition, position);
    }
    // A file that cannot play is the caller's error, answered as one.
    void OpenUri(const QString& uri, const QDBusMessage& message) { answer(message, s_->handlers().openUri, uri); }

signals:
    void Seeked(qlonglong position);

private:
    MprisService* s_;
};

class MprisTrackList : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.TrackList")
    Q_PROPERTY(QList<QDBusObjectPath> Tracks READ tracks)
    Q_PROPERTY(bool CanEditTracks READ canEditTracks)

public:
    explicit MprisTrackList(MprisService* service) : QDBusAbstractAdaptor(service), s_(service) { }

    QList<QDBusObjectPath> tracks() const { return s_->trackIds(); }
    bool canEditTracks() const { return true; }

public slots:
    QList<QVariantMap> GetTracksMetadata(const QList<QDBusObjectPath>& ids)
    {
        QList<QVariantMap> found;
        for (const QDBusObjectPath& id : ids)
            if (QVariantMap metadata = s_->metadataOf(id.path()); !metadata.isEmpty())
                found << metadata;
        return found;
    }
    void AddTrack(const QString& uri, const QDBusObjectPath& afterTrack, bool setAsCurrent, const QDBusMessage& message)
    {
        answer(message, s_->handlers().addTrack, uri, afterTrack.path(), setAsCurrent);
    }
    void RemoveTrack(const QDBusObjectPath& id) { call(s_->handlers().removeTrack, id.path()); }
    void GoTo(const QDBusObjectPath& id) { call(s_->handlers().goTo, id.path()); }

signals:
    void TrackListReplaced(const QList<QDBusObjectPath>& tracks, const QDBusObjectPath& currentTrack);

private:
    MprisService* s_;
};

MprisService::MprisService(const MprisIdentity& identity, MprisHandlers handlers, QObject* parent)
    : QObject(parent), identity_(identity), handlers_(std::move(handlers))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    new MprisRoot(this);
    new MprisPlayer(this);
    if (handlers_.addTrack) {
        qDBusRegisterMetaType<QList<QVariantMap>>();
        new MprisTrackList(this);
    }
    if (!bus.registerObject(kObjectPath, this))
        return;
    const QString name = kRootInterface + "." + identity_.busName;
    for (const QString& candidate : {name, name + ".instance" + QString::number(::getpid())})
        if (bus.interface()
                ->registerService(candidate, QDBusConnectionInterface::DontQueueService,
                    QDBusConnectionInterface::DontAllowReplacement)
                .value()
            == QDBusConnectionInterface::ServiceRegistered) {
            serviceName_ = candidate;
            return;
        }
    bus.unregisterObject(kObjectPath);
}

MprisService::~MprisService()
{
    if (serviceName_.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(kObjectPath);
    bus.interface()->unregisterService(serviceName_);
}

QString MprisService::statusText(MprisState::Status status)
{
    switch (status) {
    case MprisState::Status::Playing:
        return QStringLiteral("Playing");
    case MprisState::Status::Paused:
        return QStringLiteral("Paused");
    case MprisState::Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisService::metadata() const
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"),
        QVariant::fromValue(QDBusObjectPath(state_.trackId.isEmpty() ? kNoTrack : state_.trackId)));
    if (state_.trackId.isEmpty())
        return map;
    map.insert(QStringLiteral("xesam:title"), state_.title);
    map.insert(QStringLiteral("xesam:url"), state_.url);
    map.insert(QStringLiteral("mpris:length"), state_.lengthUs);
    if (!state_.asText.isEmpty())
        map.insert(QStringLiteral("xesam:asText"), state_.asText);
    return map;
}

QList<QDBusObjectPath> MprisService::trackIds() const
{
    QList<QDBusObjectPath> ids;
    if (!state_.trackId.isEmpty())
        ids << QDBusObjectPath(state_.trackId);
    for (const MprisTrack& track : state_.following)
        ids << QDBusObjectPath(track.id);
    return ids;
}

QVariantMap MprisService::metadataOf(const QString& trackId) const
{
    if (!trackId.isEmpty() && trackId == state_.trackId)
        return metadata();
    for (const MprisTrack& track : state_.following)
        if (track.id == trackId)
            return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(track.id))},
                {QStringLiteral("xesam:title"), track.title}, {QStringLiteral("xesam:url"), track.url}};
    return {};
}

void MprisService::update(const MprisState& state)
{
    if (state == state_)
        return;
    const MprisState before = state_;
    state_ = state;
    if (serviceName_.isEmpty())
        return;
    QVariantMap changed;
    if (state.status != before.status)
        changed.insert(QStringLiteral("PlaybackStatus"), statusText(state.status));
    if (state.trackId != before.trackId || state.title != before.title || state.url != before.url
        || state.lengthUs != before.lengthUs || state.asText != before.asText)
        changed.insert(QStringLiteral("Metadata"), metadata());
    // A desktop keeps the position it last heard until told otherwise: a new
    // track says where it stands.
    if (state.trackId != before.trackId && handlers_.positionUs)
        changed.insert(QStringLiteral("Position"), qlonglong(handlers_.positionUs()));
    const std::pair<const char*, double MprisState::*> numbers[] = {
        {"Volume", &MprisState::volume},
        {"Rate", &MprisState::rate},
        {"MinimumRate", &MprisState::minimumRate},
        {"MaximumRate", &MprisState::maximumRate},
    };
    for (const auto& [name, number] : numbers)
        if (state.*number != before.*number)
            changed.insert(QString::fromLatin1(name), state.*number);
    const std::pair<const char*, bool MprisState::*> flags[] = {
        {"CanGoNext", &MprisState::canGoNext},
        {"CanGoPrevious", &MprisState::canGoPrevious},
        {"CanPlay", &MprisState::canPlay},
        {"CanPause", &MprisState::canPause},
        {"CanSeek", &MprisState::canSeek},
    };
    for (const auto& [name, flag] : flags)
        if (state.*flag != before.*flag)
            changed.insert(QString::fromLatin1(name), state.*flag);
    if (!changed.isEmpty())
        propertiesChanged(kPlayerInterface, changed);
    if (handlers_.addTrack && (state.trackId != before.trackId || state.following != before.following)) {
        QDBusMessage replaced
            = QDBusMessage::createSignal(kObjectPath, kTrackListInterface, QStringLiteral("TrackListReplaced"));
        replaced << QVariant::fromValue(trackIds())
                 << QVariant::fromValue(QDBusObjectPath(state.trackId.isEmpty() ? kNoTrack : state.trackId));
        QDBusConnection::sessionBus().send(replaced);
        propertiesChanged(kTrackListInterface, {}, {QStringLiteral("Tracks")});
    }
}

void MprisService::seeked(qint64 positionUs)
{
    if (serviceName_.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kPlayerInterface, QStringLiteral("Seeked"));
    signal << qlonglong(positionUs);
    QDBusConnection::sessionBus().send(signal);
}

void MprisService::propertiesChanged(
    const QString& interface, const QVariantMap& changed, const QStringList& invalidated)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << interface << changed << invalidated;
    QDBusConnection::sessionBus().send(signal);
}

} // namespace desktop

#include "mpris.moc"
